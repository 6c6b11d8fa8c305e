// export and import against the registry store: round trips, the Windows
// redirections, all-or-nothing checking, the record file path.
#include "reg_samples.h"
#include "registry_values.h"
#include "test_env.h"

#include "platform/cp932.h"
#include "tools/reg/reg_commands.h"

#include <iostream>
#include <map>
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

namespace {

// Every value of the key: name -> type and bytes.
std::map<std::string, Stored> values_of(const char* subkey)
{
    std::map<std::string, Stored> values;
    reg::KeyHandle key;
    if (reg::open_key(reg::Hive::LocalMachine, subkey, &key) != reg::Status::Ok)
        return values;
    const std::vector<std::string> names = reg::value_names(key);
    reg::close_key(key);
    for (const std::string& name : names)
        values[name] = *stored(subkey, name);
    return values;
}

} // namespace

TEST_F(ImportExport, AFileCutAnywhereImportsWholeValuesOrNothing)
{
    // The registry editor's Version 5.00 export, and the REGEDIT4 export of
    // what it holds (with a record file path whose CP932 bytes are also UTF-8).
    const std::string version5 = samples::utf16_file(samples::windows_export());
    std::ostringstream sink;
    testenv::write_file(path("full.reg"), version5);
    import_file("full.reg", {}, kKey, std::cin, sink);
    store(kSub, "kest_datafile", reg::REG_SZ, std::string("/home/u/\xC2\xA7.dat\0", 15));
    export_key(kKey, RegFormat::Regedit4, "regedit4.reg", sink);
    const std::string regedit4 = testenv::read_file(path("regedit4.reg"));

    for (const std::string* sample : {&version5, &regedit4}) {
        std::filesystem::remove_all(registryRoot());
        testenv::write_file(path("full.reg"), *sample);
        import_file("full.reg", {}, kKey, std::cin, sink);
        const std::map<std::string, Stored> full = values_of(kSub);
        ASSERT_EQ(full.at("kest_passwrd"), (Stored{reg::REG_BINARY, samples::password_abc()}));
        if (sample == &regedit4) {
            ASSERT_EQ(full.at("kest_datafile"), (Stored{reg::REG_SZ, std::string("/home/u/\xC2\xA7.dat\0", 15)}));
        }

        size_t imported = 0;
        std::filesystem::remove_all(registryRoot());
        for (size_t cut = 0; cut < sample->size(); ++cut) {
            std::istringstream in(sample->substr(0, cut));
            try {
                import_file("-", {}, kKey, in, sink);
            } catch (const Refused&) {
                ASSERT_FALSE(key_exists(kSub)) << "refused at " << cut << " but imported something";
                continue;
            }
            ++imported;
            for (const auto& [name, value] : values_of(kSub))
                ASSERT_EQ(value, full.at(name)) << name << " differs when cut at " << cut;
            std::filesystem::remove_all(registryRoot());
        }
        // Only cuts at whole lines that end no value inside import; a
        // value's own lines are never all of it but the last.
        EXPECT_GT(imported, 0u);
        EXPECT_LT(imported, sample->size() / 20);
    }
}

TEST_F(ImportExport, ImportOptionsReplaceWindowsPathsAndCheckWhatTheyName)
{
    const std::string file = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n"
                             "\"kest_datafile\"=\"C:\\\\data\\\\k.dat\"\r\n"
                             "\"kest_cwdpath\"=\"\\\\\\\\server\\\\share\"\r\n"
                             "\"log_name\"=\"c:/logs/kestrel.log\"\r\n";
    testenv::write_file(path("win.reg"), file);
    std::ostringstream warnings;
    import_file("win.reg", {}, kKey, std::cin, warnings);
    EXPECT_EQ(warnings.str(),
              "kestrel-reg: warning: win.reg:4: kest_datafile holds the Windows path C:\\data\\k.dat, which kestrel "
              "cannot use: give the path on this machine with --datafile PATH\n"
              "kestrel-reg: warning: win.reg:5: kest_cwdpath holds the Windows path \\\\server\\share, which kestrel "
              "cannot use: give the path on this machine with --cwdpath PATH\n"
              "kestrel-reg: warning: win.reg:6: log_name holds the Windows path c:/logs/kestrel.log, which kestrel "
              "cannot use: give the path on this machine with --logname PATH\n");

    // A copied record file that others can read is made private.
    std::filesystem::create_directory(path("logs"));
    testenv::write_file(path("copied.dat"), std::string(4, '\0'));
    std::filesystem::permissions(path("copied.dat"), std::filesystem::perms(0644));
    std::ostringstream notices;
    import_file("win.reg", {.datafile = "copied.dat", .cwdpath = "logs", .logname = "logs/../logs/k.log"}, kKey,
                std::cin, notices);
    EXPECT_EQ(notices.str(),
              "kestrel-reg: copied.dat could be read by others; it is now readable by its owner only (0600)\n");
    EXPECT_EQ(std::filesystem::status(path("copied.dat")).permissions(), std::filesystem::perms(0600));
    const std::string here = dir().string();
    EXPECT_EQ(stored(kSub, "kest_datafile"), (Stored{reg::REG_SZ, here + "/copied.dat" + '\0'}));
    EXPECT_EQ(stored(kSub, "kest_cwdpath"), (Stored{reg::REG_SZ, here + "/logs" + '\0'}));
    EXPECT_EQ(stored(kSub, "log_name"), (Stored{reg::REG_SZ, here + "/logs/k.log" + '\0'}));

    for (const auto& [options, message] : std::vector<std::pair<ImportOptions, std::string>>{
             {{.datafile = "logs"}, "--datafile logs is not a regular file"},
             {{.datafile = "missing/k.dat"},
              "--datafile missing/k.dat: the folder " + here + "/missing does not exist"},
             {{.datafile = "C:\\k.dat"}, "--datafile C:\\k.dat is a Windows path: give the path on this machine"},
             {{.cwdpath = "copied.dat"}, "--cwdpath copied.dat is not a folder"},
             {{.logname = "none/k.log"}, "--logname none/k.log: the folder " + here + "/none does not exist"}}) {
        try {
            import_file("win.reg", options, kKey, std::cin, notices);
            ADD_FAILURE() << message;
        } catch (const Refused& refused) {
            EXPECT_EQ(refused.what(), message);
        }
    }
}

TEST_F(ImportExport, KestrelsValuesWithTheWrongTypeOrSizeImportNothing)
{
    const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\qelt_key_yoyaku]\r\n"
                             "\"log_type\"=\"2\"\r\n";
    for (const auto& [line, message] : std::vector<std::pair<std::string, std::string>>{
             {"\"kest_passwrd\"=hex:e9,d9,c9,ff,ff\r\n", "kest_passwrd must be 1024 bytes of REG_BINARY"},
             {"\"KEST_PASSWRD\"=\"abc\"\r\n", "kest_passwrd must be 1024 bytes of REG_BINARY"},
             {"\"kest_kindcsl\"=dword:00000003\r\n", "kest_kindcsl must be REG_SZ digits"},
             {"\"kest_kindcsl\"=\"3 rows\"\r\n", "kest_kindcsl must be REG_SZ digits"},
             {"\"kest_datafile\"=hex:2f,61\r\n", "kest_datafile must be REG_SZ text"},
             {"\"log_name\"=hex(1):2f,00,61,00\r\n", "log_name must be REG_SZ text"},
             {"\"kest_cwdpath\"=\"" + std::string(1024, 'a') + "\"\r\n", "kest_cwdpath must be REG_SZ text"}}) {
        testenv::write_file(path("bad.reg"), head + line);
        try {
            import_file("bad.reg", {}, kKey, std::cin, std::cerr);
            ADD_FAILURE() << line;
        } catch (const Refused& refused) {
            EXPECT_TRUE(std::string(refused.what()).starts_with("bad.reg:5: " + message)) << refused.what();
        }
        EXPECT_FALSE(key_exists(kSub));
    }
    // The same values elsewhere are no business of kestrel's.
    testenv::write_file(path("other.reg"),
                        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\other]\r\n\"kest_passwrd\"=\"x\"\r\n");
    import_file("other.reg", {}, kKey, std::cin, std::cerr);
    EXPECT_EQ(stored("SOFTWARE\\other", "kest_passwrd"), (Stored{reg::REG_SZ, {"x\0", 2}}));
}

TEST_F(ImportExport, ExportReplacesItsTargetWhole)
{
    store(kSub, "log_type", reg::REG_SZ, std::string("2\0", 2));
    testenv::write_file(path("out.reg"), std::string(10000, 'x'));
    std::ostringstream unused;
    export_key(kKey, RegFormat::Regedit4, "out.reg", unused);
    EXPECT_EQ(testenv::read_file(path("out.reg")),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n\"log_type\"=\"2\"\r\n\r\n");
    EXPECT_THROW(export_key(kKey, RegFormat::Regedit4, "missing/out.reg", unused), Refused);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u); // no temporary file left behind
}

TEST_F(ImportExport, AVersion5FileOfThousandsOfValuesComesBackWhole)
{
    // UTF-16LE lines cross the reader's buffer at odd places.
    std::map<std::string, Stored> values;
    for (int i = 0; i < 5000; ++i) {
        const std::string name = "v" + std::to_string(i) + std::string(i % 7, 'x');
        values[name] = {reg::REG_SZ, "\x83\x8D" + std::string(i % 13, 'y') + '\0'};
        if (i % 3 == 0)
            values[name] = {reg::REG_BINARY, std::string(i % 40, static_cast<char>(i))};
    }
    for (const auto& [name, value] : values)
        store("SOFTWARE\\many", name, value.type, value.data);
    std::ostringstream unused;
    export_key("HKEY_LOCAL_MACHINE\\SOFTWARE\\many", RegFormat::Version5, "many.reg", unused);
    ASSERT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, "SOFTWARE\\many"), reg::Status::Ok);
    import_file("many.reg", {}, kKey, std::cin, std::cerr);
    EXPECT_EQ(values_of("SOFTWARE\\many"), values);
}
