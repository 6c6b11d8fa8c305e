// The backup of each run: made at a run's first change only, the newest few
// kept per record file, and good for undoing what the run destroyed.
#include "store_fixture.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/file/run_backup.h"
#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include "platform/file_calls.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

class BackupTest : public StoreTest
{
protected:
    fs::path backupFolder() const { return dir() / "home" / ".local" / "state" / "kestrel" / "backups"; }

    // The backups of the record file at `record`, oldest first.
    std::vector<fs::path> backups(const fs::path& record) const
    {
        std::vector<fs::path> found;
        std::error_code ec;
        const std::string prefix = backup_prefix(record.string());
        for (const fs::directory_entry& entry : fs::directory_iterator(backupFolder(), ec))
            if (entry.path().filename().string().starts_with(prefix))
                found.push_back(entry.path());
        // By time, then by the number that a name taken in the same second gets.
        const auto order = [&prefix](const fs::path& backup) {
            const std::string rest = backup.filename().string().substr(prefix.size());
            return std::pair(rest.substr(0, 15), rest.size() > 15 ? std::stoi(rest.substr(16)) : 1);
        };
        std::sort(found.begin(), found.end(),
                  [&order](const fs::path& a, const fs::path& b) { return order(a) < order(b); });
        return found;
    }
    std::vector<fs::path> backups() const { return backups(m_file); }

    // One run of the program on the current record file, as the main window makes it.
    void run(const std::function<void()>& change)
    {
        ASSERT_EQ(begin_record_session(g_app_config.datafile), SessionStart::Ready);
        sub_sysdata_load();
        change();
        sub_sysdata_save();
        end_record_session();
    }
};

TEST_F(BackupTest, OnlyChangedRunsMakeOneAndTheNewestFiveOfEachFileAreKept)
{
    // A file that is not there yet has nothing to back up, also at its second change.
    run([] {
        ASSERT_GE(sub_add_datafile(10, "first"), 0);
        ASSERT_GE(sub_add_datafile(10, "second"), 0);
    });
    EXPECT_TRUE(backups().empty());

    testenv::write_file(m_file, file_bytes({{10, "bank"}, {20, "mail"}}, {make_record(1, 10, "a", "pin 1234")}));
    run([] {});
    EXPECT_TRUE(backups().empty());

    // Another record file of the same base name keeps its own backups.
    const fs::path other = path("other/records.dat");
    fs::create_directories(other.parent_path());
    testenv::write_file(other, file_bytes({{10, "other"}}, {}));
    strcpy(g_app_config.datafile, other.c_str());
    run([] { kindedt_rename(0, "renamed"); });
    ASSERT_EQ(backups(other).size(), 1u);
    strcpy(g_app_config.datafile, m_file.c_str());

    // Six changed runs: a renamed category (changed by the save alone), then record changes.
    std::vector<std::string> before;
    before.push_back(fileBytes());
    run([] { kindedt_rename(1, "post"); });
    for (int i = 0; i < 5; ++i) {
        before.push_back(fileBytes());
        run([i] {
            ASSERT_GE(sub_add_datafile(20, (std::string("r") + std::to_string(i)).c_str()), 0);
            ASSERT_EQ(sub_update_datafile(0, (std::string("pin ") + std::to_string(i)).c_str(), -1), 0);
        });
    }
    const std::vector<fs::path> kept = backups();
    ASSERT_EQ(kept.size(), 5u);
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(testenv::read_file(kept[i]), before[i + 1]) << kept[i];
        EXPECT_EQ(fs::status(kept[i]).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(backups(other).size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(backupFolder()), fs::directory_iterator()), 6); // no temporaries
}

TEST_F(BackupTest, KestBackupsSetsHowManyAreKept)
{
    testenv::write_file(m_file, file_bytes({{10, "bank"}}, {make_record(1, 10, "a")}));
    ASSERT_EQ(sub_regwrite("kest_backups", "0"), 0);
    run([] { sub_change_datafile(0, "b"); });
    EXPECT_TRUE(backups().empty());

    ASSERT_EQ(sub_regwrite("kest_backups", "2"), 0);
    for (const char* name : {"c", "d", "e"})
        run([name] { sub_change_datafile(0, name); });
    EXPECT_EQ(backups().size(), 2u);

    ASSERT_EQ(sub_regwrite("kest_backups", "3 "), 0); // not digits: the default of five
    for (const char* name : {"f", "g", "h", "i"})
        run([name] { sub_change_datafile(0, name); });
    EXPECT_EQ(backups().size(), 5u);
}

TEST_F(BackupTest, APurgeByMistakeIsUndoneByTheNewestBackup)
{
    testenv::write_file(m_file, file_bytes({{10, "bank"}, {20, "mail"}},
                                           {make_record(1, 10, "savings", "pin 1234"), make_record(1, 20, "home"),
                                            make_record(1, 10, "card", "pin 9876")}));
    const std::string before = fileBytes();
    run([] { kindedt_delete(0); });
    ASSERT_NE(fileBytes(), before);
    const std::vector<fs::path> kept = backups();
    ASSERT_EQ(kept.size(), 1u);

    // Put back while kestrel is not running: a copy over the record file.
    fs::copy_file(kept.back(), m_file, fs::copy_options::overwrite_existing);
    EXPECT_EQ(fileBytes(), before);
    memset(KindTable, 0, sizeof KindTable);
    ASSERT_EQ(sub_sysdata_load(), 0);
    EXPECT_EQ(kinds(), (Lines{"0:10:bank", "1:20:mail"}));
}

TEST_F(BackupTest, ABackupThatCannotBeWrittenDoesNotStopTheRun)
{
    // A file where the folder should be: unusable also to root.
    fs::create_directories(backupFolder().parent_path());
    testenv::write_file(backupFolder(), "");
    testenv::write_file(m_file, file_bytes({{10, "bank"}}, {make_record(1, 10, "a")}));
    enableLog();
    run([] {
        ASSERT_EQ(sub_add_datafile(10, "new"), 1);
        ASSERT_EQ(sub_change_datafile(0, "renamed"), 0);
    });
    EXPECT_EQ(fileBytes(), file_bytes({{10, "bank"}}, {make_record(1, 10, "renamed"), make_record(1, 10, "new")}));
    const Lines lines = logLines();
    const auto failed = std::count_if(lines.begin(), lines.end(), [this](const std::string& line) {
        return line.find("NORML Data File (" + m_file.string() + ") backup error") != std::string::npos;
    });
    EXPECT_EQ(failed, 1);
}

} // namespace

TEST_F(BackupTest, TheCopyMadeInTheBackgroundIsKeptOnlyByARunThatChangesTheFile)
{
    const std::string found = file_bytes({{10, "bank"}}, {make_record(1, 10, "a", "pin 1234")});
    for (const bool changes : {false, true}) {
        SCOPED_TRACE(changes ? "a run that changes the file" : "a run that only stores what is there");
        testenv::write_file(m_file, found);
        run([changes] {
            session_start_backup();
            // The same text again writes nothing and is no change.
            ASSERT_EQ(sub_update_datafile(0, changes ? "pin 5678" : "pin 1234", -1), 0);
        });
        std::vector<fs::path> left;
        for (const fs::directory_entry& entry : fs::directory_iterator(backupFolder()))
            left.push_back(entry.path());
        ASSERT_EQ(left.size(), changes ? 1u : 0u);
        if (changes) {
            EXPECT_EQ(testenv::read_file(left[0]), found);
        }
    }
}

namespace {

// Holds the background copy before its first read until the test lets it go.
std::atomic<bool> g_copyMayRead{false};
std::thread::id g_mainThread;
int hold_the_copy(FileCall, const char*, int)
{
    while (std::this_thread::get_id() != g_mainThread && !g_copyMayRead)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

} // namespace

TEST_F(BackupTest, ChangesMadeWhileTheCopyReadsAreNotInIt)
{
    // The first change does not wait for the copy: the copy reads the file
    // with the changes in it, and takes back what they overwrote.
    const std::string found =
        file_bytes({{10, "bank"}}, {make_record(1, 10, "a", "pin 1234"), make_record(1, 10, "b", "pin 0000")});
    testenv::write_file(m_file, found);
    g_mainThread = std::this_thread::get_id();
    g_copyMayRead = false;
    set_file_call_hook(hold_the_copy);
    run([] {
        session_start_backup();
        ASSERT_EQ(sub_update_datafile(0, "pin 5678", -1), 0); // the first change
        ASSERT_EQ(sub_update_datafile(0, "pin 9999", -1), 0); // the same block again
        ASSERT_EQ(sub_delete_datafile(1), 0);
        ASSERT_GE(sub_add_datafile(10, "c"), 0); // into the freed block
        g_copyMayRead = true;
    });
    set_file_call_hook(nullptr);
    EXPECT_NE(testenv::read_file(m_file), found);
    ASSERT_EQ(backups().size(), 1u);
    EXPECT_EQ(testenv::read_file(backups()[0]), found);
}
