// Every operation that changes the record file, with a failure injected at
// each of its file calls in turn, with a failure kept on from each call, with
// the process ended just before each call, and with the power cut after each
// call (the disk holding only what was synced, unsynced writes dropped or
// applied in part), then recovery with a failure at each of its own calls:
// the next start always finds the whole old file or the whole new one.
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

#include <fcntl.h>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sodium.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What the disk would hold after a power cut: for each folder the names that
// were synced into it, for each file (by inode) its synced bytes and the bytes
// it held last.
struct Contents
{
    std::string synced;
    std::string current;
};
struct Disk
{
    std::map<std::string, std::map<std::string, ino_t>> folders; // folder -> synced names
    std::map<ino_t, Contents> files;
    std::map<ino_t, bool> isFolder;
};

// The power-loss recorder: follows every call of the file-call layer.
struct PowerModel
{
    std::string root;
    Disk disk;
    std::vector<Disk> points; // the disk before each call, and at the end

    void listFolder(const std::string& folder, std::map<std::string, ino_t>& names)
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            struct stat st;
            if (entry.path().filename() == "registry" || lstat(entry.path().c_str(), &st) != 0)
                continue;
            names[entry.path().filename().string()] = st.st_ino;
        }
    }

    // Reads what every file of the tree holds now.
    void refresh(const std::string& folder, bool initial)
    {
        std::map<std::string, ino_t> names;
        listFolder(folder, names);
        if (initial)
            disk.folders[folder] = names;
        for (const auto& [name, ino] : names) {
            const std::string path = folder + "/" + name;
            const bool dir = fs::is_directory(fs::symlink_status(path));
            disk.isFolder[ino] = dir;
            if (dir) {
                if (!disk.folders.contains(path))
                    disk.folders[path]; // new: none of its names synced yet
                refresh(path, initial);
                continue;
            }
            Contents& c = disk.files[ino];
            c.current = testenv::read_file(path);
            if (initial)
                c.synced = c.current;
        }
    }

    void start(const std::string& top)
    {
        root = top;
        disk = {};
        points.clear();
        refresh(root, true);
    }

    void before(FileCall call, int fd)
    {
        refresh(root, false);
        points.push_back(disk);
        if (call != FileCall::Sync || fd < 0)
            return;
        char target[4096];
        const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        struct stat st;
        if (n <= 0 || fstat(fd, &st) != 0)
            return;
        const std::string path(target, static_cast<size_t>(n));
        if (S_ISDIR(st.st_mode)) {
            std::map<std::string, ino_t> names;
            listFolder(path, names);
            disk.folders[path] = names;
        } else {
            disk.files[st.st_ino].synced = testenv::read_file(path);
        }
    }
};

PowerModel g_model;
bool g_recording = false;
int g_calls = 0;
int g_target = -1;     // the call that fails (or before which the process ends)
bool g_sticky = false; // every call from the target on fails
bool g_crash = false;
std::string g_readOnlyFolder; // calls naming a side file here fail as in a folder we may not write

int hook(FileCall call, const char* path, int fd)
{
    if (g_recording)
        g_model.before(call, fd);
    if (!g_readOnlyFolder.empty() && path && std::string(path).starts_with(g_readOnlyFolder + "/.") &&
        call != FileCall::Write && call != FileCall::Sync && call != FileCall::Read && call != FileCall::Stat)
        return EACCES;
    const int n = g_calls++;
    if (g_target < 0 || (g_sticky ? n < g_target : n != g_target))
        return 0;
    if (g_crash)
        _exit(0); // as a crash: nothing after this call's start happens
    return EIO;
}

// One piece of 4,096 bytes from `a` or `b` in turn, starting with `a`, at
// the size of `a`: writes applied in part, as the disk's pages reached it.
std::string mixed(const std::string& a, const std::string& b)
{
    std::string out = a;
    for (size_t at = 4096; at < std::min(a.size(), b.size()); at += 8192)
        for (size_t i = at; i < std::min({a.size(), b.size(), at + 4096}); ++i)
            out[i] = b[i];
    return out;
}

enum class Variant { Synced, Current, MixedFromCurrent, MixedFromSynced };

// Lays the disk of a power cut out in the real folder.
void materialize(const Disk& disk, const std::string& root, Variant v, const std::string& only)
{
    for (const auto& entry : fs::directory_iterator(root))
        if (entry.path().filename() != "registry")
            fs::remove_all(entry.path());
    std::map<ino_t, std::string> made; // hard links of one file
    std::function<void(const std::string&)> lay = [&](const std::string& folder) {
        for (const auto& [name, ino] : disk.folders.at(folder)) {
            const std::string path = folder + "/" + name;
            if (disk.isFolder.at(ino)) {
                fs::create_directory(path);
                if (disk.folders.contains(path))
                    lay(path);
                continue;
            }
            if (made.contains(ino)) {
                fs::create_hard_link(made[ino], path);
                continue;
            }
            const Contents& c = disk.files.at(ino);
            const bool chosen = only.empty() || only == path;
            std::string bytes = c.synced;
            if (chosen && v == Variant::Current)
                bytes = c.current;
            else if (chosen && v == Variant::MixedFromCurrent)
                bytes = mixed(c.current, c.synced);
            else if (chosen && v == Variant::MixedFromSynced)
                bytes = mixed(c.synced, c.current);
            testenv::write_file(path, bytes);
            made[ino] = path;
        }
    };
    lay(root);
}

// What the result of a change says the file holds once the next start has looked at it.
enum class Told { New, Old, Either };

Told record_op(bool ok)
{
    return ok ? Told::New : Told::Either;
}

// A failed save says whether the old file stays, the next start completes the
// new one, or (the disk failing even the undoing) the next start decides.
Told header_save(SaveResult result)
{
    return result == SaveResult::NotSaved ? Told::Old : result == SaveResult::Undecided ? Told::Either : Told::New;
}

struct Scenario
{
    const char* name;
    std::function<void(const fs::path&)> prepare; // lays the old state out in the folder
    std::function<Told()> run;
    bool sealed = false; // over the protected form, its key loaded
};

// Seals draw their nonces from a stream that starts again at every reset, so
// that each run of a scenario over the protected form writes the same bytes.
uint64_t g_randomDraws = 0;
void replayed_random(void* buf, size_t size)
{
    unsigned char seed[randombytes_SEEDBYTES] = {};
    memcpy(seed, &g_randomDraws, sizeof g_randomDraws);
    ++g_randomDraws;
    randombytes_buf_deterministic(buf, size, seed);
}
uint32_t replayed_random32()
{
    uint32_t value;
    replayed_random(&value, sizeof value);
    return value;
}
randombytes_implementation g_replayed = {
    [] { return "replayed"; }, replayed_random32, nullptr, nullptr, replayed_random, nullptr};
const char SEALED_PASSWORD[] = "durable";

CatgRecord rec(int32_t kind, const std::string& name, const std::string& data = "")
{
    return make_record(1, kind, name, data);
}

const std::string OLD = file_bytes({{10, "ten"}, {20, "twenty"}}, {rec(10, "a", "alpha"), rec(20, "b"), rec(10, "c")});

class DurabilityTest : public StoreTest
{
protected:
    void TearDown() override
    {
        set_file_call_hook(nullptr);
        g_readOnlyFolder.clear();
        end_record_session();
        data_key::forget(); // the next test's files are not protected
        StoreTest::TearDown();
    }

    std::optional<std::string> state() const
    {
        if (!fs::exists(fs::symlink_status(m_file)))
            return std::nullopt;
        return fileBytes();
    }

    void reset(const Scenario& s)
    {
        set_file_call_hook(nullptr);
        end_record_session();
        for (const auto& entry : fs::directory_iterator(dir()))
            if (entry.path().filename() != "registry")
                fs::remove_all(entry.path());
        fs::create_directory(dir() / "home");
        memset(KindTable, 0, sizeof KindTable);
        KindTable[0] = {1, 10, "ten"};
        KindTable[1] = {1, 20, "twenty"};
        s.prepare(dir());
        data_key::forget();
        if (s.sealed) {
            ASSERT_EQ(unlock_record_file(m_file.c_str(), SEALED_PASSWORD), FileUnlock::Ok);
        }
        g_randomDraws = 0;
    }

    // The next start: journals applied, nothing set aside, nothing left pending.
    bool nextStart()
    {
        set_file_call_hook(nullptr);
        const SessionStart start = begin_record_session(m_file.c_str());
        const bool clean = start == SessionStart::Ready && session_side_file().empty();
        end_record_session();
        return clean;
    }
};

} // namespace

TEST_F(DurabilityTest, EveryChangeIsWholeOrAbsentAfterAnyFaultCrashOrPowerCut)
{
    const std::string text4095(4095, 'T');
    auto old = [](const fs::path& d) { testenv::write_file(d / "records.dat", OLD); };
    auto linked = [&old](const fs::path& d) {
        old(d);
        fs::create_hard_link(d / "records.dat", d / "home/records.link");
    };
    auto readOnly = [&old](const fs::path& d) {
        old(d);
        g_readOnlyFolder = d.string();
    };
    auto fewer = [] { KindTable[1] = {}; };
    testenv::write_file(m_file, OLD);
    ASSERT_EQ(protect_record_file(m_file.c_str(), SEALED_PASSWORD, KeyCost::least()), Conversion::Done);
    const std::string oldSealed = fileBytes();
    auto sealed = [&oldSealed](const fs::path& d) { testenv::write_file(d / "records.dat", oldSealed); };
    auto sealedLinked = [&sealed](const fs::path& d) {
        sealed(d);
        fs::create_hard_link(d / "records.dat", d / "home/records.link");
    };
    randombytes_set_implementation(&g_replayed);
    const std::vector<Scenario> scenarios = {
        {"add into a free block",
         [](const fs::path& d) {
             testenv::write_file(d / "records.dat",
                                 file_bytes({{10, "ten"}}, {rec(10, "a"), make_record(0, 0, ""), rec(10, "c")}));
         },
         [] { return record_op(sub_add_datafile(10, "new") >= 0); }},
        {"add appending", old, [] { return record_op(sub_add_datafile(20, "new") >= 0); }},
        {"add into a missing file", [](const fs::path&) {},
         [] { return record_op(sub_add_datafile(10, "first") >= 0); }},
        {"rename", old, [] { return record_op(sub_change_datafile(2, "renamed") == 0); }},
        {"delete", old, [] { return record_op(sub_delete_datafile(0) == 0); }},
        {"update with a 4095-byte text", old,
         [&text4095] { return record_op(sub_update_datafile(0, text4095.c_str(), -1) == 0); }},
        {"change of category", old, [] { return record_op(sub_update_datafile(2, nullptr, 20) == 0); }},
        {"purge", old, [] { return record_op(kindedt_delete(0) == 0); }},
        {"category renamed, header in place", old,
         [] {
             strcpy(KindTable[1].name, "renamed twenty");
             return header_save(store_category_header());
         }},
        {"category deleted, new image", old,
         [&fewer] {
             fewer();
             return header_save(store_category_header());
         }},
        {"new image beside a hard link", linked,
         [&fewer] {
             fewer();
             return header_save(store_category_header());
         }},
        {"new image where the folder cannot be written", readOnly,
         [&fewer] {
             fewer();
             return header_save(store_category_header());
         }},
        {"update in a folder that cannot be written", readOnly,
         [] { return record_op(sub_update_datafile(1, "x", -1) == 0); }},
        {"protected: add appending", sealed, [] { return record_op(sub_add_datafile(20, "new") >= 0); }, true},
        {"protected: update with a 4095-byte text", sealed,
         [&text4095] { return record_op(sub_update_datafile(0, text4095.c_str(), -1) == 0); }, true},
        {"protected: purge", sealed, [] { return record_op(kindedt_delete(0) == 0); }, true},
        {"protected: new password, header in place", sealed,
         [] {
             data_key::rewrap("new", KeyCost::least());
             return header_save(store_category_header());
         },
         true},
        {"protected: category deleted, new image", sealed,
         [&fewer] {
             fewer();
             return header_save(store_category_header());
         },
         true},
        {"protected: new image beside a hard link", sealedLinked,
         [&fewer] {
             fewer();
             return header_save(store_category_header());
         },
         true},
    };

    int faults = 0, sticky = 0, crashes = 0, cuts = 0, recoveries = 0;
    std::vector<std::string> lost;
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        // The change without faults, counting its file calls and recording the power-loss points.
        reset(s);
        const std::optional<std::string> oldBytes = state();
        g_calls = 0;
        g_target = -1;
        g_sticky = g_crash = false;
        g_model.start(dir().string());
        g_recording = true;
        set_file_call_hook(hook);
        ASSERT_EQ(s.run(), Told::New);
        g_model.before(FileCall::Stat, -1); // the end state
        g_recording = false;
        set_file_call_hook(nullptr);
        const int calls = g_calls;
        const std::optional<std::string> newBytes = state();
        ASSERT_NE(newBytes, oldBytes);
        const std::vector<Disk> points = g_model.points;

        auto whole = [&](const std::optional<std::string>& now) {
            // A new file that holds only its zero count has no records, as no file has none.
            return now == oldBytes || now == newBytes || (!oldBytes && now == std::string(4, '\0'));
        };
        auto check = [&](bool ok, const std::string& what) {
            if (!ok)
                lost.push_back(std::string(s.name) + ": " + what);
        };

        for (int target = 0; target < calls; ++target) {
            for (const bool keep : {false, true}) {
                // A failure (kept on or not): reported as such, and the file as it was
                // (or, where the result says so, the new file).
                reset(s);
                g_calls = 0;
                g_target = target;
                g_sticky = keep;
                g_crash = false;
                set_file_call_hook(hook);
                const Told told = s.run();
                g_target = -1;
                g_readOnlyFolder.clear();
                const bool started = nextStart();
                const std::optional<std::string> after = state();
                (keep ? sticky : faults)++;
                // A change that failed once is rolled back at once; one whose disk
                // stays failing may only be decided by the next start.
                const bool asTold = told == Told::New            ? after == newBytes
                                    : told == Told::Old || !keep ? !(after == newBytes)
                                                                 : true;
                check(started && whole(after) && asTold,
                      (keep ? "fault kept on from call " : "fault at call ") + std::to_string(target) +
                          (started ? "" : ", next start not clean") + (whole(after) ? "" : ", torn") +
                          (asTold ? "" : ", not as the result said") + " told " +
                          std::to_string(static_cast<int>(told)) + (after == newBytes ? " new" : " old"));
            }

            // A crash just before the call, then the next start.
            reset(s);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                g_calls = 0;
                g_target = target;
                g_sticky = false;
                g_crash = true;
                set_file_call_hook(hook);
                s.run();
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            g_readOnlyFolder.clear();
            ++crashes;
            check(nextStart() && whole(state()), "crash before call " + std::to_string(target));
        }

        // The power cut after each call: every file as synced, as last written, or half of each;
        // then recovery, and recovery with a failure at each of its own calls.
        for (size_t p = 0; p < points.size(); ++p) {
            for (const Variant v :
                 {Variant::Synced, Variant::Current, Variant::MixedFromCurrent, Variant::MixedFromSynced}) {
                materialize(points[p], dir().string(), v, "");
                ++cuts;
                const bool started = nextStart();
                check(started && whole(state()), "power cut at point " + std::to_string(p) + " variant " +
                                                     std::to_string(static_cast<int>(v)) +
                                                     (started ? "" : ", next start not clean"));
                if (v != Variant::Current)
                    continue;
                for (int target = 0;; ++target) {
                    materialize(points[p], dir().string(), v, "");
                    g_calls = 0;
                    g_target = target;
                    g_sticky = g_crash = false;
                    set_file_call_hook(hook);
                    begin_record_session(m_file.c_str());
                    const bool reached = g_calls > target;
                    set_file_call_hook(nullptr);
                    g_target = -1;
                    end_record_session();
                    if (!reached)
                        break;
                    ++recoveries;
                    check(nextStart() && whole(state()), "power cut at point " + std::to_string(p) +
                                                             ", recovery failing at call " + std::to_string(target));
                }
            }
        }
    }
    std::cout << "durability: " << faults << " single faults, " << sticky << " faults kept on, " << crashes
              << " crashes, " << cuts << " power cuts, " << recoveries << " failing recoveries; " << lost.size()
              << " lost or torn\n";
    for (const std::string& what : lost)
        ADD_FAILURE() << what;
    EXPECT_GT(cuts, 500);
}
