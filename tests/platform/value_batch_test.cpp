// Values stored in bulk: names matched case-insensitively across batches and
// keys, deletions after pending values, nothing pending left behind.
#include "platform/registry.h"

#include "test_env.h"

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

struct Step
{
    char op;                    // 's' set, 'r' remove, 't' remove the key tree, 'c' commit
    const char* key = nullptr;  // subkey below SOFTWARE\batch
    const char* name = nullptr; // value name
    const char* text = nullptr;
};

std::string subkey(const char* key)
{
    return std::string("SOFTWARE\\batch\\") + key;
}

// Every value file of the registry as "key/name=data", and whether any
// temporary file is left.
std::map<std::string, std::string> values_on_disk(const fs::path& root, bool& temporaries)
{
    std::map<std::string, std::string> values;
    temporaries = false;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string file = entry.path().filename().string();
        temporaries |= file.starts_with(".tmp-");
        if (!entry.is_regular_file() || !file.starts_with("="))
            continue;
        const std::string bytes = testenv::read_file(entry.path());
        values[entry.path().parent_path().filename().string() + "/" + file.substr(1)] =
            bytes.substr(12, bytes.size() - 13); // behind the header, without the terminator
    }
    return values;
}

} // namespace

using ValueBatchTest = TempDirTest;

TEST_F(ValueBatchTest, NamesKeepTheirFirstSpellingAndTheLastValueWins)
{
    const struct
    {
        const char* what;
        std::vector<Step> steps;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"one batch, two spellings", {{'s', "a", "Name", "1"}, {'s', "a", "NAME", "2"}}, {{"a/Name", "2"}}},
        {"another key between",
         {{'s', "a", "x", "1"}, {'s', "b", "y", "2"}, {'s', "a", "X", "3"}},
         {{"a/x", "3"}, {"b/y", "2"}}},
        {"stored before, changed in another case",
         {{'s', "a", "Keep", "1"}, {'c'}, {'s', "a", "keep", "2"}},
         {{"a/Keep", "2"}}},
        {"removal after a pending value",
         {{'s', "a", "gone", "1"}, {'r', "a", "GONE"}, {'s', "a", "v", "2"}},
         {{"a/v", "2"}}},
        {"tree removed, then made again",
         {{'s', "a", "old", "1"}, {'t', "a"}, {'s', "a", "new", "2"}},
         {{"a/new", "2"}}},
    };
    for (const auto& c : cases) {
        std::error_code ec;
        fs::remove_all(registryRoot(), ec);
        {
            reg::ValueBatch batch;
            for (const Step& step : c.steps) {
                if (step.op == 'c') {
                    ASSERT_EQ(batch.commit(), reg::Status::Ok) << c.what;
                    continue;
                }
                if (step.op == 't') {
                    ASSERT_EQ(batch.remove_tree(reg::Hive::LocalMachine, subkey(step.key).c_str()), reg::Status::Ok);
                    continue;
                }
                reg::KeyHandle key;
                ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, subkey(step.key).c_str(), &key), reg::Status::Ok);
                const std::string text = std::string(step.text ? step.text : "") + '\0';
                EXPECT_EQ(step.op == 's'
                              ? batch.set(key, step.name, reg::REG_SZ, text.data(), static_cast<uint32_t>(text.size()))
                              : batch.remove(key, step.name),
                          reg::Status::Ok)
                    << c.what;
                reg::close_key(key);
            }
            ASSERT_EQ(batch.commit(), reg::Status::Ok) << c.what;
        }
        bool temporaries = false;
        EXPECT_EQ(values_on_disk(registryRoot(), temporaries), c.expected) << c.what;
        EXPECT_FALSE(temporaries) << c.what;
    }
}

TEST_F(ValueBatchTest, AnUncommittedBatchLeavesNothingAndLimitsAreChecked)
{
    reg::KeyHandle key;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, "SOFTWARE\\batch\\a", &key), reg::Status::Ok);
    {
        reg::ValueBatch batch;
        EXPECT_EQ(batch.set(key, "dropped", reg::REG_SZ, "x", 2), reg::Status::Ok);
    }
    reg::close_key(key);
    bool temporaries = true;
    EXPECT_TRUE(values_on_disk(registryRoot(), temporaries).empty());
    EXPECT_FALSE(temporaries);

    std::string deep = "SOFTWARE";
    for (int i = 0; i < 511; ++i)
        deep += "\\k";
    EXPECT_TRUE(reg::key_fits(reg::Hive::LocalMachine, deep.c_str())); // 512 levels
    EXPECT_FALSE(reg::key_fits(reg::Hive::LocalMachine, (deep + "\\k").c_str()));
    EXPECT_FALSE(reg::key_fits(reg::Hive::LocalMachine, ("SOFTWARE\\" + std::string(256, 'n')).c_str()));
    EXPECT_TRUE(reg::value_name_fits(std::string(250, 'n').c_str()));
    EXPECT_FALSE(reg::value_name_fits(std::string(90, '\x81').c_str())); // escaped to three bytes each
}
