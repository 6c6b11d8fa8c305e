#include "commons_test_env.h"

#include <cctype>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::string_view kStampFrame = "0000/00/00 00:00:00"; // 0: any digit

std::string stampNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

bool startsWithStamp(std::string_view line)
{
    if (line.size() < kStampFrame.size())
        return false;
    for (size_t i = 0; i < kStampFrame.size(); ++i)
        if (kStampFrame[i] == '0' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != kStampFrame[i])
            return false;
    return true;
}

} // namespace

void CommonsTest::SetUp()
{
    TempDirTest::SetUp();
    log_name("");
    m_start = stampNow();
}

void CommonsTest::TearDown()
{
    log_name("");
    TempDirTest::TearDown();
}

void CommonsTest::enableLog(const char* type, const std::string& name)
{
    ASSERT_EQ(sub_regwrite("log_type", type), 0);
    ASSERT_EQ(sub_regwrite("log_name", logPath(name).c_str()), 0);
}

std::vector<std::string> CommonsTest::records(const std::string& name) const
{
    return unstamped(testenv::read_file(path(name)), "\r\n");
}

std::vector<std::string> CommonsTest::echoed(const std::string& text) const
{
    return unstamped(text, "\n");
}

std::vector<std::string> CommonsTest::unstamped(const std::string& text, std::string_view end) const
{
    const std::string now = stampNow();
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    EXPECT_TRUE(text.ends_with(end)) << "text does not end with its line end";
    for (size_t pos = 0; pos < text.size();) {
        size_t eol = std::min(text.find(end, pos), text.size());
        std::string line = text.substr(pos, eol - pos);
        pos = eol + end.size();
        if (startsWithStamp(line)) {
            EXPECT_LE(m_start, line.substr(0, kStampFrame.size()));
            EXPECT_LE(line.substr(0, kStampFrame.size()), now);
            line.erase(0, kStampFrame.size());
        }
        lines.push_back(line);
    }
    return lines;
}

std::string CommonsTest::record(const char* source, int line, const char* level, const std::string& message)
{
    char head[96];
    std::snprintf(head, sizeof head, "*(%15s:%04d) %s %04d-%04d : ", source, line, level, static_cast<int>(getpid()),
                  static_cast<int>(gettid()));
    return head + message;
}
