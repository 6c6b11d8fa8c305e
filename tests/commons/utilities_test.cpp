#include "commons/commons.h"
#include "commons/commons_internal.h"
#include "test_env.h"

#include "../platform/child_process.h"
#include "platform/restart.h"
#include "platform/sockets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

// Each case runs in a temporary folder of its own with the registry pointed into it.
using BitField = TempDirTest;
using TimeCompare = TempDirTest;
using Password = TempDirTest;
using Reboot = TempDirTest;
using LibraryLoad = TempDirTest;
using LibraryLoadDeathTest = TempDirTest;

TEST_F(BitField, LoadAndDumpTheBitsBelowTheEndPosition)
{
    const unsigned char byte = 0xB4; // 1011 0100; positions 8 and above read as zero
    struct Case
    {
        int end, count, value;
        std::string bits;
    };
    const Case cases[] = {
        {8, 3, 5, "101"},
        {8, 8, 0xB4, "10110100"},
        {8, 2, 2, "10"},
        {4, 4, 4, "0100"},
        {1, 1, 0, "0"},
        {3, 1, 1, "1"},
        {8, 0, 0, ""},
        {0, 0, 0, ""},
        {12, 8, 0x0B, "00001011"},
        {32, 24, 0, std::string(24, '0')},
        {32, 32, 0xB4, std::string(24, '0') + "10110100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sub_bitload(&byte, c.end, c.count), c.value) << c.end << "," << c.count;
        char out[40];
        std::memset(out, 'q', sizeof out);
        EXPECT_EQ(sub_bit_dmp(&byte, c.end, c.count, out), 0);
        EXPECT_EQ(std::string(out, c.bits.size() + 2), c.bits + '\0' + 'q') << c.end << "," << c.count;
    }
    const unsigned char one = 0x01;
    EXPECT_EQ(sub_bitload(&one, 1, 1), 1);
}

TEST_F(TimeCompare, SignTellsTheLaterAndMagnitudeTheField)
{
    const int base[6] = {2024, 2, 29, 23, 59, 59};
    EXPECT_EQ(sub_timecmp(base, base), 0);
    for (int k = 0; k < 6; ++k) {
        int later[6];
        std::memcpy(later, base, sizeof later);
        later[k] += 1;
        EXPECT_EQ(sub_timecmp(later, base), k + 1);
        EXPECT_EQ(sub_timecmp(base, later), -(k + 1));
    }
    const int nextYear[6] = {2025, 1, 1, 0, 0, 0};
    EXPECT_EQ(sub_timecmp(nextYear, base), 1);
    const int negative[6] = {2024, 2, 29, 23, 59, -1};
    EXPECT_EQ(sub_timecmp(negative, base), -6);
    const int lowest[6] = {INT_MIN, 0, 0, 0, 0, 0};
    const int highest[6] = {INT_MAX, 0, 0, 0, 0, 0};
    EXPECT_EQ(sub_timecmp(lowest, highest), -1);
}

// The prompt runs in a child whose terminal is a pseudo-terminal; each key is
// typed once the prompt waits for it, until it prints no star in answer.
TEST_F(Password, StarPerKeyEnterEndsCtrlCCancelsAndTheEntryMustFit)
{
    struct Case
    {
        std::string keys;
        unsigned capacity;
        std::string result; // return value, "|", the output buffer and one byte past it
        std::string printed;
    };
    const std::string nul(1, '\0');
    const Case cases[] = {
        {"abc\r", 8, "0|abc" + std::string(5, '\0') + "g", "****\n"},
        {"\b\x1B[A\xE9\r", 8, "0|\b\x1B[A\xE9" + std::string(3, '\0') + "g", "******\n"}, // stored like characters
        {"\r", 1, "0|" + nul + "g", "*\n"},
        {"\x03", 8, "-1|" + std::string(8, '\0') + "g", ""},
        {"ab\x03zz\r", 8, "-1|" + std::string(8, '\0') + "g", "**"},
        {"1234567\r", 8, "0|1234567" + nul + "g", "********\n"},
        {"12345678\r", 8, "-1|" + std::string(8, '\0') + "g", "*********\n"},
        {"x\r", 0, "-1|g", "**\n"},
        {std::string(1023, 'k') + "\r", 1024, "0|" + std::string(1023, 'k') + nul + "g", std::string(1024, '*') + "\n"},
        {std::string(1030, 'k') + "\r", 1100, "-1|" + std::string(1100, '\0') + "g", std::string(1023, '*') + "\n"},
    };
    for (const Case& c : cases) {
        const unsigned capacity = c.capacity;
        TerminalRun run = runOnTerminal(
            [capacity] {
                std::string out(capacity + 1, 'g');
                int result = sub_get_password("Password:", out.data(), capacity);
                return std::to_string(result) + "|" + out;
            },
            c.keys, 10);
        EXPECT_EQ(run.result, c.result) << c.keys.substr(0, 10);
        EXPECT_EQ(run.printed, "Password: " + c.printed) << c.keys.substr(0, 10);
    }
}

TEST_F(Password, NoTerminalEndsTheEntry)
{
    inChild([] {
        setsid(); // no controlling terminal any more
        char out[4] = {'q', 'q', 'q', 'q'};
        return sub_get_password("Password:", out, sizeof out) == -1 && std::string(out, 4) == std::string(4, '\0');
    });
}

TEST_F(Reboot, RequestsGoToTheRestartServiceAndAlwaysReturnZero)
{
    static std::vector<std::string> requests;
    restart::set_hook([](restart::Kind kind, const char* message, int seconds) {
        requests.push_back(std::string(kind == restart::Kind::Immediate ? "now|" : "countdown|") +
                           (message ? message : "(none)") + "|" + std::to_string(seconds));
        return -1; // as if the caller lacked the privilege
    });
    EXPECT_EQ(sub_reboot_system(), 0);
    EXPECT_EQ(sub_reboot_system_ex(), 0);
    restart::set_hook(nullptr);
    EXPECT_EQ(requests,
              (std::vector<std::string>{"now|(none)|0", "countdown|The System will shuttdown in a few moment|20"}));
}

TEST_F(LibraryLoad, StartsAndReleasesTheSocketsLayer)
{
    commons::library_load(); // returns: the start-up succeeded
    EXPECT_EQ(sockets::cleanup(), 0);
    EXPECT_EQ(sockets::cleanup(), -1);
    commons::library_load();
    commons::library_unload();
    EXPECT_EQ(sockets::cleanup(), -1);
}

TEST_F(LibraryLoadDeathTest, FailedStartUpShowsMessage101AndEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            sockets::set_fail_startup(true);
            commons::library_load();
        },
        testing::ExitedWithCode(1), testing::StrEq("Windows ｿｹｯﾄの初期化に失敗しました。\n"));
}
