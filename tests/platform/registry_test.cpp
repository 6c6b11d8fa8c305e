#include "platform/registry.h"
#include "platform/registry_digits.h"

#include "test_env.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kNotFound = "<1>"; // as read() shows Status::NotFound

class RegistryTest : public TempDirTest
{
protected:
    fs::path hklm() const { return registryRoot() / "HKEY_LOCAL_MACHINE"; }

    static reg::KeyHandle create(const char* subkey)
    {
        reg::KeyHandle key = nullptr;
        EXPECT_EQ(reg::create_key(reg::Hive::LocalMachine, subkey, &key), reg::Status::Ok) << subkey;
        return key;
    }

    static void setText(reg::KeyHandle key, const char* name, const std::string& text)
    {
        ASSERT_EQ(reg::set_value(key, name, reg::REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1)),
                  reg::Status::Ok);
    }

    // The value's bytes, or "<status>" when it cannot be read.
    static std::string read(reg::KeyHandle key, const char* name, uint32_t capacity = 4096)
    {
        std::string data(capacity, '\0');
        uint32_t size = capacity;
        reg::Status status = reg::query_value(key, name, nullptr, data.data(), &size);
        if (status == reg::Status::Ok)
            return data.substr(0, size);
        return data.assign("<").append(std::to_string(static_cast<int>(status))).append(">");
    }

    static std::vector<std::string> entriesOf(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

mode_t modeOf(const fs::path& path)
{
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

} // namespace

TEST_F(RegistryTest, RootFolderFollowsTheEnvironment)
{
    EXPECT_EQ(reg::root_folder(), registryRoot().string());
    unsetenv("KESTREL_REGISTRY");
    setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(reg::root_folder(), "/xdg/kestrel/registry");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(reg::root_folder(), (dir() / "home/.config/kestrel/registry").string());
}

TEST_F(RegistryTest, OpenForQueryCreatesNothingAndCreateMakesEveryMissingKeyPrivate)
{
    reg::KeyHandle key = nullptr;
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::NotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(fs::exists(registryRoot()));

    reg::close_key(create("SOFTWARE\\Vendor\\Product"));
    for (fs::path p :
         {registryRoot(), hklm(), hklm() / "SOFTWARE", hklm() / "SOFTWARE/Vendor", hklm() / "SOFTWARE/Vendor/Product"})
        EXPECT_EQ(modeOf(p), 0700u) << p;
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::NotFound);
    EXPECT_EQ(entriesOf(hklm() / "SOFTWARE"), std::vector<std::string>{"Vendor"});

    // Names match without regard to case and keep the case they were created with.
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "software\\VENDOR\\product", &key), reg::Status::Ok);
    reg::close_key(key);
    reg::close_key(create("SOFTWARE\\vendor\\Other"));
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\Vendor", &key), reg::Status::Ok);
    EXPECT_EQ(reg::subkey_names(key), (std::vector<std::string>{"Other", "Product"}));
    reg::close_key(key);

    // 255 bytes make the longest key name.
    const std::string longest = "SOFTWARE\\" + std::string(255, 'k');
    reg::close_key(create(longest.c_str()));
    for (const std::string& bad : {longest + "k", std::string("SOFTWARE\\\\empty")})
        EXPECT_EQ(reg::create_key(reg::Hive::LocalMachine, bad.c_str(), &key), reg::Status::InvalidName) << bad;
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, (longest + "k").c_str(), &key), reg::Status::InvalidName);
}

TEST_F(RegistryTest, ValuesKeepTheirTypeExactBytesAndFirstSpelling)
{
    reg::KeyHandle key = create("SOFTWARE\\qelt_key_yoyaku");
    ASSERT_EQ(reg::set_value(key, "bin", reg::REG_BINARY, "\0\xFF\r\n\\", 5), reg::Status::Ok);
    setText(key, "Kest_Datafile", "C:\\data\\kestrel.dat");

    uint32_t type = 0;
    char out[8] = "xxxxxxx";
    uint32_t size = 4;
    EXPECT_EQ(reg::query_value(key, "BIN", &type, out, &size), reg::Status::MoreData);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(out, 8), std::string("xxxxxxx\0", 8)); // untouched
    size = 5;
    ASSERT_EQ(reg::query_value(key, "BIN", &type, out, &size), reg::Status::Ok);
    EXPECT_EQ(type, reg::REG_BINARY);
    EXPECT_EQ(std::string(out, 8), std::string("\0\xFF\r\n\\xx\0", 8));

    // The file holds a fixed header and the data as given.
    const fs::path file = hklm() / "SOFTWARE/qelt_key_yoyaku/=Kest_Datafile";
    EXPECT_EQ(testenv::read_file(file), std::string("KREG\x01\0\0\0\x14\0\0\0C:\\data\\kestrel.dat\0", 32));
    EXPECT_EQ(modeOf(file), 0600u);

    // Writing under another spelling replaces the value and keeps its name.
    setText(key, "KEST_DATAFILE", "new");
    EXPECT_EQ(read(key, "kest_datafile"), std::string("new", 4));
    EXPECT_EQ(entriesOf(hklm() / "SOFTWARE/qelt_key_yoyaku"), (std::vector<std::string>{"=Kest_Datafile", "=bin"}));

    // An empty value and the default value are values like any other.
    ASSERT_EQ(reg::set_value(key, "empty", reg::REG_SZ, nullptr, 0), reg::Status::Ok);
    EXPECT_EQ(read(key, "empty"), "");
    setText(key, "", "default");
    EXPECT_EQ(read(key, nullptr), std::string("default", 8));
    EXPECT_EQ(reg::value_names(key), (std::vector<std::string>{"", "bin", "empty", "Kest_Datafile"}));
    reg::close_key(key);
}

TEST_F(RegistryTest, AValueStoredAgainAsItStandsIsNotWritten)
{
    reg::KeyHandle key = create("SOFTWARE\\qelt_key_yoyaku");
    setText(key, "kest_cwdpath", "/data");
    const fs::path file = hklm() / "SOFTWARE/qelt_key_yoyaku/=kest_cwdpath";
    const auto inode = [&file] {
        struct stat st
        {
        };
        stat(file.c_str(), &st);
        return st.st_ino;
    };
    // The same bytes keep the file as it is; another type or other bytes replace it.
    struct Step
    {
        uint32_t type;
        std::string data;
        bool written;
    };
    const Step steps[] = {
        {reg::REG_SZ, std::string("/data", 6), false},
        {reg::REG_BINARY, std::string("/data", 6), true},
        {reg::REG_BINARY, std::string("/data", 5), true},
        {reg::REG_BINARY, std::string("/data", 5), false},
    };
    for (const Step& step : steps) {
        const ino_t before = inode();
        ASSERT_EQ(
            reg::set_value(key, "kest_cwdpath", step.type, step.data.data(), static_cast<uint32_t>(step.data.size())),
            reg::Status::Ok);
        EXPECT_EQ(inode() != before, step.written) << step.type << " " << step.data.size();
        uint32_t type = 0;
        char out[16];
        uint32_t size = sizeof out;
        ASSERT_EQ(reg::query_value(key, "kest_cwdpath", &type, out, &size), reg::Status::Ok);
        EXPECT_EQ(std::string(out, size), step.data);
        EXPECT_EQ(type, step.type);
    }
    reg::close_key(key);
}

TEST_F(RegistryTest, OddNameBytesAreEscapedAndRoundTrip)
{
    const std::vector<std::string> names = {
        "a/b", "100%", "x=y", ".hidden", "..", "tab\there", "\x83\x5C\x95\x5C" /* ソ表 */, "back\\slash", "\x7F",
    };
    reg::KeyHandle key = create("SOFTWARE\\odd");
    for (const auto& name : names)
        setText(key, name.c_str(), name);
    for (const auto& name : names)
        EXPECT_EQ(read(key, name.c_str()), name + '\0') << name;

    EXPECT_EQ(entriesOf(hklm() / "SOFTWARE/odd"),
              (std::vector<std::string>{"=%2E.", "=%2Ehidden", "=%7F", "=%83\\%95\\", "=100%25", "=a%2Fb",
                                        "=back\\slash", "=tab%09here", "=x%3Dy"}));
    reg::close_key(key);

    // A backslash that is the second byte of a double-byte character does not split a key path.
    reg::close_key(create("SOFTWARE\\\x83\x5C"));
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE", &key), reg::Status::Ok);
    EXPECT_EQ(reg::subkey_names(key), (std::vector<std::string>{"odd", "\x83\x5C"}));
    reg::close_key(key);
}

TEST_F(RegistryTest, MalformedAndOversizedValueFilesReadAsMissing)
{
    reg::KeyHandle key = create("k");
    std::string oversized("KREG\x01\0\0\0\x01\0\x10\0", 12);
    oversized += std::string(0x100001, 'x');
    const std::pair<const char*, std::string> files[] = {
        {"empty", ""},
        {"short", std::string("KREG\x01\0\0", 7)},
        {"magic", std::string("XREG\x01\0\0\0\x01\0\0\0a", 13)},
        {"longer", std::string("KREG\x01\0\0\0\x05\0\0\0ab", 14)},
        {"shorter", std::string("KREG\x01\0\0\0\x01\0\0\0abc", 15)},
        {"huge", oversized},
    };
    for (const auto& [name, bytes] : files) {
        testenv::write_file(hklm() / "k" / (std::string("=") + name), bytes);
        EXPECT_EQ(read(key, name, 0x200000), kNotFound) << name;
    }
    fs::create_directory(hklm() / "k/=dir"); // a folder where a value should be
    EXPECT_EQ(read(key, "dir"), kNotFound);

    std::string big(reg::kMaxValueSize + 1, 'b');
    EXPECT_NE(reg::set_value(key, "big", reg::REG_BINARY, big.data(), reg::kMaxValueSize + 1), reg::Status::Ok);
    EXPECT_EQ(reg::set_value(key, "max", reg::REG_BINARY, big.data(), reg::kMaxValueSize), reg::Status::Ok);
    EXPECT_EQ(read(key, "max", reg::kMaxValueSize).size(), reg::kMaxValueSize);
    reg::close_key(key);
}

TEST_F(RegistryTest, DeleteKeyTreeMatchesWithoutRegardToCase)
{
    reg::KeyHandle key = create("SOFTWARE\\app\\sub");
    setText(key, "v", "1");
    reg::close_key(key);
    EXPECT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, "software\\APP"), reg::Status::Ok);
    EXPECT_EQ(entriesOf(hklm() / "SOFTWARE"), std::vector<std::string>{});
    EXPECT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, "SOFTWARE\\app"), reg::Status::NotFound);
    EXPECT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, ""), reg::Status::InvalidName);
}

// Two processes replace the same value over and over while this one reads
// it: every read sees one whole value, and no temporary file is left.
TEST_F(RegistryTest, ConcurrentWritersNeverLeaveATornValue)
{
    reg::KeyHandle key = create("k");
    const size_t length = 64 * 1024;
    const std::string values[] = {std::string(length, 'a'), std::string(length, 'b')};
    std::vector<pid_t> writers;
    for (const std::string& data : values) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < 100; ++i)
                if (reg::set_value(key, "shared", reg::REG_BINARY, data.data(), length) != reg::Status::Ok)
                    _exit(3);
            _exit(0);
        }
        writers.push_back(pid);
    }
    for (int i = 0; i < 300; ++i) {
        std::string value = read(key, "shared", length); // missing until first written
        ASSERT_TRUE(value == kNotFound || value == values[0] || value == values[1]) << value.size();
    }
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string last = read(key, "shared", length);
    EXPECT_TRUE(last == values[0] || last == values[1]);
    EXPECT_EQ(entriesOf(hklm() / "k"), std::vector<std::string>{"=shared"});
    reg::close_key(key);
}

TEST_F(RegistryTest, DigitsReadAsANumberElseTheFallback)
{
    reg::KeyHandle key = create("SOFTWARE\\k");
    const uint32_t dword = 7;
    ASSERT_EQ(reg::set_value(key, "dword", reg::REG_DWORD, &dword, sizeof dword), reg::Status::Ok);
    const std::pair<const char*, int> cases[] = {
        {"30", 30}, {"0", 0}, {"007", 7}, {"99999999999", 600}, {"", -1}, {" 5", -1}, {"5x", -1}, {"-5", -1},
    };
    for (const auto& [text, number] : cases) {
        setText(key, "v", text);
        EXPECT_EQ(reg::read_digits("SOFTWARE\\k", "v", -1, 600), number) << '"' << text << '"';
    }
    setText(key, "long", std::string(40, '1'));
    EXPECT_EQ(reg::read_digits("SOFTWARE\\k", "long", -1, 600), -1);
    EXPECT_EQ(reg::read_digits("SOFTWARE\\k", "dword", -1, 600), -1);
    EXPECT_EQ(reg::read_digits("SOFTWARE\\k", "missing", -1, 600), -1);
    EXPECT_EQ(reg::read_digits("SOFTWARE\\none", "v", 10, 600), 10);
    reg::close_key(key);
}
