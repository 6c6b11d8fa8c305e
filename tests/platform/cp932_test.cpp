#include "platform/cp932.h"

#include "test_env.h"

#include <cstring>
#include <sys/stat.h>

namespace {

const std::string kKestrelCp932 = "\x83\x50\x83\x58\x83\x67\x83\x8C\x83\x8B"; // ケストレル
const std::string kSocketCp932 = "\xBF\xB9\xAF\xC4";                          // ｿｹｯﾄ (half-width)

} // namespace

TEST(Cp932, ConvertsJapaneseTextBothWays)
{
    std::string utf8;
    ASSERT_TRUE(cp932::to_utf8(kKestrelCp932 + " " + kSocketCp932 + "\r\n", utf8));
    EXPECT_EQ(utf8, "ケストレル ｿｹｯﾄ\r\n");

    std::string back;
    ASSERT_TRUE(cp932::from_utf8(utf8, back));
    EXPECT_EQ(back, kKestrelCp932 + " " + kSocketCp932 + "\r\n");

    ASSERT_TRUE(cp932::from_utf8("ソ表 C:\\dir", back));
    EXPECT_EQ(back, "\x83\x5C\x95\x5C C:\\dir");
    ASSERT_TRUE(cp932::to_utf8(std::string(), utf8));
    EXPECT_EQ(utf8, "");
}

TEST(Cp932, RefusesWhatCannotBeConverted)
{
    std::string out;
    EXPECT_FALSE(cp932::from_utf8("record 😀", out));
    EXPECT_FALSE(cp932::from_utf8("한국어", out));
    EXPECT_FALSE(cp932::from_utf8("\xFF\xFE", out)); // not UTF-8
    EXPECT_FALSE(cp932::representable("😀"));
    EXPECT_TRUE(cp932::representable("日本語 ｱｲｳ abc"));
    EXPECT_FALSE(cp932::to_utf8("abc\x81", out)); // lead byte without its second byte
    EXPECT_FALSE(cp932::to_utf8("\x81\x20", out));
}

TEST(Cp932, CutNeverSplitsADoubleByteCharacter)
{
    const std::string text = "ab\x93\xFA\xB1"; // a b 日 ｱ
    EXPECT_EQ(cp932::cut_length(text.c_str(), 0), 0u);
    EXPECT_EQ(cp932::cut_length(text.c_str(), 2), 2u);
    EXPECT_EQ(cp932::cut_length(text.c_str(), 3), 2u);
    EXPECT_EQ(cp932::cut_length(text.c_str(), 4), 4u);
    EXPECT_EQ(cp932::cut_length(text.c_str(), 5), 5u);
    EXPECT_EQ(cp932::cut_length(text.c_str(), 100), 5u);
    EXPECT_EQ(cp932::cut_length("a\x93", 10), 1u); // a dangling lead byte is not kept

    char dst[4];
    std::memset(dst, 'z', sizeof dst);
    EXPECT_EQ(cp932::copy_cut(dst, sizeof dst, text.c_str()), 2u);
    EXPECT_EQ(std::string(dst, 3), std::string("ab\0", 3));
    EXPECT_EQ(dst[3], 'z');
    EXPECT_EQ(cp932::copy_cut(dst, 1, text.c_str()), 0u);
    EXPECT_EQ(dst[0], '\0');
}

class Cp932File : public TempDirTest
{
};

TEST_F(Cp932File, OpensByCp932PathAndCreatesPrivateFiles)
{
    mode_t old = umask(0);
    std::string path = (dir() / "").string() + kKestrelCp932 + ".txt";
    FILE* file = cp932::fopen_path(path.c_str(), "a+");
    umask(old);
    ASSERT_NE(file, nullptr);
    std::fputs("one\n", file);
    std::fclose(file);

    std::filesystem::path native = dir() / "ケストレル.txt";
    struct stat st;
    ASSERT_EQ(stat(native.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    file = cp932::fopen_path(path.c_str(), "a+");
    ASSERT_NE(file, nullptr);
    std::fputs("two\n", file);
    std::fclose(file);
    EXPECT_EQ(testenv::read_file(native), "one\ntwo\n");

    std::string utf8;
    ASSERT_TRUE(cp932::native_path(path.c_str(), utf8));
    EXPECT_EQ(utf8, native.string());

    EXPECT_EQ(cp932::fopen_path("", "a+"), nullptr);
    EXPECT_EQ(cp932::fopen_path("bad\x81", "a+"), nullptr);
    EXPECT_EQ(cp932::fopen_path("missing.txt", "r"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir() / "missing.txt"));
}
