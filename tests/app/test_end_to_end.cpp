// The whole program as separate processes: a first run, a working session
// and a final start of the real binary, checked through the record file, the
// registry and the log they leave behind. A scripted build of the program
// (scripted_kestrel_main.cpp) does what a person would; the real binary is
// then started and ended by SIGTERM, which closes it as the Close button does.
#include "commons/commons.h"
#include "platform/registry.h"
#include "record_bytes_helpers.h"
#include "test_env.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <ostream>

#include <string>

namespace {

using EndToEndTest = TempDirTest;

struct RegValue
{
    uint32_t type = 0;
    std::string bytes;
    bool operator==(const RegValue&) const = default;
};

void PrintTo(const RegValue& value, std::ostream* out)
{
    *out << "type " << value.type << ", " << ::testing::PrintToString(value.bytes);
}

RegValue reg_value(const char* name)
{
    RegValue value;
    reg::KeyHandle key = nullptr;
    if (reg::open_key(reg::Hive::LocalMachine, "SOFTWARE\\qelt_key_yoyaku", &key) != reg::Status::Ok)
        return value;
    std::string data(4096, '\0');
    uint32_t size = static_cast<uint32_t>(data.size());
    if (reg::query_value(key, name, &value.type, data.data(), &size) == reg::Status::Ok)
        value.bytes = data.substr(0, size);
    reg::close_key(key);
    return value;
}

std::string sz(const std::string& text)
{
    return text + std::string(1, '\0');
}

// Runs the scripted program to its end; its exit code (0: every step done).
int run_scripted(const QStringList& arguments, std::string& errors)
{
    QProcess process;
    process.start(QStringLiteral(KESTREL_SCRIPTED_BINARY), arguments);
    EXPECT_TRUE(process.waitForStarted());
    EXPECT_TRUE(process.waitForFinished(120000));
    errors = process.readAllStandardError().toStdString();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(EndToEndTest, FirstRunThenASessionThenTheRealProgramKeepsEverything)
{
    const std::string log = path("trace.log").string();
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    ASSERT_EQ(sub_regwrite("log_name", log.c_str()), 0);
    const std::string datafile = path("records.dat").string();
    const std::string cwd = dir().string();
    const RegValue noPassword{reg::REG_BINARY, std::string(1024, '\xff')}; // 1024 scrambled zero bytes
    std::string errors;

    // First run: the settings dialog names the record file; the end of the
    // run stores the configuration and creates the file with an empty header.
    ASSERT_EQ(run_scripted({"first-run", QString::fromStdString(datafile)}, errors), 0) << errors;
    EXPECT_EQ(reg_value("kest_datafile"), (RegValue{reg::REG_SZ, sz(datafile)}));
    // The load stopped before the working directory was taken.
    EXPECT_EQ(reg_value("kest_cwdpath"), (RegValue{reg::REG_SZ, sz("")}));
    EXPECT_EQ(reg_value("kest_kindcsl"), (RegValue{reg::REG_SZ, sz("0")}));
    EXPECT_EQ(reg_value("kest_passwrd"), noPassword);
    EXPECT_EQ(testenv::read_file(datafile), std::string(4, '\0'));

    // A session: two categories, three records, one moved, one deleted.
    ASSERT_EQ(run_scripted({"work"}, errors), 0) << errors;
    const std::string bank = sj("銀行口座");
    const std::string web = sj("ウェブサービス");
    const std::string afterSession = testenv::read_file(datafile);
    EXPECT_EQ(afterSession.size(), 4u + 2 * 516 + 3 * 4616);
    const RecordFileContents file = read_record_file(datafile);
    EXPECT_EQ(file.count, 2);
    EXPECT_EQ(file.headers, (std::vector<std::pair<int32_t, std::string>>{{10, bank}, {20, web}}));
    ASSERT_EQ(file.records.size(), 3u);
    EXPECT_EQ(file.records[0].flag, 1);
    EXPECT_EQ(file.records[0].catg_kind, 10);
    EXPECT_EQ(name_of(file.records[0]), sj("みずほ銀行"));
    EXPECT_EQ(data_of(file.records[0]), sj("支店：本店\r\n口座：1234567"));
    EXPECT_EQ(file.records[1].flag, 1);
    EXPECT_EQ(file.records[1].catg_kind, 20);
    EXPECT_EQ(name_of(file.records[1]), sj("ゆうちょ銀行"));
    EXPECT_EQ(data_of(file.records[1]), sj("記号：10000\r\n番号：9876"));
    EXPECT_TRUE(all_zero(file.records[2]));
    EXPECT_EQ(file.trailing, 0u);
    // "(ALL)", ウェブサービス, 銀行口座: the last category selected was row 1.
    EXPECT_EQ(reg_value("kest_kindcsl"), (RegValue{reg::REG_SZ, sz("1")}));
    EXPECT_EQ(reg_value("kest_datafile"), (RegValue{reg::REG_SZ, sz(datafile)}));
    EXPECT_EQ(reg_value("kest_cwdpath"), (RegValue{reg::REG_SZ, sz(cwd)}));
    EXPECT_EQ(reg_value("kest_passwrd"), noPassword);

    // The commands' trace lines name the main window's unit, in CP932.
    const std::string trace = testenv::read_file(log);
    EXPECT_EQ(count_of(trace, sj("＝＝＝＝＝m_list2：追加ボタン処理＝＝＝＝＝＝") + "\r\n"), 3u);
    EXPECT_EQ(count_of(trace, sj("＝＝＝＝＝m_list2：削除ボタン処理＝＝＝＝＝＝") + "\r\n"), 1u);

    // The real program loads all this and, ended by SIGTERM, writes it back unchanged.
    const std::string done = "Display CATG Data Done";
    const std::size_t shownBefore = count_of(trace, done);
    QProcess real;
    real.start(QStringLiteral(KESTREL_BINARY), {});
    ASSERT_TRUE(real.waitForStarted());
    QDeadlineTimer deadline(60000);
    while (count_of(testenv::read_file(log), done) == shownBefore && !deadline.hasExpired())
        QThread::msleep(20);
    ASSERT_EQ(real.state(), QProcess::Running) << real.readAllStandardError().toStdString();
    real.terminate();
    ASSERT_TRUE(real.waitForFinished(60000));
    EXPECT_EQ(real.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(testenv::read_file(datafile), afterSession);
    EXPECT_EQ(reg_value("kest_kindcsl"), (RegValue{reg::REG_SZ, sz("1")}));
    EXPECT_EQ(reg_value("kest_datafile"), (RegValue{reg::REG_SZ, sz(datafile)}));
    EXPECT_EQ(reg_value("kest_passwrd"), noPassword);
}

} // namespace
