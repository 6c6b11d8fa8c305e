#include "commons/commons.h"
#include "commons/commons_internal.h"

#include "platform/console.h"
#include "platform/restart.h"
#include "platform/sockets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <string>

TEST(BitField, SelectsTheBitsBelowTheEndPosition)
{
    const unsigned char byte = 0xB4; // 1011 0100
    EXPECT_EQ(sub_bitload(&byte, 8, 3), 5);
    EXPECT_EQ(sub_bitload(&byte, 8, 8), 0xB4);
    EXPECT_EQ(sub_bitload(&byte, 8, 2), 2);
    EXPECT_EQ(sub_bitload(&byte, 4, 4), 4);
    EXPECT_EQ(sub_bitload(&byte, 1, 1), 0);
    EXPECT_EQ(sub_bitload(&byte, 3, 1), 1);
    EXPECT_EQ(sub_bitload(&byte, 8, 0), 0);
    EXPECT_EQ(sub_bitload(&byte, 0, 0), 0);
    // Positions 8 and above read as zero.
    EXPECT_EQ(sub_bitload(&byte, 12, 8), 0x0B);
    EXPECT_EQ(sub_bitload(&byte, 32, 32), 0xB4);
    EXPECT_EQ(sub_bitload(&byte, 32, 24), 0);
    const unsigned char one = 0x01;
    EXPECT_EQ(sub_bitload(&one, 1, 1), 1);
}

TEST(BitField, DumpWritesTheBitsMostSignificantFirst)
{
    const unsigned char byte = 0xB4;
    char out[40];
    std::memset(out, 'q', sizeof out);
    EXPECT_EQ(sub_bit_dmp(&byte, 8, 3, out), 0);
    EXPECT_EQ(std::string(out, 5), std::string("101\0q", 5));
    EXPECT_EQ(sub_bit_dmp(&byte, 8, 8, out), 0);
    EXPECT_STREQ(out, "10110100");
    EXPECT_EQ(sub_bit_dmp(&byte, 12, 8, out), 0);
    EXPECT_STREQ(out, "00001011");
    EXPECT_EQ(sub_bit_dmp(&byte, 32, 32, out), 0);
    EXPECT_EQ(std::string(out, 33), std::string(24, '0') + "10110100" + '\0');

    std::memset(out, 'q', sizeof out);
    EXPECT_EQ(sub_bit_dmp(&byte, 5, 0, out), 0);
    EXPECT_EQ(std::string(out, 2), std::string("\0q", 2));
}

TEST(TimeCompare, SignTellsTheLaterAndMagnitudeTheField)
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
    const int extremes[6] = {INT32_MIN, 0, 0, 0, 0, 0};
    const int top[6] = {INT32_MAX, 0, 0, 0, 0, 0};
    EXPECT_EQ(sub_timecmp(extremes, top), -1);
}

namespace {

std::deque<int> g_keys;

int nextKey()
{
    if (g_keys.empty())
        return -1;
    int key = g_keys.front();
    g_keys.pop_front();
    return key;
}

class Password : public ::testing::Test
{
protected:
    void SetUp() override { console::set_key_source(nextKey); }
    void TearDown() override
    {
        console::set_key_source(nullptr);
        g_keys.clear();
    }

    void type(const std::string& keys)
    {
        for (unsigned char c : keys)
            g_keys.push_back(c);
    }

    // Runs the prompt; returns its result and keeps what it printed.
    int run(char* output, unsigned capacity)
    {
        testing::internal::CaptureStdout();
        int result = sub_get_password("Password:", output, capacity);
        m_printed = testing::internal::GetCapturedStdout();
        return result;
    }

    std::string m_printed;
};

} // namespace

TEST_F(Password, EchoesAStarPerKeyIncludingEnter)
{
    char out[16];
    std::memset(out, 'q', sizeof out);
    type("abc\r");
    EXPECT_EQ(run(out, sizeof out), 0);
    EXPECT_EQ(m_printed, "Password: ****\n");
    EXPECT_EQ(std::string(out, 16), std::string("abc") + std::string(13, '\0'));

    // Control keys are stored like characters.
    type("\b\x1B[A\r");
    EXPECT_EQ(run(out, sizeof out), 0);
    EXPECT_EQ(std::string(out, 5), std::string("\b\x1B[A\0", 5));
    EXPECT_EQ(m_printed, "Password: *****\n");

    type("\r");
    EXPECT_EQ(run(out, 1), 0);
    EXPECT_EQ(m_printed, "Password: *\n");
    EXPECT_EQ(out[0], '\0');
}

TEST_F(Password, CtrlCEndsTheEntryAtOnce)
{
    char out[8];
    std::memset(out, 'q', sizeof out);
    type("\x03");
    EXPECT_EQ(run(out, sizeof out), -1);
    EXPECT_EQ(m_printed, "Password: ");
    EXPECT_EQ(std::string(out, 8), std::string(8, '\0'));

    type("ab\x03zz\r");
    EXPECT_EQ(run(out, sizeof out), -1);
    EXPECT_EQ(m_printed, "Password: **");
    EXPECT_EQ(std::string(out, 8), std::string(8, '\0'));
    EXPECT_EQ(g_keys.size(), 3u); // nothing read after Ctrl+C
}

TEST_F(Password, EntryMustFitTheOutput)
{
    char out[9];
    out[8] = 'g';
    type("1234567\r");
    EXPECT_EQ(run(out, 8), 0);
    EXPECT_EQ(std::string(out, 9), std::string("1234567\0g", 9));

    type("12345678\r");
    EXPECT_EQ(run(out, 8), -1);
    EXPECT_EQ(m_printed, "Password: *********\n");
    EXPECT_EQ(std::string(out, 9), std::string(8, '\0') + 'g');

    type("x\r");
    EXPECT_EQ(run(out, 0), -1);
    EXPECT_EQ(out[0], '\0'); // capacity 0: nothing touched
}

TEST_F(Password, TheEntryBufferHoldsAtMost1023Keys)
{
    std::string out(1100, 'q');
    type(std::string(1023, 'k') + "\r");
    EXPECT_EQ(run(out.data(), 1024), 0);
    EXPECT_EQ(out.substr(0, 1024), std::string(1023, 'k') + '\0');
    EXPECT_EQ(m_printed, "Password: " + std::string(1024, '*') + "\n");

    out.assign(1100, 'q');
    type(std::string(1030, 'k') + "\r");
    EXPECT_EQ(run(out.data(), 1100), -1);
    EXPECT_EQ(out, std::string(1100, '\0'));
    EXPECT_EQ(m_printed, "Password: " + std::string(1023, '*') + "\n");
}

TEST_F(Password, ConsoleFailureEndsTheEntry)
{
    char out[8];
    type("ab"); // then the key source reports a failure
    EXPECT_EQ(run(out, sizeof out), -1);
    EXPECT_EQ(std::string(out, 8), std::string(8, '\0'));
}

namespace {

std::vector<std::string> g_restarts;

int recordRestart(restart::Kind kind, const char* message, int seconds)
{
    g_restarts.push_back((kind == restart::Kind::Immediate ? "now|" : "countdown|") +
                         std::string(message ? message : "(none)") + "|" + std::to_string(seconds));
    return -1; // as if the caller lacked the privilege
}

} // namespace

TEST(Reboot, RequestsGoToTheRestartServiceAndAlwaysReturnZero)
{
    restart::set_hook(recordRestart);
    EXPECT_EQ(sub_reboot_system(), 0);
    EXPECT_EQ(sub_reboot_system_ex(), 0);
    restart::set_hook(nullptr);
    EXPECT_EQ(g_restarts, (std::vector<std::string>{
                              "now|(none)|0",
                              "countdown|The System will shuttdown in a few moment|20",
                          }));
}

TEST(LibraryLoad, StartsAndReleasesTheSocketsLayer)
{
    commons::library_load(); // returns: the start-up succeeded
    EXPECT_EQ(sockets::cleanup(), 0);
    EXPECT_EQ(sockets::cleanup(), -1);
    commons::library_load();
    commons::library_unload();
    EXPECT_EQ(sockets::cleanup(), -1);
}

TEST(LibraryLoadDeathTest, FailedStartUpShowsMessage101AndEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            sockets::set_fail_startup(true);
            commons::library_load();
        },
        testing::ExitedWithCode(1), testing::StrEq("Windows ｿｹｯﾄの初期化に失敗しました。\n"));
}

TEST(SharedLibrary, ExportsTheCFunctionsAndNothingElse)
{
    void* library = dlopen(COMMONS_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name :
         {"logput", "logputd", "logdmp", "vb_logput", "vb_logdmp", "log_name", "sub_regread", "sub_regwrite",
          "sub_regremove", "sub_regread_ex", "sub_regwrite_ex", "sub_regremove_ex", "sub_bitload", "sub_bit_dmp",
          "sub_get_password", "sub_reboot_system", "sub_reboot_system_ex", "sub_timecmp"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    EXPECT_EQ(dlsym(library, "read_log_setting"), nullptr);
    EXPECT_EQ(dlsym(library, "_ZN7commons16read_log_settingEPKcPcj"), nullptr);
    EXPECT_EQ(dlsym(library, "_ZN3reg8open_keyENS_4HiveEPKcPPNS_3KeyE"), nullptr);
    dlclose(library);
}
