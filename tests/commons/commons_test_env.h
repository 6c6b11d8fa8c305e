// Shared by the commons tests: logging switched on into a file of the test's
// temporary folder, and the records read back with their time stamps checked
// and taken off.
#pragma once

#include "commons/commons.h"

#include "test_env.h"

#include <string>
#include <vector>

class CommonsTest : public TempDirTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes log_type and log_name (a file of the temporary folder).
    void enableLog(const char* type, const std::string& name = "log.txt");
    std::string logPath(const std::string& name = "log.txt") const { return path(name).string(); }

    // The file's lines (split at CR LF, which must end the file) with the
    // time stamp checked to lie within the test and removed.
    std::vector<std::string> records(const std::string& name = "log.txt") const;

    // "pppp-tttt" of this process and thread, as headers print them.
    static std::string ids();

private:
    std::string m_start;
};
