#include "commons_test_env.h"

#include "commons/commons_internal.h"
#include "platform/registry.h"

#include <cstring>
#include <filesystem>
#include <regex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string pidText()
{
    return std::to_string(getpid());
}

} // namespace

class LogTest : public CommonsTest
{
};

TEST_F(LogTest, HeaderFieldsHaveTheirWidthsAndCuts)
{
    enableLog("2");
    logput(1, "C:\\src\\regfunc.cpp", 5, "eleven %d\n", 11);
    logput(0, "abcdefghijklmnopqrstuv", 12345, "twenty-two\n");
    logput(7, "dir/sub/x.cpp", 0, "slashes\n");
    logput(1, "C:\\dir\\", 42, "nothing after the backslash\n");
    logput(-1, "\\\\server\\share\\sub_add_datafile.cpp", 99, "%s=%d\n", "n", -3);
    EXPECT_EQ(records(), (std::vector<std::string>{
                             "*(    regfunc.cpp:0005) NORML " + ids() + " : eleven 11",
                             "*(abcdefghijklmno:12345) ERROR " + ids() + " : twenty-two",
                             "*(  dir/sub/x.cpp:0000) NORML " + ids() + " : slashes",
                             "*(               :0042) NORML " + ids() + " : nothing after the backslash",
                             "*(sub_add_datafil:0099) NORML " + ids() + " : n=-3",
                         }));
}

TEST_F(LogTest, EveryLineFeedIsStoredAsCrLf)
{
    enableLog("2");
    logput(1, "a.cpp", 1, "one\ntwo\r\nthree");
    logput(1, "a.cpp", 2, "\n");
    std::string text = testenv::read_file(logPath());
    std::string expected = "*(          a.cpp:0001) NORML " + ids() + " : one\r\ntwo\r\r\nthree";
    ASSERT_GT(text.size(), 19u);
    EXPECT_EQ(text.substr(19, expected.size()), expected);
    EXPECT_EQ(text.substr(text.size() - 5), " : \r\n");
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

TEST_F(LogTest, LogTypeDecidesWhatIsWritten)
{
    struct Case
    {
        const char* type; // null: no value
        int level;
        bool written;
    };
    const Case cases[] = {
        {nullptr, 0, false}, {"0", 0, false},  {"abc", 0, false}, {"", 0, false},    {"1", 0, true},
        {"1", 1, false},     {"1", 5, false},  {"2", 1, true},    {" +2x", 1, true}, {"-5", 1, true},
        {"2", 0, true},      {"007", 1, true}, {"1 0", 0, true},  {"0x1", 0, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "case" + std::to_string(n++) + ".txt";
        ASSERT_EQ(sub_regwrite("log_name", logPath(name).c_str()), 0);
        if (c.type)
            ASSERT_EQ(sub_regwrite("log_type", c.type), 0);
        else
            sub_regremove("log_type");
        logput(c.level, "t.cpp", 1, "x\n");
        logputd(c.level, "t.cpp", 2, "x\n");
        vb_logput(c.level, "t.cpp", 3, "x");
        logdmp(c.level, "t.cpp", 4, nullptr, -1, "x\n");
        vb_logdmp(c.level, "t.cpp", 5, nullptr, -1, "x\n");
        EXPECT_EQ(records(name).size(), c.written ? 7u : 0u)
            << "log_type " << (c.type ? c.type : "(none)") << " level " << c.level;
    }
}

TEST_F(LogTest, NothingIsWrittenWithoutAUsableLogName)
{
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    logput(0, "t.cpp", 1, "no name\n");
    ASSERT_EQ(sub_regwrite("log_name", ""), 0);
    logput(0, "t.cpp", 1, "empty name\n");
    ASSERT_EQ(sub_regwrite("log_name", logPath("missing-folder/log.txt").c_str()), 0);
    EXPECT_EQ(logput(0, "t.cpp", 1, "no folder\n"), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 2); // home, registry
}

TEST_F(LogTest, PerProcessFileNamesUnderLogTypeThree)
{
    enableLog("3", "trace");
    logput(1, "t.cpp", 1, "a\n");
    logputd(1, "t.cpp", 2, "b\n");
    logdmp(1, "t.cpp", 3, nullptr, -1, "c\n");
    vb_logput(1, "t.cpp", 4, "d");
    vb_logdmp(1, "t.cpp", 5, nullptr, -1, "e\n");
    EXPECT_EQ(records("trace." + pidText() + ".txt").size(), 4u);
    EXPECT_EQ(records("trace").size(), 3u);

    log_name("ui");
    logput(1, "t.cpp", 6, "f\n");
    vb_logput(1, "t.cpp", 7, "g");
    EXPECT_EQ(records("trace.ui." + pidText() + ".txt"),
              std::vector<std::string>{"*(          t.cpp:0006) NORML " + ids() + " : f"});
    EXPECT_EQ(records("trace").size(), 4u);
    EXPECT_EQ(testenv::read_file(path("trace." + pidText() + ".txt")).find(" : f"), std::string::npos);

    // Under any other type the suffix is ignored and the name used as it is.
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    logput(1, "t.cpp", 8, "h\n");
    EXPECT_EQ(records("trace").back(), "*(          t.cpp:0008) NORML " + ids() + " : h");
    EXPECT_EQ(records("trace.ui." + pidText() + ".txt").size(), 1u);
}

TEST_F(LogTest, LogputdEchoesOnlyWrittenRecords)
{
    testing::internal::CaptureStdout();
    logputd(1, "C:\\src\\sub_sysdata_load.cpp", 9, "off %d\n", 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(fs::exists(logPath()));

    enableLog("1");
    testing::internal::CaptureStdout();
    logputd(1, "C:\\src\\sub_sysdata_load.cpp", 9, "trace %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    testing::internal::CaptureStdout();
    logputd(1, "C:\\src\\sub_sysdata_load.cpp", 9, "trace %d\n", 2);
    logputd(0, "C:\\src\\sub_sysdata_load.cpp", 10, "error\n");
    std::string echo = testing::internal::GetCapturedStdout();
    std::regex expected("([0-9/]{10} [0-9:]{8})\\*\\(sub_sysdata_loa:0009\\) NORML : trace 2\n"
                        "\\1\\*\\(sub_sysdata_loa:0010\\) ERROR : error\n|"
                        "[0-9/]{10} [0-9:]{8}\\*\\(sub_sysdata_loa:0009\\) NORML : trace 2\n"
                        "[0-9/]{10} [0-9:]{8}\\*\\(sub_sysdata_loa:0010\\) ERROR : error\n");
    EXPECT_TRUE(std::regex_match(echo, expected)) << echo;
    EXPECT_EQ(records(), (std::vector<std::string>{
                             "*(sub_sysdata_loa:0009) NORML " + ids() + " : trace 2",
                             "*(sub_sysdata_loa:0010) ERROR " + ids() + " : error",
                         }));
}

TEST_F(LogTest, VbLogputWritesItsTextUnchangedAndEndsTheLine)
{
    enableLog("2");
    vb_logput(1, "Form1.frm", 3, "100% %d %s");
    vb_logput(0, "Form1.frm", 4, "two\nlines");
    EXPECT_EQ(records(), (std::vector<std::string>{
                             "*(      Form1.frm:0003) NORML " + ids() + " : 100% %d %s",
                             "*(      Form1.frm:0004) ERROR " + ids() + " : two",
                             "lines",
                         }));
}

TEST_F(LogTest, DumpRowsCoverEveryByteUpToTheLastIndex)
{
    enableLog("2");
    const unsigned char data[] = "0123456789ABCDEFG";
    const std::string head = "*(          d.cpp:0001) NORML " + ids() + " : ";
    const std::string full = "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 0123456789ABCDEF";

    logdmp(1, "d.cpp", 1, data, 15, "sixteen %d\n", 16);
    EXPECT_EQ(records(), (std::vector<std::string>{head + "sixteen 16", head + full}));
    fs::remove(logPath());

    logdmp(1, "d.cpp", 1, data, 16, "seventeen\n");
    EXPECT_EQ(records(), (std::vector<std::string>{head + "seventeen", head + full,
                                                   head + "47 " + std::string(45, ' ') + "G" + std::string(15, ' ')}));
    fs::remove(logPath());

    logdmp(1, "d.cpp", 1, data, -1, "none\n");
    logdmp(1, "d.cpp", 1, data, -100, "none\n");
    EXPECT_EQ(records(), (std::vector<std::string>{head + "none", head + std::string(64, ' '), head + "none",
                                                   head + std::string(64, ' ')}));
    fs::remove(logPath());

    const unsigned char odd[] = {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x0A};
    vb_logdmp(1, "d.cpp", 1, odd, 7, "odd\n");
    EXPECT_EQ(records(),
              (std::vector<std::string>{head + "odd", head + "00 1F 20 7E 7F 80 FF 0A " + std::string(24, ' ') +
                                                          ".. ~...." + std::string(8, ' ')}));
}

TEST_F(LogTest, OverlongInputIsCutInsideTheBuffers)
{
    enableLog("2");
    auto head = [](int line) {
        char text[16];
        std::snprintf(text, sizeof text, "%04d", line);
        return "*(          t.cpp:" + std::string(text) + ") NORML " + ids() + " : ";
    };
    auto written = [&] {
        std::string text = testenv::read_file(logPath());
        fs::remove(logPath());
        return text.size() > 19 ? text.substr(19) : text;
    };

    logput(1, "t.cpp", 1, "%s", std::string(9000, 'x').c_str());
    EXPECT_EQ(written(), head(1) + std::string(8191, 'x'));

    // The double-byte character that would cross the limit is left out whole.
    logput(1, "t.cpp", 2, "%s", (std::string(8190, 'y') + "\x93\xFA" + "tail").c_str());
    EXPECT_EQ(written(), head(2) + std::string(8190, 'y'));

    logdmp(1, "t.cpp", 3, nullptr, -1, "%s", std::string(600, 'z').c_str());
    std::string dump = written();
    EXPECT_EQ(dump.substr(0, head(3).size() + 511), head(3) + std::string(511, 'z'));
    EXPECT_EQ(dump.substr(head(3).size() + 511 + 19, 2), "*("); // the row's own header follows

    logput(1, std::string(600, 's').c_str(), 4, "\n");
    EXPECT_EQ(written().substr(0, 23), "*(sssssssssssssss:0004)");
}

TEST_F(LogTest, OverlongPathsAndSuffixesAreCut)
{
    // A log_name filling the whole setting buffer, stored without a terminator.
    fs::path deep = dir() / std::string(200, 'a') / std::string(200, 'b');
    fs::create_directories(deep);
    std::string name = (deep / "").string();
    name += std::string(512 - name.size(), 'n');
    ASSERT_EQ(sub_regwrite("log_type", "3"), 0);
    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, commons::kSharedKey, &key), reg::Status::Ok);
    ASSERT_EQ(reg::set_value(key, "log_name", reg::REG_SZ, name.data(), 512), reg::Status::Ok);
    reg::close_key(key);

    vb_logput(0, "t.cpp", 1, "bare");
    EXPECT_EQ(records(name.substr(0, 511).substr(dir().string().size() + 1)).size(), 1u);

    // The per-process ending does not fit either: the path is cut at 511 bytes.
    std::string stem = (deep / "").string() + std::string(60, 't');
    ASSERT_EQ(sub_regwrite("log_name", stem.c_str()), 0);
    log_name(std::string(2000, 'u').c_str());
    EXPECT_EQ(logput(0, "t.cpp", 2, "suffixed\n"), 0);
    std::string cut = (stem + "." + std::string(2000, 'u')).substr(0, 511);
    EXPECT_EQ(records(cut.substr(dir().string().size() + 1)).size(), 1u);
}

TEST_F(LogTest, ReadLogSettingZeroesAndNeverOverruns)
{
    char buffer[8];
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(commons::read_log_setting("log_type", buffer, 4), -1); // no key
    EXPECT_EQ(std::string(buffer, 8), std::string("\0\0\0\0qqqq", 8));

    ASSERT_EQ(sub_regwrite("log_type", "123"), 0);
    std::memset(buffer, 'q', sizeof buffer);
    EXPECT_EQ(commons::read_log_setting("log_type", buffer, 3), -1); // 4 bytes with the terminator
    EXPECT_EQ(std::string(buffer, 8), std::string("\0\0\0qqqqq", 8));
    EXPECT_EQ(commons::read_log_setting("log_type", buffer, 4), 0);
    EXPECT_EQ(std::string(buffer, 8), std::string("123\0qqqq", 8));
    EXPECT_EQ(commons::read_log_setting("log_name", buffer, 4), -1);
}
