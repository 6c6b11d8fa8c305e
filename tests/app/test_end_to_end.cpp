// The whole program as separate processes: a first run, a working session
// and a final start of the real binary, checked through the record file, the
// registry and the log they leave behind. A scripted build of the program
// (scripted_kestrel_main.cpp) does what a person would; the real binary is
// then started and ended by SIGTERM, which closes it as the Close button does.
#include "app_fixture_helpers.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <sstream>

namespace {

using EndToEndTest = AppTest;

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
    const std::string datafile = dataFile().string();
    std::string errors;

    // First run: the settings dialog names the record file; the end of the
    // run stores the configuration and creates the file with an empty header.
    ASSERT_EQ(run_scripted({"first-run", QString::fromStdString(datafile)}, errors), 0) << errors;
    EXPECT_EQ(config_value("kest_datafile"), sz_value(datafile));
    EXPECT_EQ(testenv::read_file(datafile), std::string(4, '\0'));

    // A session: two categories, three records, one moved, one deleted.
    ASSERT_EQ(run_scripted({"work"}, errors), 0) << errors;
    const std::string afterSession = testenv::read_file(datafile);
    EXPECT_EQ(afterSession.size(), 4u + 2 * 516 + 3 * 4616);
    const RecordFileContents file = read_record_file(datafile);
    EXPECT_EQ(file.headers, (Headers{{10, sj("銀行口座")}, {20, sj("ウェブサービス")}}));
    EXPECT_EQ(file.records,
              (std::vector{plain_record(1, 10, sj("みずほ銀行"), sj("支店：本店\r\n口座：1234567")),
                           plain_record(1, 20, sj("ゆうちょ銀行"), sj("記号：10000\r\n番号：9876")), CatgRecord{}}));
    // The commands' trace lines, in CP932.
    const std::string trace = log();
    EXPECT_EQ(count_of(trace, sj("＝＝＝＝＝m_list2：追加ボタン処理＝＝＝＝＝＝") + "\r\n"), 3u);
    EXPECT_EQ(count_of(trace, sj("＝＝＝＝＝m_list2：削除ボタン処理＝＝＝＝＝＝") + "\r\n"), 1u);

    // The real program loads all this and, ended by SIGTERM, writes it back unchanged.
    const std::string done = "Display CATG Data Done";
    const std::size_t shownBefore = count_of(trace, done);
    QProcess real;
    real.start(QStringLiteral(KESTREL_BINARY), {});
    ASSERT_TRUE(real.waitForStarted());
    QDeadlineTimer deadline(60000);
    while (count_of(log(), done) == shownBefore && !deadline.hasExpired())
        QThread::msleep(20);
    ASSERT_EQ(real.state(), QProcess::Running) << real.readAllStandardError().toStdString();
    // No core file; and trace lines do not leave the log through a pipe.
    const std::string limits = testenv::read_file("/proc/" + std::to_string(real.processId()) + "/limits");
    const std::size_t core = limits.find("Max core file size");
    ASSERT_NE(core, std::string::npos) << limits;
    std::istringstream coreLimits(limits.substr(core + 18));
    std::string soft, hard;
    coreLimits >> soft >> hard;
    EXPECT_EQ(soft + " " + hard, "0 0");
    real.terminate();
    ASSERT_TRUE(real.waitForFinished(60000));
    EXPECT_EQ(real.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(real.readAllStandardOutput().toStdString(), "");
    EXPECT_EQ(testenv::read_file(datafile), afterSession);
    // "(ALL)", ウェブサービス, 銀行口座: the last category selected was row 1.
    EXPECT_EQ(config_value("kest_kindcsl"), sz_value("1"));
    EXPECT_EQ(config_value("kest_datafile"), sz_value(datafile));
    EXPECT_EQ(config_value("kest_cwdpath"), sz_value(dir().string()));
    EXPECT_EQ(config_value("kest_passwrd"), password_value(""));
}

// The process ends without the window's end, with a category added and text
// typed: once when its X server goes away under it (as a crashed display or
// a logout without session management does), once by exit() from the event
// loop, which is what Qt does then. Both keep the text, the category and the
// configuration, as Close would.
TEST_F(EndToEndTest, LosingTheDisplayKeepsTheTypedTextAndTheCategories)
{
    for (const bool realDisplay : {false, true}) {
        SCOPED_TRACE(realDisplay ? "X server ended" : "exit()");
        std::filesystem::remove(path("trace.log"));
        writeDataFile({{10, sj("既存")}}, {plain_record(1, 10, sj("口座"), "old")});
        storeConfig(dataFile().string(), 0, "");
        QProcess server;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (realDisplay) {
            const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
            if (xvfb.isEmpty())
                GTEST_SKIP() << "no Xvfb to end under the program (scripts/setup.sh installs it)";
            // The server picks a free display and prints its number.
            server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp"});
            ASSERT_TRUE(server.waitForReadyRead(30000));
            const QString display = QString::fromLatin1(server.readLine()).trimmed();
            environment.insert("DISPLAY", ":" + display);
            environment.insert("QT_QPA_PLATFORM", "xcb");
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(KESTREL_SCRIPTED_BINARY), {realDisplay ? "display-loss" : "exit"});
        ASSERT_TRUE(program.waitForStarted());
        if (realDisplay) {
            // Its output carries the trace lines too; "typed" comes when the text is in the pane.
            bool typed = false;
            while (!typed && (program.canReadLine() || program.waitForReadyRead(120000)))
                while (!typed && program.canReadLine())
                    typed = program.readLine().trimmed() == "typed";
            ASSERT_TRUE(typed) << program.readAllStandardError().toStdString();
            server.kill();
            server.waitForFinished();
        }
        ASSERT_TRUE(program.waitForFinished(120000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1) << program.readAllStandardError().toStdString();

        const RecordFileContents file = read_record_file(dataFile());
        EXPECT_EQ(file.headers, (Headers{{10, sj("既存")}, {20, sj("新規")}}));
        EXPECT_EQ(file.records, (std::vector{plain_record(1, 10, sj("口座"), "old\r\n" + sj("追記"))}));
        EXPECT_EQ(config_value("kest_kindcsl"), sz_value("0"));
        EXPECT_TRUE(logHas("Program ends without its window: saving\r\n"));
    }
}

} // namespace
