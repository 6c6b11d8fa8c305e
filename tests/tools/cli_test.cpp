// The kestrel-reg command line: exit status, messages, UTF-8 <-> CP932.
#include "registry_values.h"
#include "test_env.h"
#include "tool_run.h"

#include "tools/reg/reg_tool.h"

#include <sstream>

namespace {

const char* const kSub = "SOFTWARE\\qelt_key_yoyaku";

using Result = ToolResult;

// Runs "kestrel-reg <args>" with input on its standard input.
Result run_args(std::vector<std::string> args, const std::string& input = {})
{
    return run_tool(kreg::run_cli, "kestrel-reg", std::move(args), input);
}

// Runs "kestrel-reg <words>", the words split at spaces.
Result run(const std::string& words, const std::string& input = {})
{
    std::vector<std::string> args;
    std::istringstream split(words);
    for (std::string word; split >> word;)
        args.push_back(word);
    return run_args(args, input);
}

} // namespace

using Cli = TempDirTest;

TEST_F(Cli, SetStoresCp932AsTheProgramDoesAndGetShowsUtf8)
{
    EXPECT_EQ(run("set log_name /tmp/ログ.txt").status, 0);
    EXPECT_EQ(stored(kSub, "log_name"), (Stored{reg::REG_SZ, std::string("/tmp/\x83\x8D\x83\x4F.txt\0", 14)}));
    EXPECT_EQ(run("set --type binary blob e9,d9,c9").status, 0);
    EXPECT_EQ(stored(kSub, "blob"), (Stored{reg::REG_BINARY, "\xE9\xD9\xC9"}));
    EXPECT_EQ(run("set n --type=dword -- -1").status, 0);
    EXPECT_EQ(stored(kSub, "n"), (Stored{reg::REG_DWORD, "\xFF\xFF\xFF\xFF"}));
    // Options after the data, and a negative number that is data.
    EXPECT_EQ(run("set m -2 --type dword").status, 0);
    EXPECT_EQ(stored(kSub, "m"), (Stored{reg::REG_DWORD, "\xFE\xFF\xFF\xFF"}));
    EXPECT_EQ(run("set kest_kindcsl -1").status, 0);
    EXPECT_EQ(stored(kSub, "kest_kindcsl"), (Stored{reg::REG_SZ, {"-1\0", 3}}));
    EXPECT_EQ(run("set log_type 0x2a --type dword").status, 0);
    EXPECT_EQ(run("set kest_clipsecs 0").status, 0);
    EXPECT_EQ(run_args({"set", "tabbed", "a\tb\\c\x01"}).status, 0);

    const Result list = run("list");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "blob\tREG_BINARY\te9d9c9\n"
                        "kest_clipsecs\tREG_SZ\t0\n"
                        "kest_kindcsl\tREG_SZ\t-1\n"
                        "log_name\tREG_SZ\t/tmp/ログ.txt\n"
                        "log_type\tREG_DWORD\t42\n"
                        "m\tREG_DWORD\t-2\n"
                        "n\tREG_DWORD\t-1\n"
                        "tabbed\tREG_SZ\ta\\tb\\\\c\\x01\n");
    EXPECT_EQ(run("get LOG_NAME").out, "/tmp/ログ.txt\n");
    EXPECT_EQ(run("get n").out, "-1\n"); // the signed number kestrel reads
    EXPECT_EQ(run("delete n").status, 0);
    EXPECT_FALSE(stored(kSub, "n"));
}

TEST_F(Cli, ImportReadsStandardInputAndWarnsAboutWindowsPaths)
{
    const Result result = run("import - --key HKLM\\SOFTWARE\\qelt_key_yoyaku",
                              "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n"
                              "\"log_name\"=\"C:\\\\logs\\\\kestrel.log\"\r\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "kestrel-reg: warning: (standard input):3: log_name holds the Windows path "
                          "C:\\logs\\kestrel.log, which kestrel cannot use: give the path on this machine with "
                          "--logname PATH\n");
    EXPECT_EQ(stored(kSub, "log_name"), (Stored{reg::REG_SZ, std::string("C:\\logs\\kestrel.log\0", 20)}));

    const Result cut =
        run("import -", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n\"log_type\"=\"3");
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "kestrel-reg: (standard input):3: text without a closing quote\n");
    EXPECT_FALSE(stored(kSub, "log_type"));
}

TEST_F(Cli, RefusalsAreOneLineWithStatusOneAndChangeNothing)
{
    const Result noKey = run("get log_type");
    EXPECT_EQ(noKey.status, 1);
    EXPECT_EQ(noKey.err, "kestrel-reg: no key HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku\n");
    ASSERT_EQ(run("set log_type 1").status, 0);
    for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
             {"set log_type /tmp/😀", "kestrel-reg: text cannot be written in CP932: /tmp/😀\n"},
             {"set 한 x", "kestrel-reg: value name cannot be written in CP932: 한\n"},
             {"delete nothing", "kestrel-reg: no value nothing in HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku\n"},
             {"import none.reg", "kestrel-reg: cannot read none.reg: No such file or directory\n"},
             {"get log_type --key HKLM\\SOFTWARE\\other", "kestrel-reg: no key HKLM\\SOFTWARE\\other\n"},
             // Values that kestrel would misread: a short password locks the user out.
             {"set --type binary kest_passwrd e9,d9,c9",
              "kestrel-reg: kest_passwrd must be 1024 bytes of REG_BINARY (the scrambled password)\n"},
             {"set kest_kindcsl -1 --type dword",
              "kestrel-reg: kest_kindcsl must be REG_SZ digits (a category row such as \"0\" or \"-1\")\n"},
             {"set kest_kindcsl 3rows", "kestrel-reg: kest_kindcsl must be REG_SZ digits (a category row such as "
                                        "\"0\" or \"-1\")\n"},
             {"set --type dword kest_datafile 1",
              "kestrel-reg: kest_datafile must be REG_SZ text of at most 1023 bytes\n"},
             {"set kest_lockmins -1", "kestrel-reg: kest_lockmins must be REG_SZ digits (idle minutes until the "
                                      "window locks, 0 for never)\n"},
             {"set KEST_BACKUPS 5 --type dword",
              "kestrel-reg: kest_backups must be REG_SZ digits (backups kept, 0 for none)\n"}}) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 1) << args;
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(stored(kSub, "log_type"), (Stored{reg::REG_SZ, {"1\0", 2}}));
}

TEST_F(Cli, BadUsageIsStatusTwoAndHelpIsStatusZero)
{
    for (const char* args : {"", "frobnicate", "get a b", "set a b --type text", "set a 12 --type dword --regedit4",
                             "set a abc --type binary", "set a 4294967296 --type dword", "list --key", "list --bogus",
                             "list --key HKEY_CLASSES_ROOT\\x"}) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_TRUE(result.err.starts_with("kestrel-reg: ")) << result.err;
        EXPECT_TRUE(result.err.ends_with("\nTry 'kestrel-reg --help' for more information.\n")) << result.err;
    }
    EXPECT_FALSE(key_exists(kSub));
    const Result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: kestrel-reg COMMAND"));
    EXPECT_EQ(run("--version").out, "kestrel-reg " KESTREL_VERSION "\n");
}
