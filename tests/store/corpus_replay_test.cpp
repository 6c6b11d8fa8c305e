// Replays the saved fuzz inputs (tests/store/corpus) through the same case
// as the fuzzer, so inputs that once broke the store stay fixed.
#include "fuzz/record_file_fuzz.h"
#include "test_env.h"

using CorpusReplayTest = TempDirTest;

TEST_F(CorpusReplayTest, EverySavedInputKeepsTheFilePromises)
{
    int replayed = 0;
    for (const auto& input : std::filesystem::directory_iterator(KESTREL_STORE_CORPUS)) {
        SCOPED_TRACE(input.path().filename().string());
        const std::string bytes = testenv::read_file(input.path());
        // The case aborts on a broken promise: run it apart so the others still run.
        EXPECT_EXIT(
            {
                run_record_file_case(dir().string(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
                exit(0);
            },
            ::testing::ExitedWithCode(0), "");
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}
