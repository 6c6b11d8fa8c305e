// Fixture of the window tests: a fresh folder with the log on, message boxes
// answered by the test, an empty configuration and category table, and the
// main window started the way the program starts it.
#pragma once

#include "app/main_window/kestrelDlg.h"
#include "record_bytes_helpers.h"
#include "test_env.h"

#include <QStringList>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

class QListWidget;
class RecordList;

// A registry value of the configuration key: its type (0 when missing) and raw bytes.
struct RegValue
{
    uint32_t type = 0;
    std::string bytes;
    bool operator==(const RegValue&) const = default;
};
void PrintTo(const RegValue& value, std::ostream* out);
RegValue config_value(const char* name);
// A REG_SZ value: the text and its terminator.
RegValue sz_value(const std::string& text);
// The stored password: 1024 bytes of REG_BINARY.
RegValue password_value(const std::string& scrambled);

// Rows in list order: their texts / "text=item data".
QStringList rows(const QListWidget* list);
QStringList rows(const RecordList* list);
QStringList rows_with_data(const QListWidget* list);
QStringList rows_with_data(const RecordList* list);
// Selects the row with this text, as a click does.
void select_row(QListWidget* list, const QString& text);
void select_row(RecordList* list, const QString& text);

class AppTest : public TempDirTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path dataFile() const { return path("data.dat"); }
    std::string log() const { return testenv::read_file(path("trace.log")); }
    bool logHas(const std::string& line) const { return log().find(line) != std::string::npos; }

    // Puts a whole configuration into the registry, as a previous run leaves it.
    void storeConfig(const std::string& datafile, int kind_cursel, const std::string& password);
    void writeDataFile(const Headers& headers, const std::vector<CatgRecord>& records);
    // Creates and initialises the main window; true when the start-up ended it.
    bool startWindow();
    // Stores the configuration with `kind_cursel`, then starts and shows the window.
    kestrelDlg& openWindow(int kind_cursel);
    // Types at the end of the data pane.
    void typeIntoPane(const QString& text);

    std::unique_ptr<kestrelDlg> m_window;
};
