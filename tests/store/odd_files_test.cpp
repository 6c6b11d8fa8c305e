// What stands at or beside the record file's path: things that are not
// files, a second kestrel, a file others can read, what a crash left, odd
// settings and odd bytes.
#include "store_fixture.h"

#include "platform/file_calls.h"
#include "platform/registry.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

using OddFilesTest = StoreTest;

TEST_F(OddFilesTest, WhatIsNoRegularFileIsRefusedWithoutWaitingAndLeftAsItIs)
{
    alarm(30); // a FIFO opened for reading would wait for a writer forever
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "FIFO" : "folder");
        fs::remove_all(m_file);
        ASSERT_EQ(fifo ? mkfifo(m_file.c_str(), 0600) : mkdir(m_file.c_str(), 0700), 0);
        EXPECT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
        EXPECT_EQ(sub_sysdata_load(), -1);
        EXPECT_EQ(sub_add_datafile(10, "x"), -1);
        EXPECT_EQ(sub_update_datafile(0, "x", -1), -1);
        EXPECT_EQ(kindedt_add("k"), 0); // the category is there, the path is not touched
        EXPECT_EQ(sub_sysdata_save(), -1);
        end_record_session();
        EXPECT_EQ(fifo ? fs::is_fifo(m_file) : fs::is_directory(m_file), true);
    }
    alarm(0);
}

TEST_F(OddFilesTest, ASecondCopyIsRefusedWhileTheFirstRunsAndADeadOnesLockNeverBlocks)
{
    testenv::write_file(m_file, file_bytes({}, {}));
    int ready[2], finish[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(finish), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const char held = begin_record_session(m_file.c_str()) == SessionStart::Ready ? 'y' : 'n';
        (void)!write(ready[1], &held, 1);
        char go;
        (void)!read(finish[0], &go, 1);
        _exit(0); // dies holding the lock, without giving it up
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_EQ(begin_record_session(m_file.c_str()), SessionStart::Busy);
    // The same file by a second name is the same file.
    fs::create_hard_link(m_file, path("second-name.dat"));
    EXPECT_EQ(begin_record_session(path("second-name.dat").c_str()), SessionStart::Busy);
    ASSERT_EQ(write(finish[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
    end_record_session();
    EXPECT_FALSE(fs::exists(path(".records.dat.kestrel-lock")));
    for (int fd : {ready[0], ready[1], finish[0], finish[1]})
        close(fd);
}

TEST_F(OddFilesTest, AFileOthersCanReadIsMadePrivateAtTheFirstChange)
{
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a")}));
    fs::permissions(m_file,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    enableLog();
    ASSERT_EQ(sub_change_datafile(0, "b"), 0);
    EXPECT_EQ(fs::status(m_file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(logLines().at(1), "sub_change_data:" + logLines().at(1).substr(16, 4) + " NORML Data File (" +
                                    m_file.string() + ") was mode 0644, made 0600");
}

namespace {

ino_t g_record = 0;
int crash_before_the_block_write(FileCall call, const char*, int fd)
{
    // The backup and the journal are written first, then the block.
    struct stat st;
    if (call == FileCall::Write && fstat(fd, &st) == 0 && st.st_ino == g_record)
        _exit(0);
    return 0;
}

} // namespace

TEST_F(OddFilesTest, StartRemovesOnlyItsOwnImagesAndNeverAppliesAJournalToAnotherFile)
{
    const std::string old = file_bytes({}, {make_record(1, 10, "a")});
    testenv::write_file(m_file, old);
    testenv::write_file(path(".records.dat.kestrel-image.Ab12Cd"), count_bytes(0));
    testenv::write_file(path(".records.dat.backup"), "a user's own file");
    struct stat st;
    ASSERT_EQ(stat(m_file.c_str(), &st), 0);
    g_record = st.st_ino;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        set_file_call_hook(crash_before_the_block_write);
        sub_change_datafile(0, "changed");
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the crash point moved";
    ASSERT_TRUE(fs::exists(path(".records.dat.kestrel-journal")));
    // A backup copied over the file (same inode) is not the file the journal was written for.
    const std::string other = file_bytes({}, {make_record(1, 20, "other")});
    testenv::write_file(m_file, other);
    EXPECT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
    EXPECT_EQ(fileBytes(), other);
    EXPECT_EQ(session_side_file(), path(".records.dat.kestrel-journal.set-aside").string());
    EXPECT_FALSE(fs::exists(path(".records.dat.kestrel-image.Ab12Cd")));
    EXPECT_TRUE(fs::exists(path(".records.dat.backup")));
    end_record_session();
    EXPECT_FALSE(fs::exists(path(".records.dat.kestrel-journal")));
}

TEST_F(OddFilesTest, AnUnterminatedLogTypeAndTextsEndingInALeadByteAreHandledExactly)
{
    // A 512-byte log_type without terminator is read within its buffer.
    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::Ok);
    const std::string twos(512, '2');
    ASSERT_EQ(reg::set_value(key, "log_type", reg::REG_SZ, twos.data(), 512), reg::Status::Ok);
    reg::close_key(key);
    testenv::write_file(m_file, file_bytes({}, {make_record(1, 10, "a")}));
    EXPECT_EQ(sub_add_datafile(10, "b"), 1);

    // Names and texts from Windows that end in a lone lead byte come back byte for byte.
    KindTable[0] = {1, 10, "ab\x82"};
    ASSERT_EQ(sub_change_datafile(0, "name\x81"), 0);
    ASSERT_EQ(sub_update_datafile(0, "text\x9F", -1), 0);
    ASSERT_EQ(sub_sysdata_save(), 0);
    ASSERT_EQ(sub_sysdata_load(), 0);
    EXPECT_EQ(kinds(), Lines{"0:10:ab\x82"});
    EXPECT_EQ(fileBytes(),
              file_bytes({{10, "ab\x82"}}, {make_record(1, 10, "name\x81", "text\x9F"), make_record(1, 10, "b")}));
}

namespace {

std::string g_folder;
// The record file's folder as a user without write access to it sees it.
int folder_not_writable(FileCall call, const char* path, int)
{
    const bool inFolder = path && std::string(path).starts_with(g_folder + "/.");
    return inFolder && (call == FileCall::Open || call == FileCall::Rename || call == FileCall::Link ||
                        call == FileCall::Unlink || call == FileCall::Mkdir)
               ? EACCES
               : 0;
}

} // namespace

TEST_F(OddFilesTest, ChangesAndSavesCompleteInPlaceWhereTheFolderCannotBeWrittenOrTheOwnerDiffers)
{
    const CatgRecord a = make_record(1, 10, "a");
    testenv::write_file(m_file, file_bytes({{10, "ten"}}, {a}));
    struct stat st;
    ASSERT_EQ(stat(m_file.c_str(), &st), 0);
    const ino_t inode = st.st_ino;
    g_folder = dir().string();
    set_file_call_hook(folder_not_writable);
    KindTable[0] = {1, 10, "ten"};
    KindTable[1] = {1, 20, "twenty"};
    EXPECT_EQ(sub_update_datafile(0, "text", -1), 0);
    EXPECT_EQ(sub_sysdata_save(), 0);
    set_file_call_hook(nullptr);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "ten"}, {20, "twenty"}}, {make_record(1, 10, "a", "text")}));
    ASSERT_EQ(stat(m_file.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode) << "replaced instead of rewritten in place";
    for (const auto& entry : fs::directory_iterator(dir()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".records")) << entry.path();

    if (geteuid() != 0)
        GTEST_SKIP() << "giving the file to another owner needs root";
    ASSERT_EQ(chown(m_file.c_str(), 4242, 4242), 0);
    KindTable[1] = {};
    EXPECT_EQ(sub_sysdata_save(), 0);
    ASSERT_EQ(stat(m_file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(fileBytes(), file_bytes({{10, "ten"}}, {make_record(1, 10, "a", "text")}));
}

namespace {

int g_failReads = 0;
int fail_reads(FileCall call, const char*, int)
{
    return call == FileCall::Read && g_failReads-- > 0 ? EIO : 0;
}

} // namespace

TEST_F(OddFilesTest, SideFilesThatAreNotOursAreNeverUsedAndAFailedLoadWritesNothing)
{
    const std::string old = file_bytes({{10, "ten"}}, {make_record(1, 10, "a", "secret")});
    const fs::path journal = path(".records.dat.kestrel-journal");
    const std::vector<std::pair<const char*, std::function<void()>>> planted = {
        {"a symbolic link", [&] { fs::create_symlink(path("elsewhere"), journal); }},
        {"a second hard link",
         [&] {
             testenv::write_file(journal, "");
             fs::create_hard_link(journal, path("kept-by-another"));
         }},
        {"writable by others",
         [&] {
             testenv::write_file(journal, "");
             fs::permissions(journal, fs::perms(0666));
         }},
    };
    for (const auto& [what, plant] : planted) {
        SCOPED_TRACE(what);
        for (const auto& entry : fs::directory_iterator(dir()))
            if (entry.path().filename() != "registry" && entry.path().filename() != "home")
                fs::remove(entry.path());
        testenv::write_file(path("elsewhere"), "");
        testenv::write_file(m_file, old);
        plant();
        // Never applied, never written: the run leaves the record file as it is.
        EXPECT_EQ(begin_record_session(m_file.c_str()), SessionStart::ForeignJournal);
        EXPECT_EQ(session_side_file(), journal.string());
        EXPECT_EQ(sub_update_datafile(0, "changed", -1), -1);
        EXPECT_EQ(sub_sysdata_save(), -1);
        end_record_session();
        EXPECT_EQ(fileBytes(), old);
        EXPECT_EQ(testenv::read_file(path("elsewhere")), "");
    }

    // A lock file that is not ours does not stop the run: the lock goes to the state folder.
    fs::remove(journal);
    testenv::write_file(path(".records.dat.kestrel-lock"), "");
    fs::permissions(path(".records.dat.kestrel-lock"), fs::perms(0666));
    EXPECT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
    EXPECT_FALSE(fs::is_empty(dir() / "home/.local/state/kestrel/locks"));
    end_record_session();

    // A load that fails on a file that is there leaves its header as it is at the end.
    ASSERT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
    g_failReads = 1;
    set_file_call_hook(fail_reads);
    EXPECT_EQ(sub_sysdata_load(), -1);
    set_file_call_hook(nullptr);
    EXPECT_TRUE(session_read_only());
    EXPECT_EQ(sub_sysdata_save(), -1);
    end_record_session();
    EXPECT_EQ(fileBytes(), old);
}
