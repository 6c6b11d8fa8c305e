// export and import against the registry store: round trips, the Windows
// redirections, all-or-nothing checking, the record file path.
#include "reg_samples.h"
#include "registry_values.h"
#include "test_env.h"

#include "platform/cp932.h"
#include "tools/commands.h"

#include <iostream>
#include <sstream>

using namespace kreg;

namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku";
const char* const kSub = "SOFTWARE\\qelt_key_yoyaku";

} // namespace

using ImportExport = TempDirTest;

TEST_F(ImportExport, EveryValueTypeSurvivesExportAndImportInBothForms)
{
    const std::vector<std::pair<std::string, Stored>> values = {
        {"kest_datafile", {reg::REG_SZ, std::string("/home/\x91\xBE\x98\x59/\x8B\x4C\x98\x5E.dat\0", 20)}},
        {"kest_kindcsl", {reg::REG_SZ, std::string("-1\0", 3)}},
        {"kest_passwrd", {reg::REG_BINARY, samples::password_abc()}},
        {"", {reg::REG_SZ, std::string("\0", 1)}},
        {"log_type", {reg::REG_DWORD, std::string("\x03\0\0\0", 4)}},
        {"short_dword", {reg::REG_DWORD, "\x01\x02"}},
        {"expand", {reg::REG_EXPAND_SZ, std::string("%HOME%\\\x95\x5C\0", 10)}},
        {"multi", {reg::REG_MULTI_SZ, std::string("a\0\x83\x8D\x83\x4F\0\0", 8)}},
        {"no_zero", {reg::REG_SZ, "abc"}},
        {"two_lines", {reg::REG_SZ, std::string("a\r\nb\0", 5)}},
        {"qword", {reg::REG_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8)}},
        {"none", {reg::REG_NONE, ""}},
        {"empty_binary", {reg::REG_BINARY, ""}},
        {"\x83\x8D\x83\x4F \"q\" \\", {reg::REG_SZ, std::string("\"\\\0", 3)}},
    };
    for (const auto& [name, value] : values)
        store(kSub, name, value.type, value.data);
    store("SOFTWARE\\qelt_key_yoyaku\\\x95\x5C\\deeper", "x", reg::REG_SZ, std::string("1\0", 2));

    for (RegFormat format : {RegFormat::Version5, RegFormat::Regedit4}) {
        std::ostringstream unused;
        export_key(kKey, format, "key.reg", unused);
        ASSERT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, kSub), reg::Status::Ok);
        import_file("key.reg", {}, kKey, std::cin, std::cerr);
        for (const auto& [name, value] : values)
            EXPECT_EQ(stored(kSub, name), value) << name;
        EXPECT_EQ(stored("SOFTWARE\\qelt_key_yoyaku\\\x95\x5C\\deeper", "x"), (Stored{reg::REG_SZ, {"1\0", 2}}));
    }
}

TEST_F(ImportExport, RedirectedWindowsKeysLandWhereTheProgramReads)
{
    testenv::write_file(path("win.reg"), samples::utf16_file(samples::windows_export()));
    store(kSub, "old", reg::REG_SZ, std::string("x\0", 2));
    store("SOFTWARE\\qelt_key_yoyaku\\obsolete", "y", reg::REG_SZ, std::string("y\0", 2));
    std::ostringstream warnings;
    import_file("win.reg", {}, kKey, std::cin, warnings);
    // The Windows path is stored, with the option that replaces it.
    EXPECT_EQ(warnings.str(), "kestrel-reg: warning: win.reg:6: kest_datafile holds the Windows path "
                              "C:\\Users\\太郎\\記録.dat, which kestrel cannot use: give the path on this "
                              "machine with --datafile PATH\n");
    EXPECT_EQ(stored(kSub, "kest_passwrd"), (Stored{reg::REG_BINARY, samples::password_abc()}));
    EXPECT_EQ(stored(kSub, "log_type"), (Stored{reg::REG_DWORD, {"\x2A\0\0\0", 4}}));
    EXPECT_FALSE(stored(kSub, "old"));
    EXPECT_FALSE(key_exists("SOFTWARE\\qelt_key_yoyaku\\obsolete"));
    EXPECT_FALSE(key_exists("SOFTWARE\\Wow6432Node"));

    testenv::write_file(path("vs.reg"),
                        "REGEDIT4\r\n\r\n"
                        "[HKEY_USERS\\S-1-5-21-1_Classes\\VirtualStore\\MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n"
                        "\"kest_kindcsl\"=\"7\"\r\n"
                        "[HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Wow6432Node\\"
                        "qelt_key_yoyaku\\sub]\r\n"
                        "\"v\"=\"w\"\r\n");
    import_file("vs.reg", {}, kKey, std::cin, std::cerr);
    EXPECT_EQ(stored(kSub, "kest_kindcsl"), (Stored{reg::REG_SZ, {"7\0", 2}}));
    EXPECT_EQ(stored("SOFTWARE\\qelt_key_yoyaku\\sub", "v"), (Stored{reg::REG_SZ, {"w\0", 2}}));
}

TEST_F(ImportExport, AnErrorAnywhereImportsNothing)
{
    const std::string text = "REGEDIT4\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n"
                             "\"log_type\"=\"2\"\r\n"
                             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\kept]\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n";
    store("SOFTWARE\\kept", "k", reg::REG_SZ, std::string("k\0", 2));
    for (const auto& [tail, message] : std::vector<std::pair<std::string, std::string>>{
             {"\"log_name\"=hex:0g\r\n", "bad.reg:6: bad byte \"0g\" in hex data"},
             {"[HKEY_CLASSES_ROOT\\x]\r\n", "bad.reg:6: unsupported root key HKEY_CLASSES_ROOT"},
             {"[-HKEY_LOCAL_MACHINE]\r\n", "bad.reg:6: will not delete a whole root key"}}) {
        testenv::write_file(path("bad.reg"), text + tail + "\"log_name\"=\"/tmp/log\"\r\n");
        try {
            import_file("bad.reg", {.datafile = "/tmp/x.dat"}, kKey, std::cin, std::cerr);
            ADD_FAILURE() << "imported " << tail;
        } catch (const Refused& refused) {
            EXPECT_EQ(std::string(refused.what()), message);
        }
        EXPECT_FALSE(key_exists(kSub));
        EXPECT_TRUE(stored("SOFTWARE\\kept", "k"));
    }
}

TEST_F(ImportExport, DatafileReplacesTheWindowsPathWhenCp932CanHoldIt)
{
    testenv::write_file(path("win.reg"), samples::utf16_file(samples::windows_export()));
    import_file("win.reg", {.datafile = "記録.dat"}, kKey, std::cin, std::cerr);
    std::string cp932_path;
    ASSERT_TRUE(cp932::from_utf8((dir() / "記録.dat").string(), cp932_path));
    EXPECT_EQ(stored(kSub, "kest_datafile"), (Stored{reg::REG_SZ, cp932_path + '\0'}));

    EXPECT_THROW(import_file("win.reg", {.datafile = "/tmp/😀.dat"}, kKey, std::cin, std::cerr), Refused);
    EXPECT_THROW(import_file("win.reg", {.datafile = "/" + std::string(1100, 'a')}, kKey, std::cin, std::cerr),
                 Refused);
}
