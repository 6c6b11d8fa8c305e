// Replays every input kept from fuzzing the .reg reader through the fuzz
// target itself, so a fixed fault stays fixed without clang.
#include "test_env.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzRegressions, EveryKeptInputIsReadOrRefusedCleanly)
{
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KESTREL_FUZZ_REGRESSIONS)) {
        const std::string bytes = testenv::read_file(entry.path());
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++replayed;
    }
    EXPECT_GT(replayed, 0u);
}
