// Replays the saved fuzz inputs (tests/store/corpus) through the same case
// as the fuzzer, so inputs that once broke the store stay fixed.
#include "fuzz/record_file_fuzz.h"
#include "store_fixture.h"

#include <algorithm>

using CorpusReplayTest = StoreTest;

TEST_F(CorpusReplayTest, EverySavedInputKeepsTheFilePromises)
{
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(KESTREL_STORE_CORPUS))
        inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty());
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::string bytes = testenv::read_file(input);
        EXPECT_EXIT(
            {
                run_record_file_case(dir().string(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
                exit(0);
            },
            ::testing::ExitedWithCode(0), "");
    }
}
