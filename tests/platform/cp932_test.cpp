#include "platform/cp932.h"

#include "test_env.h"

#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

const std::string kKestrel = "\x83\x50\x83\x58\x83\x67\x83\x8C\x83\x8B"; // ケストレル
const std::string kSocket = "\xBF\xB9\xAF\xC4";                          // ｿｹｯﾄ (half-width)

} // namespace

TEST(Cp932, ConvertsBothWaysAndRefusesWhatItCannotHold)
{
    std::string utf8;
    ASSERT_TRUE(cp932::to_utf8(kKestrel + " " + kSocket + "\r\n", utf8));
    EXPECT_EQ(utf8, "ケストレル ｿｹｯﾄ\r\n");
    std::string back;
    ASSERT_TRUE(cp932::from_utf8(utf8 + "ソ表 C:\\dir", back));
    EXPECT_EQ(back, kKestrel + " " + kSocket + "\r\n\x83\x5C\x95\x5C C:\\dir"); // second bytes 0x5C kept

    for (const char* refused : {"record 😀", "한국어", "\xFF\xFE"})
        EXPECT_FALSE(cp932::from_utf8(refused, back)) << refused;
    EXPECT_FALSE(cp932::representable("😀"));
    EXPECT_TRUE(cp932::representable("日本語 ｱｲｳ abc"));
    EXPECT_FALSE(cp932::to_utf8("abc\x81", utf8)); // lead byte without its second byte
    EXPECT_FALSE(cp932::to_utf8("\x81\x20", utf8));
}

TEST(Cp932, Utf16AndUtf8ConvertExactly)
{
    std::string out;
    ASSERT_TRUE(cp932::utf8_to_utf16le("A日本", out));
    EXPECT_EQ(out, std::string("A\0\xE5\x65\x2C\x67", 6));
    ASSERT_TRUE(cp932::from_utf16le(std::string("\xE5\x65\x2C\x67\0\0", 6), out));
    EXPECT_EQ(out, std::string("\x93\xFA\x96\x7B\0", 5));
    ASSERT_TRUE(cp932::to_utf16le(std::string("\x95\x5C", 2), out)); // 表: trail byte 0x5C
    EXPECT_EQ(out, "\x68\x88");
    EXPECT_FALSE(cp932::from_utf16le(std::string("\x3D\xD8\x00\xDE", 4), out)); // an emoji: no CP932 form
    EXPECT_FALSE(cp932::utf16le_to_utf8("abc", out));                           // odd byte count
    EXPECT_FALSE(cp932::utf16le_to_utf8(std::string("\x3D\xD8", 2), out));      // half a surrogate pair
    EXPECT_FALSE(cp932::is_utf8("\x93\xFA"));
    EXPECT_TRUE(cp932::is_utf8("\xC2\xA7"));
}

// The table decoder against iconv on whole texts: every byte and every pair
// of bytes, between other characters, comes out as iconv converts the text,
// or is refused where iconv refuses it.
TEST(Cp932, Utf16FromTheTableIsIconvsForEveryByteAndPair)
{
    std::string expected;
    std::u16string got;
    int differing = 0;
    int refused = 0;
    for (int code = 0; code < 0x10000; ++code) {
        std::string middle;
        if (code >= 0x100)
            middle += static_cast<char>(code >> 8);
        middle += static_cast<char>(code & 0xFF);
        const std::string text = "a" + middle + "\xB1" + middle; // a, the bytes, ｱ, the bytes
        got.assign(text.size(), u'\0');
        const std::size_t units = cp932::to_utf16(text, got.data());
        const bool ok = cp932::to_utf16le(text, expected);
        if (!ok)
            ++refused;
        const std::u16string wanted(reinterpret_cast<const char16_t*>(expected.data()), expected.size() / 2);
        if (ok != (units != std::string_view::npos) || (ok && got.substr(0, units) != wanted))
            ++differing;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(refused, 10000); // a lead byte before most second bytes is no character
    EXPECT_EQ(cp932::to_utf16("abc\x81", got.data()), std::string_view::npos);
    EXPECT_EQ(cp932::to_utf16(kKestrel, got.data()), 5u);
    EXPECT_EQ(got.substr(0, 5), u"ケストレル");
}

TEST(Cp932, CutNeverSplitsADoubleByteCharacter)
{
    const char* text = "ab\x93\xFA\xB1"; // a b 日 ｱ
    const size_t expected[] = {0, 1, 2, 2, 4, 5, 5};
    for (size_t limit = 0; limit < 7; ++limit)
        EXPECT_EQ(cp932::cut_length(text, limit), expected[limit]) << limit;
    EXPECT_EQ(cp932::cut_length("a\x93", 10), 1u); // a dangling lead byte is not kept

    char dst[4];
    std::memset(dst, 'z', sizeof dst);
    EXPECT_EQ(cp932::copy_cut(dst, sizeof dst, text), 2u);
    EXPECT_EQ(std::string(dst, 4), std::string("ab\0z", 4));
    EXPECT_EQ(cp932::copy_cut(dst, 1, text), 0u);
    EXPECT_EQ(dst[0], '\0');
    // Text that fits comes back byte for byte, even ending in a lone lead byte.
    EXPECT_EQ(cp932::copy_cut(dst, sizeof dst, "a\x93"), 2u);
    EXPECT_EQ(std::string(dst), "a\x93");
}

class Cp932File : public TempDirTest
{
};

TEST_F(Cp932File, OpensByCp932PathAndCreatesPrivateFiles)
{
    const std::string path = (dir() / "").string() + kKestrel + ".txt";
    const std::filesystem::path native = dir() / "ケストレル.txt";
    mode_t old = umask(0);
    for (const char* line : {"one\n", "two\n"}) {
        FILE* file = cp932::fopen_path(path.c_str(), "a+");
        ASSERT_NE(file, nullptr);
        std::fputs(line, file);
        std::fclose(file);
    }
    umask(old);
    EXPECT_EQ(testenv::read_file(native), "one\ntwo\n");
    struct stat st;
    ASSERT_EQ(stat(native.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::string utf8;
    ASSERT_TRUE(cp932::native_path(path.c_str(), utf8));
    EXPECT_EQ(utf8, native.string());
    EXPECT_EQ(cp932::fopen_path("", "a+"), nullptr);
    EXPECT_EQ(cp932::fopen_path("bad\x81", "a+"), nullptr);
    EXPECT_EQ(cp932::fopen_path("missing.txt", "r"), nullptr);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 2); // home and the file only
}
