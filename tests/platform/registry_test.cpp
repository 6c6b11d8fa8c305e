#include "platform/registry.h"

#include "test_env.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class RegistryTest : public TempDirTest
{
protected:
    fs::path hklm() const { return registryRoot() / "HKEY_LOCAL_MACHINE"; }

    reg::KeyHandle create(const char* subkey)
    {
        reg::KeyHandle key = nullptr;
        EXPECT_EQ(reg::create_key(reg::Hive::LocalMachine, subkey, &key), reg::Status::Ok);
        return key;
    }

    void setText(reg::KeyHandle key, const char* name, const std::string& text)
    {
        ASSERT_EQ(reg::set_value(key, name, reg::REG_SZ, text.c_str(), static_cast<uint32_t>(text.size() + 1)),
                  reg::Status::Ok);
    }

    // The value's bytes, or "<status>" when it cannot be read.
    std::string read(reg::KeyHandle key, const char* name, uint32_t capacity = 4096)
    {
        std::string data(capacity, '\0');
        uint32_t size = capacity;
        reg::Status status = reg::query_value(key, name, nullptr, data.data(), &size);
        if (status != reg::Status::Ok)
            return shown(status);
        data.resize(size);
        return data;
    }

    static std::string shown(reg::Status status)
    {
        std::string text = "<";
        text += std::to_string(static_cast<int>(status));
        return text += ">";
    }
    static std::string notFound() { return shown(reg::Status::NotFound); }
};

mode_t modeOf(const fs::path& path)
{
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(RegistryTest, RootFolderFollowsTheEnvironment)
{
    EXPECT_EQ(reg::root_folder(), registryRoot().string());
    unsetenv("KESTREL_REGISTRY");
    setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(reg::root_folder(), "/xdg/kestrel/registry");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(reg::root_folder(), (dir() / "home" / ".config/kestrel/registry").string());
}

TEST_F(RegistryTest, OpenForQueryFailsOnMissingKeyAndCreatesNothing)
{
    reg::KeyHandle key = nullptr;
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::NotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(fs::exists(registryRoot()));

    reg::close_key(create("SOFTWARE"));
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key), reg::Status::NotFound);
    EXPECT_EQ(entriesOf(hklm() / "SOFTWARE"), std::vector<std::string>{});
}

TEST_F(RegistryTest, CreateMakesEveryMissingKeyPrivate)
{
    reg::KeyHandle key = create("SOFTWARE\\Vendor\\Product");
    ASSERT_NE(key, nullptr);
    reg::close_key(key);
    for (fs::path p :
         {registryRoot(), hklm(), hklm() / "SOFTWARE", hklm() / "SOFTWARE/Vendor", hklm() / "SOFTWARE/Vendor/Product"})
        EXPECT_EQ(modeOf(p), 0700u) << p;

    // Names match without regard to case and keep the case they were created with.
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "software\\VENDOR\\product", &key), reg::Status::Ok);
    reg::close_key(key);
    reg::close_key(create("SOFTWARE\\vendor\\Other"));
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\Vendor", &key), reg::Status::Ok);
    EXPECT_EQ(reg::subkey_names(key), (std::vector<std::string>{"Other", "Product"}));
    reg::close_key(key);
    EXPECT_TRUE(fs::is_directory(hklm() / "SOFTWARE/Vendor/Other"));
}

TEST_F(RegistryTest, KeyNamesOverTheLimitAreRefused)
{
    reg::KeyHandle key = nullptr;
    std::string longest = "SOFTWARE\\" + std::string(255, 'k');
    std::string tooLong = "SOFTWARE\\" + std::string(256, 'k');
    EXPECT_EQ(reg::create_key(reg::Hive::LocalMachine, longest.c_str(), &key), reg::Status::Ok);
    reg::close_key(key);
    EXPECT_EQ(reg::create_key(reg::Hive::LocalMachine, tooLong.c_str(), &key), reg::Status::InvalidName);
    EXPECT_EQ(reg::create_key(reg::Hive::LocalMachine, "SOFTWARE\\\\empty", &key), reg::Status::InvalidName);
    EXPECT_EQ(reg::open_key(reg::Hive::LocalMachine, tooLong.c_str(), &key), reg::Status::InvalidName);
}

TEST_F(RegistryTest, ValuesRoundTripWithTypeAndExactBytes)
{
    reg::KeyHandle key = create("SOFTWARE\\qelt_key_yoyaku");
    const unsigned char binary[] = {0x00, 0xFF, 0x0D, 0x0A, 0x5C};
    ASSERT_EQ(reg::set_value(key, "bin", reg::REG_BINARY, binary, sizeof binary), reg::Status::Ok);
    setText(key, "Kest_Datafile", "C:\\data\\kestrel.dat");

    uint32_t type = 0;
    unsigned char out[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    uint32_t size = sizeof out;
    ASSERT_EQ(reg::query_value(key, "BIN", &type, out, &size), reg::Status::Ok);
    EXPECT_EQ(type, reg::REG_BINARY);
    ASSERT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(out, binary, 5), 0);
    EXPECT_EQ(out[5], 1);

    EXPECT_EQ(read(key, "kest_datafile"), std::string("C:\\data\\kestrel.dat", 20));

    // The file holds a fixed header and the data as given.
    std::string expected("KREG\x01\0\0\0\x14\0\0\0C:\\data\\kestrel.dat\0", 32);
    EXPECT_EQ(testenv::read_file(hklm() / "SOFTWARE/qelt_key_yoyaku/=Kest_Datafile"), expected);
    EXPECT_EQ(modeOf(hklm() / "SOFTWARE/qelt_key_yoyaku/=Kest_Datafile"), 0600u);

    // Writing under another spelling replaces the value and keeps its name.
    setText(key, "KEST_DATAFILE", "new");
    EXPECT_EQ(reg::value_names(key), (std::vector<std::string>{"bin", "Kest_Datafile"}));
    EXPECT_EQ(read(key, "Kest_Datafile"), std::string("new", 4));
    EXPECT_EQ(entriesOf(hklm() / "SOFTWARE/qelt_key_yoyaku"), (std::vector<std::string>{"=Kest_Datafile", "=bin"}));

    // An empty value and the default value are values like any other.
    ASSERT_EQ(reg::set_value(key, "empty", reg::REG_SZ, nullptr, 0), reg::Status::Ok);
    EXPECT_EQ(read(key, "empty"), "");
    setText(key, "", "default");
    EXPECT_EQ(read(key, nullptr), std::string("default", 8));
    reg::close_key(key);
}

TEST_F(RegistryTest, QueryLargerThanCapacityLeavesBufferUntouched)
{
    reg::KeyHandle key = create("k");
    setText(key, "v", "abcdef");
    char out[7] = {'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    uint32_t size = 6;
    EXPECT_EQ(reg::query_value(key, "v", nullptr, out, &size), reg::Status::MoreData);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(std::string(out, 7), "xxxxxxx");
    size = 7;
    EXPECT_EQ(reg::query_value(key, "v", nullptr, out, &size), reg::Status::Ok);
    EXPECT_EQ(std::string(out, 7), std::string("abcdef", 7));
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

    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    EXPECT_EQ(reg::value_names(key), sorted);
    for (const auto& file : entriesOf(hklm() / "SOFTWARE/odd")) {
        EXPECT_EQ(file[0], '=') << file;
        EXPECT_EQ(file.find('/'), std::string::npos);
        for (unsigned char c : file)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << file;
    }
    EXPECT_TRUE(fs::exists(hklm() / "SOFTWARE/odd/=%2Ehidden"));
    EXPECT_TRUE(fs::exists(hklm() / "SOFTWARE/odd/=100%25"));
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
    fs::path folder = hklm() / "k";
    std::string oversized("KREG\x01\0\0\0\x01\0\x10\0", 12);
    oversized += std::string(0x100001, 'x');
    const std::vector<std::pair<std::string, std::string>> files = {
        {"=empty", ""},
        {"=short", std::string("KREG\x01\0\0", 7)},
        {"=magic", std::string("XREG\x01\0\0\0\x01\0\0\0a", 13)},
        {"=longer", std::string("KREG\x01\0\0\0\x05\0\0\0ab", 14)},
        {"=shorter", std::string("KREG\x01\0\0\0\x01\0\0\0abc", 15)},
        {"=huge", oversized},
    };
    for (const auto& [file, bytes] : files)
        testenv::write_file(folder / file, bytes);
    for (const auto& [file, bytes] : files)
        EXPECT_EQ(read(key, file.c_str() + 1, 0x200000), notFound()) << file;

    // A folder where a value should be is not a value either.
    fs::create_directory(folder / "=dir");
    EXPECT_EQ(read(key, "dir"), notFound());

    std::string big(reg::kMaxValueSize + 1, 'b');
    EXPECT_NE(reg::set_value(key, "big", reg::REG_BINARY, big.data(), static_cast<uint32_t>(big.size())),
              reg::Status::Ok);
    EXPECT_EQ(reg::set_value(key, "max", reg::REG_BINARY, big.data(), reg::kMaxValueSize), reg::Status::Ok);
    EXPECT_EQ(read(key, "max", reg::kMaxValueSize).size(), reg::kMaxValueSize);
    reg::close_key(key);
}

TEST_F(RegistryTest, DeleteValueAndKeyTree)
{
    reg::KeyHandle key = create("SOFTWARE\\app\\sub");
    setText(key, "v", "1");
    EXPECT_EQ(reg::delete_value(key, "V"), reg::Status::Ok);
    EXPECT_EQ(reg::delete_value(key, "v"), reg::Status::NotFound);
    EXPECT_EQ(read(key, "v"), notFound());
    setText(key, "w", "2");
    reg::close_key(key);

    EXPECT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, "software\\APP"), reg::Status::Ok);
    EXPECT_FALSE(fs::exists(hklm() / "SOFTWARE/app"));
    EXPECT_TRUE(fs::exists(hklm() / "SOFTWARE"));
    EXPECT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, "SOFTWARE\\app"), reg::Status::NotFound);
    EXPECT_EQ(reg::delete_key_tree(reg::Hive::LocalMachine, ""), reg::Status::InvalidName);
}

// Two processes replace the same value over and over while this one reads
// it: every read sees one whole value, and no temporary file is left.
TEST_F(RegistryTest, ConcurrentWritersNeverLeaveATornValue)
{
    reg::close_key(create("k"));
    const size_t length = 64 * 1024;
    std::vector<pid_t> writers;
    for (char fill : {'a', 'b'}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            reg::KeyHandle key = nullptr;
            if (reg::open_key(reg::Hive::LocalMachine, "k", &key) != reg::Status::Ok)
                _exit(2);
            std::string data(length, fill);
            for (int i = 0; i < 100; ++i) {
                if (reg::set_value(key, "shared", reg::REG_BINARY, data.data(), length) != reg::Status::Ok)
                    _exit(3);
            }
            _exit(0);
        }
        writers.push_back(pid);
    }

    reg::KeyHandle key = nullptr;
    ASSERT_EQ(reg::open_key(reg::Hive::LocalMachine, "k", &key), reg::Status::Ok);
    int whole = 0;
    for (int i = 0; i < 300; ++i) {
        std::string value = read(key, "shared", length);
        if (value == notFound())
            continue; // not written yet
        ASSERT_EQ(value.size(), length);
        ASSERT_TRUE(value == std::string(length, 'a') || value == std::string(length, 'b'));
        ++whole;
    }
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string last = read(key, "shared", length);
    EXPECT_TRUE(last == std::string(length, 'a') || last == std::string(length, 'b'));
    EXPECT_EQ(entriesOf(hklm() / "k"), std::vector<std::string>{"=shared"});
    reg::close_key(key);
}
