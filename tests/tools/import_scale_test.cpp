// kestrel-reg import at scale: many values in one pass, and a file with a bad
// value anywhere stores nothing at all, not even a folder.
#include "registry_values.h"
#include "test_env.h"

#include "tools/reg/reg_commands.h"

#include <iostream>
#include <sstream>

using namespace kreg;

namespace {

const char* const kSub = "SOFTWARE\\bulk";

// A REGEDIT4 file of `count` text values under HKLM\SOFTWARE\bulk, value i on
// line 4 + i; `bad` replaces the line of value `at`.
std::string many_values(int count, int at = -1, const std::string& bad = {})
{
    std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\bulk]\r\n";
    for (int i = 0; i < count; ++i)
        text += i == at ? bad : "\"value_" + std::to_string(i) + "\"=\"text " + std::to_string(i) + "\"\r\n";
    return text;
}

} // namespace

using ImportAtScale = TempDirTest;

TEST_F(ImportAtScale, AHundredThousandValuesImport)
{
    testenv::write_file(path("big.reg"), many_values(100000));
    std::ostringstream warnings;
    import_file("big.reg", {}, kDefaultKey, std::cin, warnings);
    EXPECT_EQ(warnings.str(), "");
    const std::filesystem::path folder = registryRoot() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "bulk";
    auto files = [&folder] {
        return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
    };
    EXPECT_EQ(files(), 100000);
    EXPECT_EQ(stored(kSub, "value_0"), (Stored{reg::REG_SZ, {"text 0\0", 7}}));
    EXPECT_EQ(stored(kSub, "VALUE_99999"), (Stored{reg::REG_SZ, {"text 99999\0", 11}}));

    // Imported again with other case and text: the same values, changed.
    testenv::write_file(path("again.reg"), "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\bulk]\r\n"
                                           "\"VALUE_7\"=\"seven\"\r\n\"value_7\"=\"7\"\r\n\"value_8\"=-\r\n");
    import_file("again.reg", {}, kDefaultKey, std::cin, warnings);
    EXPECT_EQ(files(), 99999); // one deleted, no temporary file left
    EXPECT_EQ(stored(kSub, "value_7"), (Stored{reg::REG_SZ, {"7\0", 2}}));
}

TEST_F(ImportAtScale, ABadValueAnywhereImportsNothing)
{
    constexpr int kCount = 20000;
    const std::string deep = "[HKEY_LOCAL_MACHINE\\SOFTWARE" + [] {
        std::string levels;
        for (int i = 0; i < 600; ++i)
            levels += "\\k";
        return levels;
    }() + "]\r\n";
    const struct
    {
        int at;
        std::string bad;
        std::string message;
    } cases[] = {
        {0, std::string("\"na\0me\"=\"x\"\r\n", 13), "value name holds a NUL character"},
        {kCount / 2, "\"big\"=\"" + std::string(1536 * 1024, 'a') + "\"\r\n", "value data larger than 1 MiB"},
        {kCount - 1, deep, "key deeper than 512 levels, or its path too long for this system"},
        {kCount / 3, "\"" + std::string(300, 'n') + "\"=\"x\"\r\n", "value name too long to be stored"},
        {kCount - 1, "\"x\"=hex:zz\r\n", "bad byte \"zz\" in hex data"},
        {kCount / 2,
         "\"kest_lockmins\"=\"ten\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku]\r\n"
         "\"kest_clipsecs\"=\"30s\"\r\n",
         "kest_clipsecs must be REG_SZ digits (seconds until a copied text leaves the clipboard, 0 for never)"},
    };
    for (const auto& c : cases) {
        testenv::write_file(path("bad.reg"), many_values(kCount, c.at, c.bad));
        const int line = 4 + c.at + (c.message.starts_with("kest_clipsecs") ? 2 : 0);
        try {
            import_file("bad.reg", {}, kDefaultKey, std::cin, std::cerr);
            ADD_FAILURE() << "imported: " << c.message;
        } catch (const Refused& refused) {
            EXPECT_EQ(std::string(refused.what()), "bad.reg:" + std::to_string(line) + ": " + c.message);
        }
        EXPECT_FALSE(std::filesystem::exists(registryRoot())) << c.message;
    }
}
