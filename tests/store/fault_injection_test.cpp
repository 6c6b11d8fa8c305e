// Every store operation with a failure injected at each of its file calls in
// turn, and with the process ended just before each of them: the record file
// is always the whole old file or the whole new one, once the next start has
// looked at it.
#include "store_fixture.h"

#include "store/app_config.h"
#include "store/file_calls.h"
#include "store/kind_table.h"
#include "store/kindedt.h"
#include "store/record_journal.h"
#include "store/record_ops.h"
#include "store/side_files.h"
#include "store/sysdata.h"

#include <functional>
#include <iostream>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

int g_calls = 0;
int g_target = -1;
bool g_crash = false;

int counting_hook(FileCall, const char*)
{
    if (g_calls++ != g_target)
        return 0;
    if (g_crash)
        _exit(0); // as a crash: nothing after this call's start happens
    return EIO;
}

struct Scenario
{
    const char* name;
    std::function<void(StoreTest&)> prepare; // the old state
    std::function<int()> run;                // 0 or the record index on success, -1 on failure
};

CatgRecord rec(int32_t kind, const std::string& name, const std::string& data = "")
{
    return make_record(1, kind, name, data);
}

const std::string OLD = file_bytes({{10, "ten"}, {20, "twenty"}}, {rec(10, "a", "alpha"), rec(20, "b"), rec(10, "c")});

void standard_table()
{
    KindTable[0] = {1, 10, "ten"};
    KindTable[1] = {1, 20, "twenty"};
}

class FaultInjectionTest : public StoreTest
{
protected:
    void TearDown() override
    {
        set_file_call_hook(nullptr);
        StoreTest::TearDown();
    }

    std::optional<std::string> state() const
    {
        if (!fs::exists(fs::symlink_status(m_file)))
            return std::nullopt;
        return fileBytes();
    }

    // The next start: journals are applied before anything reads the file.
    void nextStart() { ASSERT_TRUE(recover_record_file(m_file.string())); }

    void prepare(const Scenario& s)
    {
        set_file_call_hook(nullptr);
        fs::remove_all(dir() / "home" / ".local");
        for (const auto& entry : fs::directory_iterator(dir()))
            if (entry.path().filename().string().starts_with(".records"))
                fs::remove(entry.path());
        fs::remove(m_file);
        memset(KindTable, 0, sizeof KindTable);
        s.prepare(*this);
    }
};

} // namespace

TEST_F(FaultInjectionTest, EveryOperationIsWholeOrAbsentAtEveryFailureAndCrash)
{
    const std::string text4095(4095, 'T');
    const std::vector<Scenario> scenarios = {
        {"add reusing a free block", [](StoreTest&) {}, [] { return sub_add_datafile(10, "new"); }},
        {"add appending", [](StoreTest&) {}, [] { return sub_add_datafile(20, "new"); }},
        {"add to a missing file", [](StoreTest&) {}, [] { return sub_add_datafile(10, "first"); }},
        {"rename", [](StoreTest&) {}, [] { return sub_change_datafile(2, "renamed"); }},
        {"delete", [](StoreTest&) {}, [] { return sub_delete_datafile(0); }},
        {"update with a 4095-byte text", [](StoreTest&) {},
         [&text4095] { return sub_update_datafile(0, text4095.c_str(), -1); }},
        {"change of category", [](StoreTest&) {}, [] { return sub_update_datafile(2, nullptr, 20); }},
        {"purge", [](StoreTest&) {}, [] { return kindedt_delete(0); }},
        {"save at exit", [](StoreTest&) {}, [] { return sub_sysdata_save(); }},
        {"save in place beside a hard link", [](StoreTest&) {}, [] { return sub_sysdata_save(); }},
    };
    // Old files per scenario: the shared three records, a free block for the
    // reuse case, nothing for the missing file.
    auto old_file = [](const std::string& name) -> std::optional<std::string> {
        if (name == "add to a missing file")
            return std::nullopt;
        if (name == "add reusing a free block")
            return file_bytes({{10, "ten"}}, {rec(10, "a"), make_record(0, 0, ""), rec(10, "c")});
        return OLD;
    };

    int cases = 0, lost = 0;
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        const std::optional<std::string> oldBytes = old_file(s.name);
        const bool linked = std::string(s.name).find("hard link") != std::string::npos;
        auto setUp = [&] {
            prepare(s);
            if (oldBytes)
                testenv::write_file(m_file, *oldBytes);
            if (linked)
                fs::create_hard_link(m_file, path("records.link"));
            standard_table();
            KindTable[1] = {1, 20, "renamed twenty"}; // what the save writes
        };
        auto cleanLink = [&] { fs::remove(path("records.link")); };

        // The change without faults, counting its file calls.
        setUp();
        g_calls = 0;
        g_target = -1;
        set_file_call_hook(counting_hook);
        ASSERT_GE(s.run(), 0);
        set_file_call_hook(nullptr);
        const int calls = g_calls;
        const std::optional<std::string> newBytes = state();
        ASSERT_TRUE(newBytes.has_value());
        ASSERT_NE(newBytes, oldBytes);
        if (linked) {
            EXPECT_EQ(testenv::read_file(path("records.link")), *newBytes) << "the hard link was split";
        }
        cleanLink();
        ASSERT_GE(calls, 3);

        auto whole = [&](const std::optional<std::string>& now) {
            // A new file that holds only its zero count has no records, as no file has none.
            const bool asOld = now == oldBytes || (!oldBytes && now == std::string(4, '\0'));
            return asOld || now == newBytes;
        };
        for (int target = 0; target < calls; ++target) {
            // A failure: reported, and the file as it was (or, past the point of no return, as new).
            setUp();
            g_calls = 0;
            g_target = target;
            g_crash = false;
            set_file_call_hook(counting_hook);
            const int result = s.run();
            set_file_call_hook(nullptr);
            nextStart();
            const std::optional<std::string> afterFailure = state();
            ++cases;
            if (!whole(afterFailure) || (result < 0 && afterFailure == newBytes) ||
                (result >= 0 && afterFailure != newBytes)) {
                ++lost;
                ADD_FAILURE() << "failure at call " << target << " of " << calls << ": result " << result;
            }
            cleanLink();

            // A crash just before the call, then the next start.
            setUp();
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                g_calls = 0;
                g_target = target;
                g_crash = true;
                set_file_call_hook(counting_hook);
                s.run();
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            nextStart();
            ++cases;
            if (!whole(state())) {
                ++lost;
                ADD_FAILURE() << "crash before call " << target << " of " << calls;
            }
            cleanLink();
        }
    }
    std::cout << "fault injection: " << cases << " cases, " << lost << " with data lost or torn\n";
    EXPECT_EQ(lost, 0);
    EXPECT_GT(cases, 200);
}
