// The protected form: every operation gives the same records as on the Windows
// form, the wrong password opens nothing, a tampered block is never shown nor
// written over, unprotect gives back the Windows form byte for byte, and no
// known secret stands in clear in any file a run leaves.
#include "store_fixture.h"

#include "platform/file_calls.h"
#include "store/app_config.h"
#include "store/file/form_change.h"
#include "store/file/protected_form.h"
#include "store/file/record_session.h"
#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <fstream>
#include <functional>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char PASSWORD[] = "correct horse";

class ProtectedFormTest : public StoreTest
{
protected:
    void TearDown() override
    {
        end_record_session();
        data_key::forget();
        StoreTest::TearDown();
    }

    // m_file holds `windows`, then is protected and its key loaded.
    void protect(const std::string& windows)
    {
        testenv::write_file(m_file, windows);
        ASSERT_EQ(protect_record_file(m_file.c_str(), PASSWORD, KeyCost::least()), Conversion::Done);
        ASSERT_EQ(unlock_record_file(m_file.c_str(), PASSWORD), FileUnlock::Ok);
    }

    // The Windows form of a copy of m_file, as unprotect writes it; the key stays loaded.
    std::string windowsForm()
    {
        const fs::path copy = path("copy.dat");
        fs::copy_file(m_file, copy, fs::copy_options::overwrite_existing);
        const Conversion done = unprotect_record_file(copy.c_str(), PASSWORD);
        EXPECT_EQ(unlock_record_file(m_file.c_str(), PASSWORD), FileUnlock::Ok);
        return done == Conversion::Done ? testenv::read_file(copy) : "unprotect failed";
    }

    // Flips one bit of m_file at `offset`.
    void flip(int64_t offset)
    {
        std::string bytes = fileBytes();
        bytes[static_cast<size_t>(offset)] ^= 0x10;
        testenv::write_file(m_file, bytes);
    }

    // The record indices a list fill shows.
    std::vector<int> listed()
    {
        std::vector<int> indices;
        RecordReader reader(m_file.c_str());
        int32_t flag = 0, kind = 0;
        int index = 0;
        while (reader.nextHead(flag, kind, index))
            if (flag == 1)
                indices.push_back(index);
        return indices;
    }
};

CatgRecord rec(int32_t kind, const std::string& name, const std::string& data = "")
{
    return make_record(1, kind, name, data);
}

const std::string FILE3 =
    file_bytes({{10, "ten"}, {20, "twenty"}}, {rec(10, "a", "alpha"), make_record(0, 0, ""), rec(20, "b", "beta")});

// Journals seen while a change is under way, and whether one held a secret in clear.
fs::path g_watched;
int g_journalsSeen = 0;
bool g_journalSecret = false;
int watch_journals(FileCall call, const char*, int)
{
    std::error_code ec;
    if (call == FileCall::Sync)
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(g_watched, ec))
            if (entry.path().filename().string().find("kestrel-journal") != std::string::npos) {
                ++g_journalsSeen;
                g_journalSecret |= testenv::read_file(entry.path()).find("SECRET") != std::string::npos;
            }
    return 0;
}

void use_table(std::initializer_list<KindSlot> slots)
{
    memset(KindTable, 0, sizeof KindTable);
    int i = 0;
    for (const KindSlot& slot : slots)
        KindTable[i++] = slot;
}

} // namespace

TEST_F(ProtectedFormTest, EveryOperationLeavesTheRecordsTheWindowsFormWouldHold)
{
    const std::string text4095(4095, 'T');
    struct Case
    {
        const char* name;
        std::function<int()> run;
    };
    const std::vector<Case> cases = {
        {"add into a free block", [] { return sub_add_datafile(10, "new"); }},
        {"add appending", [] { return sub_add_datafile(10, "x") + sub_add_datafile(20, "y"); }},
        {"rename", [] { return sub_change_datafile(2, "renamed"); }},
        {"delete", [] { return sub_delete_datafile(0); }},
        {"update with 4095 bytes", [&text4095] { return sub_update_datafile(2, text4095.c_str(), -1); }},
        {"change of category", [] { return sub_update_datafile(0, nullptr, 20); }},
        {"unchanged update", [] { return sub_update_datafile(0, "alpha", 10); }},
        {"purge", [] { return kindedt_delete(0); }},
        {"header in place",
         [] {
             strcpy(KindTable[1].name, "renamed twenty");
             return static_cast<int>(store_category_header());
         }},
        {"save with fewer categories",
         [] {
             KindTable[0] = {};
             return sub_sysdata_save();
         }},
        {"save with more categories",
         [] {
             KindTable[5] = {1, 60, "sixty"};
             return sub_sysdata_save();
         }},
        {"load", [] { return sub_sysdata_load(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        use_table({{1, 10, "ten"}, {1, 20, "twenty"}});
        testenv::write_file(m_file, FILE3);
        const int windowsResult = c.run();
        const std::string expected = fileBytes();
        const Lines windowsKinds = kinds();

        use_table({{1, 10, "ten"}, {1, 20, "twenty"}});
        protect(FILE3);
        const std::string before = fileBytes();
        EXPECT_EQ(c.run(), windowsResult);
        EXPECT_EQ(kinds(), windowsKinds);
        EXPECT_EQ(windowsForm(), expected);
        // Nothing that did not change is written: an unchanged update leaves every byte.
        if (std::string(c.name) == "unchanged update" || std::string(c.name) == "load") {
            EXPECT_EQ(fileBytes(), before);
        }
        data_key::forget();
    }
}

TEST_F(ProtectedFormTest, TheRightPasswordAloneOpensItAndAChangedOneRewrapsTheSameKey)
{
    protect(FILE3);
    const std::string windows = windowsForm();
    data_key::forget();
    EXPECT_EQ(unlock_record_file(m_file.c_str(), "wrong"), FileUnlock::WrongPassword);
    EXPECT_FALSE(data_key::loaded());
    CatgRecord record;
    EXPECT_EQ(read_record(m_file.c_str(), 0, record), -1); // nothing opens without the key
    EXPECT_EQ(sub_sysdata_load(), -1);
    end_record_session(); // that load made the run read-only

    ASSERT_EQ(unlock_record_file(m_file.c_str(), PASSWORD), FileUnlock::Ok);
    EXPECT_TRUE(data_key::matches(PASSWORD));
    EXPECT_FALSE(data_key::matches("wrong"));
    ASSERT_TRUE(data_key::rewrap("new password", KeyCost::least()));
    use_table({{1, 10, "ten"}, {1, 20, "twenty"}});
    ASSERT_EQ(store_category_header(), SaveResult::Saved); // the prologue changed, the entries kept
    data_key::forget();
    EXPECT_EQ(unlock_record_file(m_file.c_str(), PASSWORD), FileUnlock::WrongPassword);
    ASSERT_EQ(unlock_record_file(m_file.c_str(), "new password"), FileUnlock::Ok);
    ASSERT_EQ(read_record(m_file.c_str(), 2, record), 0);
    EXPECT_EQ(record, rec(20, "b", "beta"));
}

TEST_F(ProtectedFormTest, ATamperedPartIsNeverShownNorWrittenOverAndTheRestWorks)
{
    const int64_t blocks = SEALED_PROLOGUE_SIZE + 2 * SEALED_ENTRY_SIZE;
    struct Case
    {
        const char* name;
        std::function<void()> tamper;
        std::vector<int> listed;   // what a list fill shows
        std::vector<int> readable; // records whose text opens
    };
    const std::vector<Case> cases = {
        {"a bit of a head", [&] { flip(blocks + 2 * SEALED_BLOCK_SIZE + 40); }, {0}, {0, 1}},
        {"a bit of a text", [&] { flip(blocks + SEALED_HEAD_SIZE + 100); }, {0, 2}, {1, 2}},
        {"two blocks swapped",
         [&] {
             std::string bytes = fileBytes();
             const std::string first = bytes.substr(blocks, SEALED_BLOCK_SIZE);
             bytes.replace(blocks, SEALED_BLOCK_SIZE, bytes.substr(blocks + 2 * SEALED_BLOCK_SIZE, SEALED_BLOCK_SIZE));
             bytes.replace(blocks + 2 * SEALED_BLOCK_SIZE, SEALED_BLOCK_SIZE, first);
             testenv::write_file(m_file, bytes);
         },
         {},
         {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        protect(FILE3);
        c.tamper();
        const std::string tampered = fileBytes();
        EXPECT_EQ(listed(), c.listed);
        std::vector<int> readable;
        CatgRecord record;
        for (int i = 0; i < 3; ++i)
            if (read_record(m_file.c_str(), i, record) == 0)
                readable.push_back(i);
        EXPECT_EQ(readable, c.readable);
        // The damaged records are refused, never written over; a new record goes elsewhere.
        for (int i = 0; i < 3; ++i)
            if (std::find(readable.begin(), readable.end(), i) == readable.end()) {
                EXPECT_EQ(sub_update_datafile(i, "x", -1), -1);
                EXPECT_EQ(sub_delete_datafile(i), -1);
            }
        EXPECT_EQ(fileBytes(), tampered);
        EXPECT_NE(sub_add_datafile(10, "new"), 0);
        EXPECT_EQ(unprotect_record_file(m_file.c_str(), PASSWORD), Conversion::Damaged);
        data_key::forget();
    }

    // The wrapped key: the prologue's own check says damaged, whatever the password.
    protect(FILE3);
    flip(offsetof(SealedPrologue, wrap) + offsetof(KeyWrap, wrapped) + 3);
    data_key::forget();
    EXPECT_EQ(unlock_record_file(m_file.c_str(), PASSWORD), FileUnlock::Damaged);
    EXPECT_EQ(unlock_record_file(m_file.c_str(), "wrong"), FileUnlock::Damaged);
    EXPECT_EQ(sub_add_datafile(10, "x"), -1);
}

TEST_F(ProtectedFormTest, ConversionIsWholeRefusedTwiceAndRefusedWhileKestrelHoldsTheFile)
{
    testenv::write_file(m_file, FILE3);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        begin_record_session(m_file.c_str());
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(protect_record_file(m_file.c_str(), PASSWORD, KeyCost::least()), Conversion::Busy);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(fileBytes(), FILE3);

    EXPECT_EQ(unprotect_record_file(m_file.c_str(), PASSWORD), Conversion::AlreadyInForm);
    ASSERT_EQ(protect_record_file(m_file.c_str(), PASSWORD, KeyCost::least()), Conversion::Done);
    EXPECT_EQ(fileBytes().substr(0, 8), "KESTRELP");
    EXPECT_EQ(protect_record_file(m_file.c_str(), PASSWORD, KeyCost::least()), Conversion::AlreadyInForm);
    const std::string sealed = fileBytes();
    EXPECT_EQ(unprotect_record_file(m_file.c_str(), "wrong"), Conversion::WrongPassword);
    EXPECT_EQ(fileBytes(), sealed);
    EXPECT_EQ(protect_record_file(path("none.dat").c_str(), PASSWORD, KeyCost::least()), Conversion::Missing);
    ASSERT_EQ(unprotect_record_file(m_file.c_str(), PASSWORD), Conversion::Done);
    EXPECT_EQ(fileBytes(), FILE3);
}

TEST_F(ProtectedFormTest, NoKnownSecretStandsInClearInAnyFileARunLeaves)
{
    // A backup taken while the file was still in the Windows form is a readable copy...
    testenv::write_file(m_file, file_bytes({{10, "CATSECRET"}}, {rec(10, "NAMESECRET", "TEXTSECRET")}));
    enableLog();
    ASSERT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
    ASSERT_EQ(sub_update_datafile(0, "TEXTSECRET2", -1), 0);
    end_record_session();
    // ...until protection is turned on.
    ASSERT_EQ(protect_record_file(m_file.c_str(), "PASSSECRET", KeyCost::least()), Conversion::Done);
    ASSERT_EQ(unlock_record_file(m_file.c_str(), "PASSSECRET"), FileUnlock::Ok);
    fs::remove(path("trace.log")); // the Windows form's lines carry names, as they always did

    ASSERT_EQ(begin_record_session(m_file.c_str()), SessionStart::Ready);
    ASSERT_EQ(sub_sysdata_load(), 0);
    g_watched = dir();
    set_file_call_hook(watch_journals);
    EXPECT_EQ(sub_add_datafile(10, "NAMESECRET3"), 1);
    EXPECT_EQ(sub_update_datafile(1, "TEXTSECRET3", -1), 0);
    EXPECT_EQ(sub_change_datafile(0, "NAMESECRET4"), 0);
    EXPECT_EQ(sub_delete_datafile(0), 0);
    strcpy(KindTable[0].name, "CATSECRET2");
    EXPECT_EQ(sub_sysdata_save(), 0);
    EXPECT_EQ(kindedt_delete(0), 0);
    set_file_call_hook(nullptr);
    EXPECT_GT(g_journalsSeen, 0);
    EXPECT_FALSE(g_journalSecret);
    const Lines log = logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "sub_add_datafil:0038 NORML Data ADD curkind=10, name=((protected))"),
              log.end());

    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir())) {
        if (!entry.is_regular_file())
            continue;
        ++files;
        const std::string bytes = testenv::read_file(entry.path());
        for (const char* secret : {"SECRET", "PASSSECRET"})
            EXPECT_EQ(bytes.find(secret), std::string::npos) << entry.path() << " holds " << secret;
    }
    EXPECT_GE(files, 4); // record file, backup, log, registry values
}
