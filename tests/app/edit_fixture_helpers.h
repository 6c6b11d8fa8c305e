// Fixture of the editing tests: a fresh folder, message boxes answered by the
// test, an empty category table and a record file path inside the folder.
#pragma once

#include "record_bytes_helpers.h"
#include "test_env.h"

#include <QStringList>

#include <filesystem>
#include <memory>

class kestrelDlg;

class EditTest : public TempDirTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The record file named by the configuration.
    std::filesystem::path dataFile() const { return path("data.dat"); }
};

// The main window opened the way the program opens it: the configuration is
// in the registry, the initialisation loads it and the record file.
class MainWindowTest : public EditTest
{
protected:
    void TearDown() override;

    void writeDataFile(const std::vector<std::pair<int32_t, std::string>>& headers,
                       const std::vector<CatgRecord>& records);
    // Stores the configuration with `kind_cursel`, then creates and initialises the window.
    kestrelDlg& openWindow(int kind_cursel);
    // Ends the window: its destruction saves the configuration and the category table.
    void closeWindow();

    // Selects the row with this text, as a click does.
    void selectCategory(const QString& text);
    void selectRecord(const QString& text, int nth = 0);
    // Selects the record row whose item data is this record index.
    void selectRecordIndex(int index);
    // Types at the end of the data pane.
    void typeIntoPane(const QString& text);

    QStringList categoryRows() const;
    QStringList recordRows() const;
    // "name=index" for every record row, in list order.
    QStringList recordRowsWithData() const;

    std::unique_ptr<kestrelDlg> m_window;
};
