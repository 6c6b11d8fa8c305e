#include "test_env.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace testenv {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // As kestrel creates its files: private to the owner.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

} // namespace testenv

void TempDirTest::SetUp()
{
    std::string templ = (std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    m_dir = templ;
    std::filesystem::create_directories(m_dir / "home");
    setenv("KESTREL_REGISTRY", (m_dir / "registry").c_str(), 1);
    setenv("HOME", (m_dir / "home").c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
    m_oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_dir);
}

void TempDirTest::TearDown()
{
    std::error_code ec;
    std::filesystem::current_path(m_oldCwd, ec);
    std::filesystem::remove_all(m_dir, ec);
}
