// Replays every input kept from fuzzing the .reg reader through the fuzz
// target itself, so a fixed fault stays fixed without clang.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzRegressions, EveryKeptInputIsReadOrRefusedCleanly)
{
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KESTREL_FUZZ_REGRESSIONS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++replayed;
    }
    EXPECT_GT(replayed, 0u);
}
