// Installs kestrel-reg into a temporary prefix and runs the installed copy.
#include "test_env.h"

#include <cstdlib>
#include <sys/wait.h>

namespace {

int shell(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class Install : public TempDirTest
{
};

TEST_F(Install, InstalledToolRunsFromItsPrefix)
{
    const std::filesystem::path prefix = path("prefix");
    ASSERT_EQ(shell("\"" CMAKE_COMMAND "\" --install \"" KESTREL_BUILD_DIR "\" --prefix \"" + prefix.string() +
                    "\" --component kestrel-reg > install.log 2>&1"),
              0)
        << testenv::read_file(path("install.log"));
    const std::filesystem::path tool = prefix / "bin" / "kestrel-reg";
    ASSERT_TRUE(std::filesystem::exists(tool));
    EXPECT_TRUE(std::filesystem::exists(prefix / "share" / "man" / "man1" / "kestrel-reg.1.gz"));

    ASSERT_EQ(shell(tool.string() + " set log_type 2 && " + tool.string() + " get log_type > out.txt"), 0);
    EXPECT_EQ(testenv::read_file(path("out.txt")), "2\n");
    EXPECT_TRUE(std::filesystem::exists(registryRoot() / "HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(shell(tool.string() + " get missing 2> err.txt"), 1);
    EXPECT_EQ(testenv::read_file(path("err.txt")),
              "kestrel-reg: no value missing in HKEY_LOCAL_MACHINE\\SOFTWARE\\qelt_key_yoyaku\n");
}

TEST_F(Install, InstalledDataToolFindsItsLibraryAndManualPage)
{
    const std::filesystem::path prefix = path("prefix");
    for (const char* component : {"kestrel", "kestrel-data"})
        ASSERT_EQ(shell("\"" CMAKE_COMMAND "\" --install \"" KESTREL_BUILD_DIR "\" --prefix \"" + prefix.string() +
                        "\" --component " + component + " > install.log 2>&1"),
                  0)
            << testenv::read_file(path("install.log"));
    EXPECT_TRUE(std::filesystem::exists(prefix / "share" / "man" / "man1" / "kestrel-data.1.gz"));
    testenv::write_file(path("empty.dat"), std::string(4, '\0'));
    const std::string tool = (prefix / "bin" / "kestrel-data").string();
    ASSERT_EQ(shell(tool + " check empty.dat > out.txt 2>&1"), 0) << testenv::read_file(path("out.txt"));
    EXPECT_NE(testenv::read_file(path("out.txt")).find("empty.dat: whole\n"), std::string::npos);
}
