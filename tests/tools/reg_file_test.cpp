// Reading and writing .reg files: the registry editor's two forms, exact bytes.
#include "reg_samples.h"
#include "test_env.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "tools/reg/reg_reader.h"
#include "tools/reg/reg_writer.h"

#include <gtest/gtest.h>

using namespace kreg;
using samples::utf16_file;

namespace {

// Each case runs in a temporary folder of its own with the registry pointed into it.
using RegFile = TempDirTest;
using RegReader = TempDirTest;
using RegWriter = TempDirTest;

RegDocument read_ok(const std::string& bytes)
{
    RegDocument doc;
    ReadError error;
    EXPECT_TRUE(read_reg_file(bytes, doc, error)) << error.line << ": " << error.message;
    return doc;
}

ReadError read_fails(const std::string& bytes)
{
    RegDocument doc;
    ReadError error;
    EXPECT_FALSE(read_reg_file(bytes, doc, error));
    return error;
}

void expect_value(const RegValue& value, const std::string& name, uint32_t type, const std::string& data)
{
    EXPECT_EQ(value.name, name);
    EXPECT_FALSE(value.remove);
    EXPECT_EQ(value.type, type) << name;
    EXPECT_EQ(value.data, data) << name;
}

} // namespace

TEST_F(RegFile, ReadsTheRegistryEditorsVersion5ExportAndWritesItBack)
{
    RegDocument doc = read_ok(utf16_file(samples::windows_export()));
    EXPECT_EQ(doc.format, RegFormat::Version5);
    ASSERT_EQ(doc.keys.size(), 2u);
    const RegKey& key = doc.keys[0];
    EXPECT_EQ(key.path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\qelt_key_yoyaku");
    EXPECT_EQ(key.line, 4);
    ASSERT_EQ(key.values.size(), 8u);
    expect_value(key.values[0], "", reg::REG_SZ, std::string("\x8A\xF9\x92\xE8\0", 5));
    expect_value(key.values[1], "kest_datafile", reg::REG_SZ,
                 std::string("C:\\Users\\\x91\xBE\x98\x59\\\x8B\x4C\x98\x5E.dat\0", 23));
    expect_value(key.values[2], "kest_kindcsl", reg::REG_SZ, std::string("3\0", 2));
    expect_value(key.values[3], "quoted", reg::REG_SZ, std::string("say \"hi\"\0", 9));
    expect_value(key.values[4], "log_type", reg::REG_DWORD, std::string("\x2A\0\0\0", 4));
    expect_value(key.values[5], "kest_passwrd", reg::REG_BINARY, samples::password_abc());
    EXPECT_EQ(key.values[5].line, 10);
    // hex(2) text is UTF-16LE in a Version 5 file and is stored as CP932.
    expect_value(key.values[6], "expand", reg::REG_EXPAND_SZ, std::string("%TEMP%\\\x93\xFA\x96\x7B\0", 12));
    EXPECT_EQ(key.values[7].line, 53); // after 42 lines of one value

    // Written back, it is the registry editor's file again, less the comment.
    std::string bytes, error;
    ASSERT_TRUE(write_reg_file(doc, bytes, error)) << error;
    std::string expected = samples::windows_export();
    expected.erase(expected.find("; moved"), std::string("; moved from the office machine\r\n").size());
    EXPECT_EQ(bytes, utf16_file(expected));
}

TEST_F(RegReader, ReadsRegedit4InCp932AndUtf8WithItsBom)
{
    const std::string cp932 = "REGEDIT4\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\x83\x5C\x83\x74\x83\x67]\r\n" // ソフト
                              "\"\x83\x8D\x83\x4F\"=\"\x93\xFA\x96\x7B\x8C\xEA\"\r\n"        // "ログ"="日本語"
                              "\"multi\"=hex(7):61,00,95,5c,00,00\r\n";
    const std::string utf8 = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ソフト]\n\"ログ\"=\"日本語\"\n"
                             "\"multi\"=hex(7):61,00,95,5c,00,00\n";
    for (const std::string& bytes : {cp932, "\xEF\xBB\xBF" + utf8}) {
        RegDocument doc = read_ok(bytes);
        EXPECT_EQ(doc.format, RegFormat::Regedit4);
        ASSERT_EQ(doc.keys.size(), 1u);
        EXPECT_EQ(doc.keys[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\x83\x5C\x83\x74\x83\x67");
        ASSERT_EQ(doc.keys[0].values.size(), 2u);
        expect_value(doc.keys[0].values[0], "\x83\x8D\x83\x4F", reg::REG_SZ,
                     std::string("\x93\xFA\x96\x7B\x8C\xEA\0", 7));
        // hex(7) in a REGEDIT4 file is CP932 already.
        expect_value(doc.keys[0].values[1], "multi", reg::REG_MULTI_SZ, std::string("a\0\x95\x5C\0\0", 6));
    }

    // Without a byte order mark a REGEDIT4 file is CP932, also where its bytes
    // happen to be valid UTF-8: ﾂｧ (C2 A7) is not read as §.
    RegDocument doc =
        read_ok("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\r\n\"kest_datafile\"=\"/home/u/\xC2\xA7.dat\"\r\n");
    ASSERT_EQ(doc.keys.size(), 1u);
    ASSERT_EQ(doc.keys[0].values.size(), 1u);
    expect_value(doc.keys[0].values[0], "kest_datafile", reg::REG_SZ, std::string("/home/u/\xC2\xA7.dat\0", 15));
    // A hand-written Version 5 file without one is still read as UTF-8.
    doc = read_ok("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\n\"a\"=\"§\"\n");
    expect_value(doc.keys[0].values[0], "a", reg::REG_SZ, std::string("\x81\x98\0", 3));
}

TEST_F(RegReader, ReportsTheFirstBadLine)
{
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\r\n";
    for (const auto& [text, line, message] : std::vector<std::tuple<std::string, int, std::string>>{
             {"REGEDIT5\r\n", 1, "not a registry file"},
             {"REGEDIT4\r\n\"a\"=\"b\"\r\n", 2, "value before the first key"},
             {head + "\"a\"=\"unterminated\r\n", 4, "text without a closing quote"},
             {head + "\"a\"=hex:00,01,\\\r\n  02,zz,03\r\n", 5, "bad byte \"zz\" in hex data"},
             {head + "\"a\"=hex:00,,01\r\n", 4, "bad byte \"\" in hex data"},
             {head + "\"a\"=dword:123456789\r\n", 4, "dword: needs 1 to 8 hex digits"},
             {head + "\"a\"=\"😀\"\r\n", 4, "text cannot be written in CP932"},
             {head + "\"a\"=hex(2):41\r\n", 4, "text in hex(2) data is not UTF-16LE that CP932 can hold"},
             {head + "junk\r\n", 4, "unrecognised line"},
             {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\y\r\n", 4, "key name without a closing ]"},
             // Cut off: a continuation with nothing after it, a last value without its line end.
             {head + "\"a\"=hex:00,01,\\\r\n", 4, "the file ends inside this value"},
             {head + "\"a\"=hex:00,01,\\\r\n; comment\r\n", 4, "the file ends inside this value"},
             {head + "\"a\"=dword:0000", 4, "the file ends inside this value"},
             {head + "\"a\"=hex:00,\\\r\n  01", 4, "the file ends inside this value"},
             {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]\r\n\"a\"=\"b\"", 3, "the file ends inside this value"}}) {
        const ReadError error = read_fails(text);
        EXPECT_EQ(error.line, line) << text;
        EXPECT_TRUE(error.message.starts_with(message)) << error.message;
    }
    EXPECT_EQ(read_fails(utf16_file(head) + "\x3D\xD8").line, 4); // half a surrogate pair

    // Limits that keep memory bounded, in either encoding.
    std::string wrapped_hex = "\"a\"=hex:";
    for (int line = 0; line < 45000; ++line) // 25 bytes a line: over 1 MiB in all
        wrapped_hex += "00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n  ";
    for (const auto& [text, line, message] : std::vector<std::tuple<std::string, int, std::string>>{
             {utf16_file(head + "\"na" + std::string(1, '\0') + "me\"=\"x\"\r\n"), 4,
              "value name holds a NUL character"},
             {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\a" + std::string(1, '\0') + "b]\r\n", 4,
              "key name holds a NUL character"},
             {head + "\"a\"=\"" + std::string(1024 * 1024, 'x') + "\"\r\n", 4, "value data larger than 1 MiB"},
             {head + wrapped_hex + "00\r\n", 4, "value data larger than 1 MiB"},
             {head + "; " + std::string(9 * 1024 * 1024, 'x') + "\r\n", 4, "line longer than 8 MiB"}}) {
        const ReadError error = read_fails(text);
        EXPECT_EQ(error.line, line) << message;
        EXPECT_EQ(error.message.substr(0, message.size()), message);
    }
    // A last key line or comment without a line end loses nothing.
    EXPECT_EQ(read_ok(head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\y]").keys.size(), 2u);
    EXPECT_EQ(read_ok(head + "\"a\"=\"b\"\r\n; end").keys[0].values.size(), 1u);
}

TEST_F(RegWriter, WritesRegedit4InCp932AndTextThatIsNotOneLineAsHex)
{
    RegKey key{0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\x95\x5C", false, {}};
    key.values = {{0, "\x83\x8D\x83\x4F", false, reg::REG_SZ, std::string("\x93\xFA\0", 3)},
                  {0, "lines", false, reg::REG_SZ, std::string("a\r\nb\0", 5)},
                  {0, "unterminated", false, reg::REG_SZ, "ab"},
                  {0, "bad", false, reg::REG_SZ, std::string("\x81\0", 2)}};
    RegDocument doc{RegFormat::Regedit4, {key}};
    std::string bytes, error;
    ASSERT_TRUE(write_reg_file(doc, bytes, error)) << error;
    EXPECT_EQ(bytes, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\\x95\x5C]\r\n"
                     "\"\x83\x8D\x83\x4F\"=\"\x93\xFA\"\r\n"
                     "\"lines\"=hex(1):61,0d,0a,62,00\r\n"
                     "\"unterminated\"=hex(1):61,62\r\n"
                     "\"bad\"=hex(1):81,00\r\n\r\n");

    // Version 5 needs the text as UTF-16LE: bytes that are not CP932 are refused.
    doc.format = RegFormat::Version5;
    EXPECT_FALSE(write_reg_file(doc, bytes, error));
    EXPECT_EQ(error, "value \"bad\" holds bytes that are not CP932 text");
    doc.keys[0].values.pop_back();
    ASSERT_TRUE(write_reg_file(doc, bytes, error));
    EXPECT_NE(bytes.find(utf16_file("\"lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n").substr(2)),
              std::string::npos);
}

namespace {

// Every character that CP932 holds: the single bytes (but zero), and the double bytes.
std::vector<std::string> cp932_characters()
{
    std::vector<std::string> characters;
    std::string ignored;
    for (int first = 1; first < 0x100; ++first) {
        const std::string one(1, static_cast<char>(first));
        if (cp932::to_utf8(one, ignored))
            characters.push_back(one);
        for (int second = 0x40; second < 0x100 && cp932::is_lead_byte(static_cast<unsigned char>(first)); ++second) {
            const std::string two = one + static_cast<char>(second);
            if (cp932::to_utf8(two, ignored))
                characters.push_back(two);
        }
    }
    return characters;
}

} // namespace

TEST_F(RegFile, EveryCp932CharacterComesBackAsTheSameBytes)
{
    const std::vector<std::string> characters = cp932_characters();
    ASSERT_GT(characters.size(), 9700u); // 190 single bytes and some 9,600 double bytes
    std::string all;
    for (const std::string& c : characters)
        all += c;
    // Names and key names too: 0x5C second bytes, the NEC and IBM duplicates.
    const std::string name = "\x95\x5C\x87\x90\x81\xE0\xED\x40\xFA\x5C\xFA\x54\x81\xCA\xB1";
    RegKey key{0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + name, false, {}};
    key.values = {{0, name, false, reg::REG_SZ, all + '\0'}, {0, "multi", false, reg::REG_MULTI_SZ, all + '\0' + '\0'}};
    RegDocument doc{RegFormat::Regedit4, {key}};
    std::string bytes, error;
    ASSERT_TRUE(write_reg_file(doc, bytes, error)) << error;
    RegDocument back = read_ok(bytes);
    ASSERT_EQ(back.keys.size(), 1u);
    EXPECT_EQ(back.keys[0].path, key.path);
    ASSERT_EQ(back.keys[0].values.size(), 2u);
    expect_value(back.keys[0].values[0], name, reg::REG_SZ, all + '\0');
    expect_value(back.keys[0].values[1], "multi", reg::REG_MULTI_SZ, all + '\0' + '\0');

    // UTF-16LE keeps one form of each duplicate: a Version 5.00 file takes
    // every character back exactly or refuses it, never changing it.
    size_t refused = 0;
    for (const std::string& c : characters) {
        RegDocument one{RegFormat::Version5, {{0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\x", false, {}}}};
        one.keys[0].values = {{0, "v", false, reg::REG_SZ, c + '\0'}};
        if (!write_reg_file(one, bytes, error)) {
            EXPECT_TRUE(error.ends_with("cannot keep exactly (use REGEDIT4)")) << error;
            ++refused;
            continue;
        }
        RegDocument again = read_ok(bytes);
        ASSERT_EQ(again.keys.at(0).values.size(), 1u);
        EXPECT_EQ(again.keys[0].values[0].data, c + '\0');
    }
    EXPECT_GT(refused, 0u);
    EXPECT_LT(refused, 500u);
    // ≒ (NEC row 13) and the NEC-selected IBM 纊 are refused; their twins 81E0 and FA5C are not.
    for (const auto& [c, kept] :
         {std::pair{"\x87\x90", false}, {"\xED\x40", false}, {"\x81\xE0", true}, {"\xFA\x5C", true}}) {
        RegDocument one{RegFormat::Version5, {{0, "HKEY_LOCAL_MACHINE\\SOFTWARE\\x", false, {}}}};
        one.keys[0].values = {{0, "v", false, reg::REG_SZ, std::string(c) + '\0'}};
        EXPECT_EQ(write_reg_file(one, bytes, error), kept);
    }
}
