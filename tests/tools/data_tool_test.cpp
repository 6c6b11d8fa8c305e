// kestrel-data: check on whole and damaged files, list order, show, and the
// export that KeePassXC imports.
#include "test_env.h"

#include "platform/registry.h"
#include "store/record_file.h"
#include "store/file/run_backup.h"
#include "tools/data/data_tool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/wait.h>

namespace {

struct Result
{
    int status;
    std::string out;
    std::string err;
};

Result run(std::vector<std::string> args, const std::string& input = "")
{
    args.insert(args.begin(), "kestrel-data");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = kdata::run_data_tool(static_cast<int>(args.size()), argv.data(), in, out, err);
    return {status, out.str(), err.str()};
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
    EXPECT_EQ(run({"import", "x.xml"}).err, "kestrel-data: import is not available yet\n");
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
