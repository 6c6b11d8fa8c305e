// Every test works in a fresh temporary folder of its own, with the registry
// stand-in pointed into it, so no test touches the user's real files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testenv {

// Reads a whole file as bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);
// Writes bytes to a file (mode 0600), replacing it.
void write_file(const std::filesystem::path& path, const std::string& bytes);

} // namespace testenv

// Fixture: creates a temporary folder, sets KESTREL_REGISTRY to
// <folder>/registry and HOME to <folder>/home (XDG_CONFIG_HOME and
// XDG_STATE_HOME unset, so that state lands there too), makes the folder the working
// directory, and removes everything again afterwards.
class TempDirTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path dir() const { return m_dir; }
    std::filesystem::path path(const std::string& name) const { return m_dir / name; }
    std::filesystem::path registryRoot() const { return m_dir / "registry"; }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_oldCwd;
};
