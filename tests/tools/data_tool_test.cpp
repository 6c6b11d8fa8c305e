// kestrel-data: check on whole and damaged files, list order, show, and the
// export that KeePassXC imports.
#include "test_env.h"
#include "tool_run.h"

#include "platform/cp932.h"
#include "platform/registry.h"
#include "store/file/record_session.h"
#include "store/file/run_backup.h"
#include "store/record_file.h"
#include "tools/data/data_tool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Result = ToolResult;

Result run(std::vector<std::string> args, const std::string& input = "")
{
    return run_tool(kdata::run_data_tool, "kestrel-data", std::move(args), input);
}

struct Record
{
    int32_t flag;
    int32_t kind;
    std::string name; // CP932
    std::string data;
};

// The bytes of a record file with these categories and records.
std::string record_file(const std::vector<std::pair<int32_t, std::string>>& kinds, const std::vector<Record>& records)
{
    const int32_t count = static_cast<int32_t>(kinds.size());
    std::string bytes(reinterpret_cast<const char*>(&count), sizeof count);
    for (const auto& [id, name] : kinds) {
        KindHeader header{};
        header.kind_id = id;
        std::memcpy(header.name, name.data(), name.size());
        scramble_block(&header, sizeof header);
        bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    }
    for (const Record& r : records) {
        CatgRecord block{};
        block.flag = r.flag;
        block.catg_kind = r.kind;
        std::memcpy(block.name, r.name.data(), r.name.size());
        std::memcpy(block.data, r.data.data(), r.data.size());
        scramble_block(&block, sizeof block);
        bytes.append(reinterpret_cast<const char*>(&block), sizeof block);
    }
    return bytes;
}

// 銀行 (id 10) and Mail (id 20); records in mixed case, one free block, one
// record of a category without a header (id 30).
std::string sample_file()
{
    return record_file({{10, "\x8B\xE2\x8D\x73"}, {20, "Mail"}},
                       {{1, 20, "gmail", "user: a\r\npass: b"},
                        {1, 10, "\x82\xA0\x82\xA8\x82\xBC\x82\xE7", "<&\"x\">"},
                        {0, 0, "", ""},
                        {1, 20, "Apple", "id"},
                        {1, 30, "lost", "kept"}});
}

std::string cp(const std::string& utf8)
{
    std::string out;
    EXPECT_TRUE(cp932::from_utf8(utf8, out)) << utf8;
    return out;
}

// Each category (id and name) with the names and texts of its live records, as stored.
std::map<std::string, std::multiset<std::string>> contents(const std::string& bytes,
                                                           std::vector<int32_t>* ids = nullptr)
{
    int32_t count = 0;
    std::memcpy(&count, bytes.data(), sizeof count);
    std::map<int32_t, std::string> names;
    std::map<std::string, std::multiset<std::string>> found;
    for (int32_t i = 0; i < count; ++i) {
        KindHeader header;
        std::memcpy(&header, bytes.data() + COUNT_SIZE + i * HEADER_SIZE, sizeof header);
        unscramble_block(&header, sizeof header);
        names[header.kind_id] = header.name;
        found[header.name];
        if (ids)
            ids->push_back(header.kind_id);
    }
    for (size_t at = record_offset(count, 0); at + RECORD_SIZE <= bytes.size(); at += RECORD_SIZE) {
        CatgRecord block;
        std::memcpy(&block, bytes.data() + at, sizeof block);
        unscramble_block(&block, sizeof block);
        if (block.flag == 1)
            found[names[block.catg_kind]].insert(std::string(block.name) + '\t' + block.data);
    }
    return found;
}

int shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

using DataTool = TempDirTest;

TEST_F(DataTool, CheckSaysWhatIsWrongAndIsZeroOnlyForAWholeFile)
{
    const std::string whole = sample_file();
    std::string bad_count = whole;
    bad_count[0] = '\xC8'; // 200 headers
    std::string damaged = whole;
    // Record 1's name: 512 bytes without a terminator.
    std::memset(damaged.data() + record_offset(2, 1) + 8, 0x00, NAME_SIZE);
    const struct
    {
        const char* what;
        std::string bytes;
        int status;
        std::vector<std::string> lines;
    } cases[] = {
        {"whole",
         whole,
         0,
         {"  categories                              2\n", "  live records                            4\n",
          "  free records                            1\n", "  records whose category has no header    1\n",
          "note: record 4 (lost): category 30 has no header; kestrel lists it only under (ALL)\n", ": whole\n"}},
        {"cut",
         whole.substr(0, whole.size() - 100),
         1,
         {"  live records                            3\n",
          "problem: 4516 bytes after the last whole block (a cut record)\n", ": not whole\n"}},
        {"count", bad_count, 1, {"problem: header count 200 is outside 0 to 128\n", ": not whole\n"}},
        {"block",
         damaged,
         1,
         {"  damaged blocks                          1\n",
          "problem: record 1: damaged block: its name has no terminator\n"}},
        {"headers cut", whole.substr(0, 600), 1, {"problem: shorter than its 2 category headers\n"}},
        {"headers",
         record_file({{10, "a"}, {10, "b"}, {0, "c"}}, {{1, 10, "r", ""}}),
         1,
         {"problem: category header 1: id 10 is used twice\n", "problem: category header 2: id 0 is not above 0\n",
          "  categories                              1\n"}},
    };
    for (const auto& c : cases) {
        testenv::write_file(path("k.dat"), c.bytes);
        const Result result = run({"check", path("k.dat").string()});
        EXPECT_EQ(result.status, c.status) << c.what << '\n' << result.out;
        for (const std::string& line : c.lines)
            EXPECT_NE(result.out.find(line), std::string::npos) << c.what << ": " << line << '\n' << result.out;
        EXPECT_EQ(testenv::read_file(path("k.dat")), c.bytes) << c.what; // unchanged
    }
    // An image of an unfinished save is a note; a journal beside the file, a run that did not end.
    testenv::write_file(path("k.dat"), whole);
    testenv::write_file(path(".k.dat.Ab12Cd"), "image");
    const Result image = run({"check", path("k.dat").string()});
    EXPECT_EQ(image.status, 0);
    EXPECT_NE(image.out.find("note: left-over image of an unfinished save " + path(".k.dat.Ab12Cd").string()),
              std::string::npos);
    testenv::write_file(path("k.dat"), whole);
    testenv::write_file(path(".k.dat.kestrel-journal"), "j");
    const Result journal = run({"check", path("k.dat").string()});
    EXPECT_EQ(journal.status, 1);
    EXPECT_EQ(journal.err, "kestrel-data: " + path("k.dat").string() + " is not whole\n");
}

TEST_F(DataTool, ListAndShowFollowTheListsOrderAndTheRegistry)
{
    testenv::write_file(path("k.dat"), sample_file());
    const std::string cp932_path = path("k.dat").string(); // ASCII: the same bytes in CP932
    const Result unset = run({"list"});
    EXPECT_EQ(unset.status, 1);
    EXPECT_EQ(unset.err, "kestrel-data: no FILE given, and no record file set in the registry (kest_datafile)\n");
    reg::KeyHandle key;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::Ok);
    reg::set_value(key, "kest_datafile", reg::REG_SZ, cp932_path.c_str(), static_cast<uint32_t>(cp932_path.size() + 1));
    reg::close_key(key);
    EXPECT_EQ(run({"list"}).out, "Mail\n  Apple\n  gmail\n銀行\n  あおぞら\n(no category)\n  lost\n");
    EXPECT_EQ(run({"show", "gmail", cp932_path}).out, "user: a\npass: b\n");
    const Result missing = run({"show", "nothing", cp932_path});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kestrel-data: no record named nothing in " + cp932_path + "\n");
    EXPECT_EQ(run({"export", cp932_path}).status, 2); // --format is needed
}

TEST_F(DataTool, ExportIsWhatKeePassXcImportsAndExportsAgain)
{
    testenv::write_file(path("k.dat"), sample_file());
    const Result csv = run({"export", "--format", "csv", path("k.dat").string()});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\","
                       "\"Last Modified\",\"Created\"\n"
                       "\"Root\",\"lost\",\"\",\"\",\"\",\"kept\",\"\",\"0\",\"\",\"\"\n"
                       "\"Root/Mail\",\"Apple\",\"\",\"\",\"\",\"id\",\"\",\"0\",\"\",\"\"\n"
                       "\"Root/Mail\",\"gmail\",\"\",\"\",\"\",\"user: a\npass: b\",\"\",\"0\",\"\",\"\"\n"
                       "\"Root/銀行\",\"あおぞら\",\"\",\"\",\"\",\"<&\"\"x\"\">\",\"\",\"0\",\"\",\"\"\n");
    const Result xml = run({"export", "--format=keepass-xml", path("k.dat").string()});
    ASSERT_EQ(xml.status, 0) << xml.err;
    testenv::write_file(path("k.xml"), xml.out);

    if (shell("command -v keepassxc-cli > /dev/null") != 0)
        GTEST_SKIP() << "keepassxc-cli is not installed (scripts/setup.sh installs keepassxc)";
    ASSERT_EQ(shell("printf 'pw\\npw\\n' | keepassxc-cli import -q -p k.xml k.kdbx > import.log 2>&1"), 0)
        << testenv::read_file(path("import.log"));
    ASSERT_EQ(shell("printf 'pw\\n' | keepassxc-cli export -q -f csv k.kdbx > back.csv 2> export.log"), 0)
        << testenv::read_file(path("export.log"));
    // KeePassXC's own export: the same rows, its times in the last two columns.
    std::string back = testenv::read_file(path("back.csv"));
    std::istringstream lines(back);
    std::string ours, line;
    for (std::string row; std::getline(lines, row);) {
        line += row;
        if (std::count(line.begin(), line.end(), '"') % 2 != 0) { // a line break inside a field
            line += '\n';
            continue;
        }
        const size_t times = line.rfind("\",\"", line.rfind("\",\"") - 1);
        ours += (line.starts_with("\"Group\"") ? line : line.substr(0, times) + "\",\"\",\"\"") + '\n';
        line.clear();
    }
    EXPECT_EQ(ours, csv.out);
}

TEST_F(DataTool, ProtectAndUnprotectGiveBackTheFileByteForByteOnlyWithThePassword)
{
    const std::filesystem::path file = path("records.dat");
    const std::string windows = sample_file();
    testenv::write_file(file, windows);
    const struct
    {
        std::vector<std::string> args;
        std::string password;
        int status;
        bool protectedAfter;
    } steps[] = {
        {{"protect", file.string()}, "", 1, false}, // no password: refused
        {{"protect", file.string()}, "kestrel pass\n", 0, true},
        {{"protect", file.string()}, "kestrel pass\n", 1, true}, // already protected
        {{"unprotect", file.string()}, "wrong\n", 1, true},
        {{"unprotect", file.string()}, "kestrel pass\n", 0, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args[0] + " with " + step.password);
        const Result result = run(step.args, step.password);
        EXPECT_EQ(result.status, step.status) << result.err;
        const std::string now = testenv::read_file(file);
        EXPECT_EQ(now.starts_with("KESTRELP"), step.protectedAfter);
        if (step.protectedAfter) {
            EXPECT_EQ(now.find("gmail"), std::string::npos);
        } else {
            EXPECT_EQ(now, windows);
        }
    }
}

TEST_F(DataTool, BackupsOfTheFileAreListedOldestFirst)
{
    testenv::write_file(path("k.dat"), sample_file());
    const std::filesystem::path folder = dir() / "home" / ".local" / "state" / "kestrel" / "backups";
    std::filesystem::create_directories(folder);
    const std::string prefix = backup_prefix(path("k.dat").string());
    testenv::write_file(folder / (prefix + "20261209-143012"), sample_file());
    testenv::write_file(folder / (prefix + "20261208-090000"), record_file({}, {{1, 10, "a", ""}}));
    testenv::write_file(folder / (prefix + "notastamp"), "x");
    testenv::write_file(folder / "other.dat-00000000-20261209-143012", "x");
    const Result result = run({"backups", path("k.dat").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              (folder / (prefix + "20261208-090000")).string() + "\t2026-12-08 09:00:00\t4620 bytes\t1 records\n" +
                  (folder / (prefix + "20261209-143012")).string() + "\t2026-12-09 14:30:12\t24116 bytes\t4 records\n");
}

TEST_F(DataTool, ShowAndExportNameWhatTheyCannotDoExactly)
{
    testenv::write_file(path("k.dat"),
                        record_file({{10, "A"}, {20, "B"}},
                                    {{1, 20, "same", "two"}, {1, 10, "same", "one"}, {1, 10, "bell", "ring\x07"}}));
    const Result shown = run({"show", "same", path("k.dat").string()});
    EXPECT_EQ(shown.out, "one\n");
    EXPECT_EQ(shown.err, "kestrel-data: 2 records are named same; this is the one in A\n");
    const Result xml = run({"export", "--format", "keepass-xml", path("k.dat").string()});
    EXPECT_EQ(xml.status, 1);
    EXPECT_EQ(xml.out, "");
    EXPECT_EQ(xml.err, "kestrel-data: record 2 (bell) holds a control character that XML cannot carry\n");
    EXPECT_EQ(run({"export", "--format", "csv", path("k.dat").string()}).status, 0);
}

TEST_F(DataTool, UsageMistakesAreStatusTwoAndRegistryPathsAreChecked)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"show"},
                                               {"list", "a", "b"},
                                               {"list", "--format", "csv"},
                                               {"check", "--bogus"},
                                               {"export", "--format", "keepass"}}) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_TRUE(result.err.ends_with("\nTry 'kestrel-data --help' for more information.\n")) << result.err;
    }
    EXPECT_TRUE(run({"--help"}).out.starts_with("Usage: kestrel-data COMMAND"));

    reg::KeyHandle key;
    ASSERT_EQ(reg::create_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::Ok);
    const std::string windows = "C:\\Users\\me\\kestrel.dat";
    reg::set_value(key, "kest_datafile", reg::REG_SZ, windows.c_str(), static_cast<uint32_t>(windows.size() + 1));
    reg::close_key(key);
    EXPECT_EQ(run({"check"}).err,
              "kestrel-data: kest_datafile holds the Windows path C:\\Users\\me\\kestrel.dat: give FILE\n");
    EXPECT_EQ(run({"check", "/tmp/😀.dat"}).err,
              "kestrel-data: the path /tmp/😀.dat cannot be written in CP932, as kestrel keeps paths\n");
}

TEST_F(DataTool, ImportOfAnExportGivesTheSameCategoriesNamesAndTexts)
{
    const std::string source =
        record_file({{10, cp("銀行")}, {20, "Mail"}, {30, cp("空")}}, {{1, 20, "gmail", "user: a\r\npass: b\r\n"},
                                                                       {1, 10, cp("あおぞら"), "<&\"x\">"},
                                                                       {0, 0, "", ""},
                                                                       {1, 20, "Apple", "id"}});
    testenv::write_file(path("k.dat"), source);
    for (const std::string format : {"keepass-xml", "csv"}) {
        const Result exported = run({"export", "--format", format, "k.dat"});
        testenv::write_file(path("out"), exported.out);
        std::filesystem::remove(path("new.dat"));
        const Result imported = run({"import", "--format", format, "out", "new.dat"});
        ASSERT_EQ(imported.status, 0) << format << imported.err;
        std::vector<int32_t> ids;
        auto expected = contents(source);
        if (format == "csv")
            expected.erase(cp("空")); // a CSV has no rows for an empty category
        EXPECT_EQ(contents(testenv::read_file(path("new.dat")), &ids), expected) << format;
        const std::vector<int32_t> expected_ids =
            format == "csv" ? std::vector<int32_t>{10, 20} : std::vector<int32_t>{10, 20, 30};
        EXPECT_EQ(ids, expected_ids);
    }
}

TEST_F(DataTool, KeePassXcCsvImportsIntoFreeBlocksAndNewCategories)
{
    if (shell("command -v keepassxc-cli > /dev/null") != 0)
        GTEST_SKIP() << "keepassxc-cli is not installed (scripts/setup.sh installs keepassxc)";
    const std::string made = "printf 'pw\\npw\\n' | keepassxc-cli db-create -q -p k.kdbx"
                             " && for g in Mail Work Work/Sub; do echo pw | keepassxc-cli mkdir -q k.kdbx $g; done"
                             " && printf 'pw\\n' | keepassxc-cli add -q -u bob k.kdbx top"
                             " && printf 'pw\\nsecret\"x\\n' | keepassxc-cli add -q -u alice --url https://m.example"
                             " -p --notes \"$(printf 'line1\\nline2')\" k.kdbx Mail/gmail"
                             " && printf 'pw\\n' | keepassxc-cli add -q --notes 日本語 k.kdbx Work/Sub/deep"
                             " && printf 'pw\\n' | keepassxc-cli export -q -f csv k.kdbx > k.csv";
    ASSERT_EQ(shell("(" + made + ") > made.log 2>&1"), 0) << testenv::read_file(path("made.log"));
    // Id 30 is a record's already: the new category's id is the lowest one free.
    testenv::write_file(path("k.dat"),
                        record_file({{10, "Mail"}}, {{1, 10, "a", ""}, {0, 0, "", ""}, {1, 30, "o", ""}}));
    const Result result = run({"import", "k.csv", "--format=csv", "k.dat"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "imported 3 records and 2 new categories into k.dat\n");
    EXPECT_EQ(
        testenv::read_file(path("k.dat")),
        record_file({{10, "Mail"}, {20, cp("未分類")}, {40, "Work/Sub"}},
                    {{1, 10, "a", ""},
                     {1, 20, "top", cp("ユーザー名: bob")},
                     {1, 30, "o", ""},
                     {1, 10, "gmail",
                      cp("ユーザー名: alice\r\nパスワード: secret\"x\r\nURL: https://m.example\r\nline1\r\nline2")},
                     {1, 40, "deep", cp("日本語")}}));
}

TEST_F(DataTool, ABadEntryRefusesTheImportAndSkipBadListsIt)
{
    std::vector<std::pair<int32_t, std::string>> full; // 127 categories: 未分類 is the last one that fits
    for (int32_t i = 0; i < 127; ++i)
        full.emplace_back(10 * (i + 1), "k" + std::to_string(i));
    const std::string before = record_file(full, {});
    const struct
    {
        std::string row;
        std::string refusal;
    } bad[] = {
        {"\"Root\",\"😀 smile\",\"\",\"\",\"\",\"\"",
         "entry 2 \"😀 smile\": its title holds \"😀\" (U+1F600), which CP932 cannot hold"},
        {"\"Root\",\"" + std::string(512, 'a') + "\",\"\",\"\",\"\",\"\"",
         "entry 3 \"" + std::string(512, 'a') + "\": its title is 512 bytes in CP932, over 511"},
        {"\"Root\",\"long\",\"u\",\"\",\"\",\"" + std::string(4081, 'n') + "\"",
         "entry 4 \"long\": its text is 4096 bytes in CP932, over 4,095"},
        {"\"Root/한국\",\"x\",\"\",\"\",\"\",\"\"",
         "entry 5 \"한국/x\": its group's name holds \"한\" (U+D55C), which CP932 cannot hold"},
        {"\"Root/Full\",\"y\",\"\",\"\",\"\",\"\"",
         "entry 6 \"Full/y\": no room for its category \"Full\": a record file holds at most 128 categories"},
    };
    std::string csv =
        "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\"\n\"Root\",\"good\",\"\",\"\",\"\",\"ok\"\n";
    std::string refused, skipped;
    for (const auto& b : bad) {
        csv += b.row + "\n";
        refused += "kestrel-data: " + b.refusal + "\n";
        skipped += "skipped " + b.refusal + "\n";
    }
    testenv::write_file(path("in.csv"), csv);
    testenv::write_file(path("k.dat"), before);
    const Result all = run({"import", "--format", "csv", "in.csv", "k.dat"});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.err,
              refused + "kestrel-data: nothing imported: 5 entries cannot be stored (--skip-bad imports the others)\n");
    EXPECT_EQ(testenv::read_file(path("k.dat")), before);
    const Result some = run({"import", "--format", "csv", "--skip-bad", "in.csv", "k.dat"});
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(some.out, skipped + "imported 1 records and 1 new categories into k.dat\n");
    full.emplace_back(1280, cp("未分類"));
    EXPECT_EQ(testenv::read_file(path("k.dat")), record_file(full, {{1, 1280, "good", "ok"}}));
}

TEST_F(DataTool, RestoreKeepsTheCurrentFileAsABackupAndPutsTheBackupsBytesBack)
{
    const std::filesystem::path folder = dir() / "home" / ".local" / "state" / "kestrel" / "backups";
    std::filesystem::create_directories(folder);
    const std::string name = backup_prefix(path("k.dat").string()) + "20261208-090000";
    const std::string old = record_file({{10, "A"}}, {{1, 10, "a", "old"}});
    testenv::write_file(folder / name, old);
    testenv::write_file(folder / "cut", old.substr(0, old.size() - 1));
    testenv::write_file(path("k.dat"), sample_file());

    const Result cut = run({"restore", (folder / "cut").string(), "k.dat"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(cut.err.ends_with(" is not a whole record file (kestrel-data check " + (folder / "cut").string() +
                                  " tells why); nothing restored\n"))
        << cut.err;
    const Result restored = run({"restore", name, "k.dat"}); // by the name backups lists
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(testenv::read_file(path("k.dat")), old);
    std::string kept_bytes;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != name && entry.path().filename() != "cut")
            kept_bytes = testenv::read_file(entry.path());
    EXPECT_EQ(kept_bytes, sample_file());
    EXPECT_NE(restored.out.find("the file it replaced is kept as " + folder.string()), std::string::npos)
        << restored.out;
    EXPECT_EQ(run({"restore", name, "k.dat"}).out,
              "k.dat holds the bytes of " + (folder / name).string() + " already; nothing written\n");
}

TEST_F(DataTool, ChangesRefuseWhileKestrelHasTheFileOpen)
{
    testenv::write_file(path("k.dat"), sample_file());
    testenv::write_file(path("b.dat"), record_file({}, {}));
    testenv::write_file(path("in.csv"), "\"Group\",\"Title\"\n\"Root\",\"t\"\n");
    int held[2], done[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // kestrel's run: the lock held until the parent is done
        const bool ready = begin_record_session(path("k.dat").c_str()) == SessionStart::Ready;
        char byte = ready ? 'r' : 'x';
        ssize_t ignored = write(held[1], &byte, 1);
        ignored = read(done[0], &byte, 1);
        (void)ignored;
        end_record_session();
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(held[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'r');
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"import", "--format", "csv", "in.csv", "k.dat"}, {"restore", path("b.dat").string(), "k.dat"}}) {
        const Result result = run(args);
        EXPECT_EQ(result.status, 1) << args[0];
        EXPECT_EQ(result.err,
                  "kestrel-data: k.dat is open in kestrel (or in another kestrel-data): close it first; nothing "
                  "changed\n");
    }
    EXPECT_EQ(write(done[1], "d", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(testenv::read_file(path("k.dat")), sample_file());
    EXPECT_EQ(run({"import", "--format", "csv", "in.csv", "k.dat"}).status, 0); // once it has ended
}

TEST_F(DataTool, KeePassXmlLeavesOutHistoryAndTheRecycleBinAndKeepsEmptyGroups)
{
    auto entry = [](const std::string& title, const std::string& more = "") {
        return "<Entry><UUID>e</UUID><String><Key>Title</Key><Value>" + title +
               "</Value></String><String><Key>URL</Key><Value>u&amp;v</Value></String>" + more + "</Entry>";
    };
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><KeePassFile><Meta><RecycleBinUUID>bin</RecycleBinUUID></Meta>"
        "<Root><Group><UUID>top</UUID><Name>Passwords</Name>" +
        entry("loose") + "<Group><UUID>a</UUID><Name>A</Name><Group><UUID>b</UUID><Name>B</Name>" +
        entry("new", "<History>" + entry("old") + "</History>") +
        "</Group></Group><Group><UUID>c</UUID><Name>Empty</Name></Group><Group><UUID>bin</UUID><Name>Recycle "
        "Bin</Name>" +
        entry("deleted") + "</Group></Group><DeletedObjects/></Root></KeePassFile>";
    testenv::write_file(path("in.xml"), xml);
    const Result result = run({"import", "--format", "keepass-xml", "in.xml", "k.dat"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::map<std::string, std::multiset<std::string>> expected = {
        {cp("未分類"), {"loose\tURL: u&v"}}, {"A/B", {"new\tURL: u&v"}}, {"Empty", {}}};
    EXPECT_EQ(contents(testenv::read_file(path("k.dat"))), expected);
}

TEST_F(DataTool, RefusedInputsAndDamagedFilesChangeNothing)
{
    const std::string damaged = sample_file().substr(0, 600); // shorter than its two headers
    const std::string backup = record_file({}, {{1, 10, "a", ""}});
    const struct
    {
        std::string input;
        std::vector<std::string> args;
        std::string file;
        std::string err;
    } cases[] = {
        {"<Root/>",
         {"import", "--format", "keepass-xml"},
         sample_file(),
         "not a KeePass 2 XML file: line 1: no KeePassFile element"},
        {"<KeePassFile><Root><Group>",
         {"import", "--format", "keepass-xml"},
         sample_file(),
         "not a KeePass 2 XML file: line 1: Premature end of document."},
        {"\"Group\",\"Title\"\n\"Root\",\"a",
         {"import", "--format", "csv"},
         sample_file(),
         "not a KeePassXC CSV file: line 2: a quoted field does not end"},
        {"\"Group\",\"Name\"\n",
         {"import", "--format", "csv"},
         sample_file(),
         "not a KeePassXC CSV file: line 1: no \"Group\" and \"Title\" columns"},
        {"\"Group\",\"Title\"\n\"Root\",\"a\",\"b\"\n",
         {"import", "--format", "csv"},
         sample_file(),
         "not a KeePassXC CSV file: line 2: 3 fields, the header row has 2"},
        {"\"Group\",\"Title\"\n\"Root\",\"a\"\n",
         {"import", "--format", "csv"},
         damaged,
         "k.dat is damaged (kestrel-data check tells why); nothing imported"},
        {backup,
         {"restore"},
         damaged,
         "k.dat is damaged (kestrel-data check tells why) and is never written over: move it aside, then restore; "
         "nothing restored"},
    };
    for (const auto& c : cases) {
        testenv::write_file(path("in"), c.input);
        testenv::write_file(path("k.dat"), c.file);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {path("in").string(), "k.dat"});
        const Result result = run(args);
        EXPECT_EQ(result.status, 1) << c.err;
        EXPECT_EQ(result.err, "kestrel-data: " + c.err + "\n");
        EXPECT_EQ(testenv::read_file(path("k.dat")), c.file) << c.err;
        EXPECT_FALSE(std::filesystem::exists(path(".k.dat.kestrel-lock"))) << c.err; // the lock is given up
    }
    // A missing record file is made from the backup; there was nothing to keep.
    std::filesystem::remove(path("k.dat"));
    EXPECT_EQ(run({"restore", path("in").string(), "k.dat"}).status, 0);
    EXPECT_EQ(testenv::read_file(path("k.dat")), backup);
}
