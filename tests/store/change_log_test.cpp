// What this process changed in record files, as a keeper of part of one (the
// record list's kept order, the add's free-block search) learns it.
#include "store_fixture.h"

#include "store/app_config.h"
#include "store/file/change_log.h"
#include "store/file/record_io.h"
#include "store/kind_table.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

using ChangeLogTest = StoreTest;

TEST_F(ChangeLogTest, AFollowerStandsOnlyWhileThisProcessToldWhatChanged)
{
    const CatgRecord live = make_record(1, 10, "a");
    testenv::write_file(m_file, file_bytes({{10, "k"}}, {live, live, CatgRecord{}}));
    const std::string other = (dir() / "other.dat").string();
    testenv::write_file(other, file_bytes({}, {live}));
    struct Step
    {
        const char* what;
        std::function<void()> change;
        bool stands;
        std::vector<int64_t> changed; // record indices told
    };
    const Step steps[] = {
        {"nothing changed", [] {}, true, {}},
        {"a record stored and another deleted",
         [] {
             ASSERT_EQ(sub_update_datafile(1, "pin", -1), 0);
             ASSERT_EQ(sub_delete_datafile(0), 0);
         },
         true,
         {1, 0}},
        {"the same text stored again: no change", [] { ASSERT_EQ(sub_update_datafile(1, "pin", -1), 0); }, true, {}},
        {"another file changed",
         [&] {
             const std::string mine = g_app_config.datafile;
             std::snprintf(g_app_config.datafile, sizeof g_app_config.datafile, "%s", other.c_str());
             ASSERT_EQ(sub_add_datafile(10, "b"), 1);
             std::snprintf(g_app_config.datafile, sizeof g_app_config.datafile, "%s", mine.c_str());
         },
         true,
         {}},
        {"the category count changed: the whole file",
         [] {
             KindTable[1] = KindSlot{1, 20, "m"};
             sub_sysdata_save();
         },
         false,
         {-1}},
        {"changed from outside",
         [&] {
             testenv::write_file(m_file, file_bytes({}, {live, live}));
         },
         false,
         {}},
    };
    FileFollower follower;
    std::vector<int64_t> changed;
    const auto follow = [&] {
        const int fd = open(m_file.c_str(), O_RDONLY);
        changed.clear();
        const bool stands = follower.follow(m_file.string(), fd, changed);
        close(fd);
        return stands;
    };
    EXPECT_FALSE(follow()) << "the first look";
    sub_sysdata_load();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        EXPECT_EQ(follow(), step.stands);
        EXPECT_EQ(changed, step.changed);
    }
}

TEST_F(ChangeLogTest, AReaderTooFarBehindStartsAfresh)
{
    const uint64_t start = file_changes_now();
    for (int i = 0; i < 5000; ++i)
        note_file_change("/x", i);
    std::vector<FileChange> changes;
    EXPECT_FALSE(file_changes_since(start, changes));
    EXPECT_TRUE(file_changes_since(file_changes_now() - 3, changes));
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].index, 4997);
    EXPECT_EQ(changes[2].index, 4999);
}

} // namespace
