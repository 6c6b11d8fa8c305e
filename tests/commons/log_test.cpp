#include "commons_test_env.h"

#include "commons/commons_internal.h"
#include "platform/registry.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class LogTest : public CommonsTest
{
protected:
    // The records of the log file, which is removed for the next step.
    std::vector<std::string> take(const std::string& name = "log.txt")
    {
        std::vector<std::string> lines = records(name);
        fs::remove(logPath(name));
        return lines;
    }

    static std::string pid() { return std::to_string(getpid()); }

    // What `body` prints while standard output is a terminal, or a pipe.
    static std::string standardOutput(bool terminal, const std::function<void()>& body)
    {
        int ends[2] = {-1, -1}; // read, write
        if (terminal ? openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) != 0 : pipe(ends) != 0) {
            ADD_FAILURE() << "no terminal or pipe";
            return {};
        }
        if (terminal) {
            termios plain{};
            tcgetattr(ends[1], &plain);
            plain.c_oflag &= ~OPOST; // "\n" arrives as printed
            tcsetattr(ends[1], TCSANOW, &plain);
        }
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        dup2(ends[1], STDOUT_FILENO);
        body();
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        // Read while the writing end is open: a terminal without one reads as an error.
        fcntl(ends[0], F_SETFL, O_NONBLOCK);
        std::string printed;
        char chunk[4096];
        for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;)
            printed.append(chunk, static_cast<size_t>(n));
        close(ends[1]);
        close(ends[0]);
        return printed;
    }
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(LogTest, HeaderFieldsHaveTheirWidthsAndCutsAndLineFeedsBecomeCrLf)
{
    enableLog("2");
    logput(1, "C:\\src\\regfunc.cpp", 5, "eleven %d\n", 11);
    logput(0, "abcdefghijklmnopqrstuv", 12345, "twenty-two\n");
    logput(7, "dir/sub/x.cpp", 0, "slashes\n");
    logput(1, "C:\\dir\\", 42, "nothing after the backslash\n");
    logput(-1, "\\\\server\\share\\sub_add_datafile.cpp", 99, "%s=%d\n", "n", -3);
    logput(1, "a.cpp", 1, "one\ntwo\r\nthree\n"); // every LF becomes CR LF
    logput(1, "a.cpp", 2, "\n");
    vb_logput(1, "Form1.frm", 3, "100% %d %s"); // the text as it is, and a line end
    vb_logput(0, "Form1.frm", 4, "two\nlines");
    EXPECT_EQ(take(), (Lines{
                          record("regfunc.cpp", 5, "NORML", "eleven 11"),
                          record("abcdefghijklmno", 12345, "ERROR", "twenty-two"),
                          record("dir/sub/x.cpp", 0, "NORML", "slashes"),
                          record("", 42, "NORML", "nothing after the backslash"),
                          record("sub_add_datafil", 99, "NORML", "n=-3"),
                          record("a.cpp", 1, "NORML", "one"),
                          "two\r",
                          "three",
                          record("a.cpp", 2, "NORML", ""),
                          record("Form1.frm", 3, "NORML", "100% %d %s"),
                          record("Form1.frm", 4, "ERROR", "two"),
                          "lines",
                      }));
}

// Each case logs one error and one normal record through every function.
TEST_F(LogTest, LogTypeDecidesWhatIsWritten)
{
    const std::pair<const char*, size_t> cases[] = {
        {nullptr, 0}, {"0", 0},  {"abc", 0},   {"", 0},    {"0x1", 0},  {"1", 7},
        {"1 0", 7},   {"2", 14}, {" +2x", 14}, {"-5", 14}, {"007", 14}, {"9", 14},
    };
    int n = 0;
    long files = 2; // home, registry
    for (const auto& [type, written] : cases) {
        files += written > 0;
        std::string name = "case" + std::to_string(n++) + ".txt";
        ASSERT_EQ(sub_regwrite("log_name", logPath(name).c_str()), 0);
        if (type)
            ASSERT_EQ(sub_regwrite("log_type", type), 0);
        else
            sub_regremove("log_type");
        for (int level : {0, 1}) {
            logput(level, "t.cpp", 1, "x\n");
            logputd(level, "t.cpp", 2, "x\n");
            vb_logput(level, "t.cpp", 3, "x");
            logdmp(level, "t.cpp", 4, nullptr, -1, "x\n");
            vb_logdmp(level, "t.cpp", 5, nullptr, -1, "x\n");
        }
        EXPECT_EQ(records(name).size(), written) << "log_type " << (type ? type : "(none)");
    }

    // Without a usable log name nothing is written anywhere.
    for (const std::string& name : {std::string(""), logPath("missing-folder/log.txt")}) {
        ASSERT_EQ(sub_regwrite("log_name", name.c_str()), 0);
        EXPECT_EQ(logput(0, "t.cpp", 1, "lost\n"), 0);
    }
    ASSERT_EQ(sub_regremove("log_name"), 0);
    logput(0, "t.cpp", 1, "lost\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), files);
}

TEST_F(LogTest, LogTypeThreeWritesAFilePerProcessAndSuffix)
{
    enableLog("3", "trace");
    logput(1, "t.cpp", 1, "a\n");
    logputd(1, "t.cpp", 2, "b\n");
    logdmp(1, "t.cpp", 3, nullptr, -1, "c\n");
    vb_logput(1, "t.cpp", 4, "d"); // the vb_ functions always use the bare name
    vb_logdmp(1, "t.cpp", 5, nullptr, -1, "e\n");
    EXPECT_EQ(take("trace." + pid() + ".txt").size(), 4u);
    EXPECT_EQ(records("trace").size(), 3u);

    log_name("ui");
    logput(1, "t.cpp", 6, "f\n");
    vb_logput(1, "t.cpp", 7, "g");
    EXPECT_EQ(records("trace.ui." + pid() + ".txt"), Lines{record("t.cpp", 6, "NORML", "f")});
    EXPECT_EQ(records("trace").back(), record("t.cpp", 7, "NORML", "g"));

    // Under any other type the suffix is ignored and the name used as it is.
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    logput(1, "t.cpp", 8, "h\n");
    EXPECT_EQ(records("trace").back(), record("t.cpp", 8, "NORML", "h"));
    EXPECT_EQ(records("trace.ui." + pid() + ".txt").size(), 1u);
    EXPECT_FALSE(fs::exists(logPath("trace." + pid() + ".txt")));
}

TEST_F(LogTest, LogputdEchoesOnlyWrittenRecordsAndOnlyToATerminal)
{
    const std::string error = "*(sub_sysdata_loa:0010) ERROR : error";
    const std::pair<const char*, Lines> cases[] = {
        {"0", {}}, {"1", {error}}, {"2", {"*(sub_sysdata_loa:0009) NORML : type 2", error}}};
    for (const auto& [type, echo] : cases) {
        enableLog(type);
        for (bool terminal : {true, false}) {
            const std::string printed = standardOutput(terminal, [type] {
                logputd(1, "C:\\src\\sub_sysdata_load.cpp", 9, "type %s\n", type);
                logputd(0, "C:\\src\\sub_sysdata_load.cpp", 10, "error\n");
            });
            EXPECT_EQ(echoed(printed), terminal ? echo : Lines{}) << "log_type " << type << " terminal " << terminal;
        }
    }
    const std::string typeTwo = record("sub_sysdata_loa", 9, "NORML", "type 2");
    const std::string errorLine = record("sub_sysdata_loa", 10, "ERROR", "error");
    EXPECT_EQ(records(), (Lines{errorLine, errorLine, typeTwo, errorLine, typeTwo, errorLine}));
}

// Only a regular file of ours that others cannot write receives records.
TEST_F(LogTest, ALogPathThatIsNotOurOwnFileGetsNothing)
{
    const fs::path target = path("target.txt");
    const std::pair<const char*, std::function<void(const fs::path&)>> cases[] = {
        {"symbolic link", [&](const fs::path& at) { fs::create_symlink(target, at); }},
        {"link to a missing file", [&](const fs::path& at) { fs::create_symlink(path("none.txt"), at); }},
        {"file others may write",
         [](const fs::path& at) {
             testenv::write_file(at, "");
             ASSERT_EQ(chmod(at.c_str(), 0666), 0);
         }},
        {"fifo", [](const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
        {"folder", [](const fs::path& at) { fs::create_directory(at); }},
        {"another user's file",
         [](const fs::path& at) {
             testenv::write_file(at, "");
             ASSERT_EQ(chown(at.c_str(), 4242, 4242), 0);
         }},
    };
    testenv::write_file(target, "");
    for (const auto& [what, plant] : cases) {
        if (std::string_view(what) == "another user's file" && geteuid() != 0)
            continue; // only root can give a file away
        fs::remove_all(logPath());
        plant(logPath());
        enableLog("2");
        logput(0, "t.cpp", 1, "secret\n");
        vb_logput(0, "t.cpp", 2, "secret");
        logdmp(0, "t.cpp", 3, nullptr, -1, "secret\n");
        EXPECT_EQ(testenv::read_file(target), "") << what;
        if (fs::is_regular_file(fs::symlink_status(logPath()))) {
            EXPECT_EQ(testenv::read_file(logPath()), "") << what;
        }
        EXPECT_FALSE(fs::exists(path("none.txt"))) << what;
    }
    // A new log file is ours and private.
    fs::remove_all(logPath());
    logput(0, "t.cpp", 4, "mine\n");
    EXPECT_EQ(records(), Lines{record("t.cpp", 4, "ERROR", "mine")});
    EXPECT_EQ(fs::status(logPath()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(LogTest, DumpRowsCoverEveryByteUpToTheLastIndex)
{
    enableLog("2");
    const unsigned char data[] = "0123456789ABCDEFG";
    const std::string full = "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 0123456789ABCDEF";
    auto row = [](const std::string& text) { return record("d.cpp", 1, "NORML", text); };

    logdmp(1, "d.cpp", 1, data, 15, "sixteen %d\n", 16);
    EXPECT_EQ(take(), (Lines{row("sixteen 16"), row(full)}));

    logdmp(1, "d.cpp", 1, data, 16, "seventeen\n");
    EXPECT_EQ(take(),
              (Lines{row("seventeen"), row(full), row("47" + std::string(46, ' ') + "G" + std::string(15, ' '))}));

    logdmp(1, "d.cpp", 1, data, -1, "none\n");
    logdmp(1, "d.cpp", 1, data, -100, "none\n");
    EXPECT_EQ(take(), (Lines{row("none"), row(std::string(64, ' ')), row("none"), row(std::string(64, ' '))}));

    const unsigned char odd[] = {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x0A};
    vb_logdmp(1, "d.cpp", 1, odd, 7, "odd\n");
    EXPECT_EQ(take(), (Lines{row("odd"), row("00 1F 20 7E 7F 80 FF 0A " + std::string(24, ' ') + ".. ~...." +
                                             std::string(8, ' '))}));
}

TEST_F(LogTest, OverlongTextIsCutInsideTheBuffers)
{
    enableLog("2");
    // The file after its first time stamp; removed for the next step.
    auto written = [&] {
        std::string text = testenv::read_file(logPath());
        fs::remove(logPath());
        return text.substr(std::min<size_t>(19, text.size()));
    };
    logput(1, "t.cpp", 1, "%s", std::string(9000, 'x').c_str());
    EXPECT_EQ(written(), record("t.cpp", 1, "NORML", std::string(8191, 'x')));
    // The double-byte character that would cross the limit is left out whole.
    logput(1, "t.cpp", 2, "%s", (std::string(8190, 'y') + "\x93\xFA" + "tail").c_str());
    EXPECT_EQ(written(), record("t.cpp", 2, "NORML", std::string(8190, 'y')));

    logdmp(1, "t.cpp", 3, nullptr, -1, "%s", std::string(600, 'z').c_str());
    const std::string head = record("t.cpp", 3, "NORML", "");
    const std::string dump = written();
    EXPECT_EQ(dump.substr(0, head.size() + 511), head + std::string(511, 'z'));
    EXPECT_EQ(dump.substr(head.size() + 511 + 19, head.size()), head); // the row follows at once

    logput(1, std::string(600, 's').c_str(), 4, "\n");
    EXPECT_EQ(take(), Lines{record("sssssssssssssss", 4, "NORML", "")});
}

TEST_F(LogTest, OverlongPathsAndSuffixesAreCut)
{
    // A log_name filling the whole setting buffer, stored without a terminator.
    const fs::path deep = dir() / std::string(200, 'a') / std::string(200, 'b');
    fs::create_directories(deep);
    std::string name = (deep / "").string();
    name += std::string(512 - name.size(), 'n');
    ASSERT_EQ(sub_regwrite("log_type", "3"), 0);
    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, commons::kSharedKey, &key), reg::Status::Ok);
    ASSERT_EQ(reg::set_value(key, "log_name", reg::REG_SZ, name.data(), 512), reg::Status::Ok);
    reg::close_key(key);
    vb_logput(0, "t.cpp", 1, "bare");
    EXPECT_EQ(records(name.substr(0, 511).substr(dir().string().size() + 1)),
              Lines{record("t.cpp", 1, "ERROR", "bare")});

    // The per-process ending does not fit either: the path is cut at 511 bytes.
    const std::string stem = (deep / "").string() + std::string(60, 't');
    ASSERT_EQ(sub_regwrite("log_name", stem.c_str()), 0);
    log_name(std::string(2000, 'u').c_str());
    EXPECT_EQ(logput(0, "t.cpp", 2, "suffixed\n"), 0);
    const std::string cut = (stem + "." + std::string(2000, 'u')).substr(0, 511);
    EXPECT_EQ(records(cut.substr(dir().string().size() + 1)), Lines{record("t.cpp", 2, "ERROR", "suffixed")});
}

TEST_F(LogTest, AWindowsLogNameWritesNoFileOfThatLiteralName)
{
    enableLog("2");
    for (const char* windows : {"C:\\logs\\kestrel.log", "\\\\server\\share\\kestrel.log"}) {
        ASSERT_EQ(sub_regwrite("log_name", windows), 0);
        logput(1, "a.cpp", 1, "lost\n");
        logputd(0, "a.cpp", 2, "lost\n");
    }
    for (const auto& entry : fs::directory_iterator(fs::current_path()))
        EXPECT_EQ(entry.path().filename().string().find('\\'), std::string::npos) << entry.path();
}
