// Shared by the commons tests: logging switched on into a file of the test's
// temporary folder, and the records read back with their time stamps checked
// and taken off.
#pragma once

#include "commons/commons.h"

#include "test_env.h"

#include <string>
#include <string_view>
#include <vector>

class CommonsTest : public TempDirTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes log_type and log_name (a file of the temporary folder).
    void enableLog(const char* type, const std::string& name = "log.txt");
    std::string logPath(const std::string& name = "log.txt") const { return path(name).string(); }

    // The file's lines (split at CR LF, which must end the file), each time
    // stamp checked to lie within the test and taken off.
    std::vector<std::string> records(const std::string& name = "log.txt") const;
    // The same for text whose lines end in LF alone (logputd's echo).
    std::vector<std::string> echoed(const std::string& text) const;

public:
    // A record as this process and thread write it after the time stamp;
    // source is the name as the header shows it.
    static std::string record(const char* source, int line, const char* level, const std::string& message);

private:
    std::vector<std::string> unstamped(const std::string& text, std::string_view end) const;

    std::string m_start;
};
