#include "commons_test_env.h"

#include <ctime>
#include <regex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string stampNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
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
    std::string text = testenv::read_file(path(name));
    std::string end = stampNow();
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "file does not end with CR LF";
    static const std::regex stamp("[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find("\r\n", pos);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 2;
        std::string head = line.substr(0, 19);
        if (std::regex_match(head, stamp)) {
            EXPECT_LE(m_start, head);
            EXPECT_LE(head, end);
            line = line.substr(19);
        }
        lines.push_back(line);
    }
    return lines;
}

std::string CommonsTest::ids()
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%04d", static_cast<int>(getpid()), static_cast<int>(gettid()));
    return text;
}
