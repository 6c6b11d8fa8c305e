// The kestrel-reg command line: exit status, messages, UTF-8 <-> CP932.
#include "test_env.h"

#include "platform/registry.h"
#include "tools/cli.h"

#include <sstream>

namespace {

struct Result
{
    int status;
    std::string out;
    std::string err;
};

Result run(std::vector<std::string> args)
{
    args.insert(args.begin(), "kestrel-reg");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    int status = kreg::run_cli(static_cast<int>(args.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

std::string raw_value(const char* name, uint32_t* type = nullptr)
{
    reg::KeyHandle key;
    if (reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key) != reg::Status::Ok)
        return "(no key)";
    char data[2048];
    uint32_t size = sizeof data;
    reg::Status status = reg::query_value(key, name, type, data, &size);
    reg::close_key(key);
    return status == reg::Status::Ok ? std::string(data, size) : "(no value)";
}

} // namespace

class Cli : public TempDirTest
{
};

TEST_F(Cli, SetStoresCp932AsTheProgramDoesAndGetShowsUtf8)
{
    EXPECT_EQ(run({"set", "log_name", "/tmp/ログ.txt"}).status, 0);
    uint32_t type = 0;
    EXPECT_EQ(raw_value("log_name", &type), std::string("/tmp/\x83\x8D\x83\x4F.txt\0", 14));
    EXPECT_EQ(type, reg::REG_SZ);
    EXPECT_EQ(run({"set", "--type", "binary", "kest_passwrd", "e9,d9,c9"}).status, 0);
    EXPECT_EQ(raw_value("kest_passwrd", &type), "\xE9\xD9\xC9");
    EXPECT_EQ(type, reg::REG_BINARY);
    EXPECT_EQ(run({"set", "n", "--type=dword", "--", "-1"}).status, 0);
    EXPECT_EQ(raw_value("n", &type), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(type, reg::REG_DWORD);
    EXPECT_EQ(run({"set", "log_type", "0x2a", "--type", "dword"}).status, 0);

    Result list = run({"list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "kest_passwrd\tREG_BINARY\te9d9c9\n"
                        "log_name\tREG_SZ\t/tmp/ログ.txt\n"
                        "log_type\tREG_DWORD\t42\n"
                        "n\tREG_DWORD\t4294967295\n");
    EXPECT_EQ(run({"get", "LOG_NAME"}).out, "/tmp/ログ.txt\n");

    EXPECT_EQ(run({"delete", "n"}).status, 0);
    EXPECT_EQ(raw_value("n"), "(no value)");
}

TEST_F(Cli, RefusalsAreOneLineWithStatusOne)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"set", "log_name", "/tmp/😀"}, "kestrel-reg: text cannot be written in CP932: /tmp/😀\n"},
        {{"set", "한", "x"}, "kestrel-reg: value name cannot be written in CP932: 한\n"},
        {{"delete", "nothing"}, "kestrel-reg: no value nothing in HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku\n"},
        {{"import", "none.reg"}, "kestrel-reg: cannot read none.reg: No such file or directory\n"},
    };
    Result no_key = run({"get", "log_type"});
    EXPECT_EQ(no_key.status, 1);
    EXPECT_EQ(no_key.err, "kestrel-reg: no key HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku\n");
    ASSERT_EQ(run({"set", "log_type", "1"}).status, 0);
    for (const auto& [args, message] : cases) {
        Result result = run(args);
        EXPECT_EQ(result.status, 1) << args[0];
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(result.out, "");
    }
    Result missing = run({"get", "log_type", "--key", "HKLM\\SOFTWARE\\other"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kestrel-reg: no key HKLM\\SOFTWARE\\other\n");
    EXPECT_EQ(raw_value("log_type"), std::string("1\0", 2)); // nothing was changed by a refusal
}

TEST_F(Cli, BadUsageIsStatusTwoAndHelpIsStatusZero)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"get"},
             {"get", "a", "b"},
             {"set", "a", "b", "--type", "text"},
             {"set", "a", "12", "--type", "dword", "--regedit4"},
             {"set", "a", "abc", "--type", "binary"},
             {"set", "a", "4294967296", "--type", "dword"},
             {"list", "--key"},
             {"list", "--bogus"},
             {"list", "--key", "HKEY_CLASSES_ROOT\\x"},
         }) {
        Result result = run(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_TRUE(result.err.starts_with("kestrel-reg: ")) << result.err;
        EXPECT_TRUE(result.err.ends_with("\nTry 'kestrel-reg --help' for more information.\n")) << result.err;
    }
    EXPECT_EQ(raw_value("a"), "(no key)");
    Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: kestrel-reg COMMAND"));
    EXPECT_EQ(run({"--version"}).out, "kestrel-reg " KESTREL_VERSION "\n");
}
