// The main window: the category list, the records of the current category and
// the data pane of the selected record. Its initialisation loads the
// configuration and the category table; its destruction saves both.
#pragma once

#include "app/main_window/data_pane.h"
#include "app/main_window/list_index.h"

#include <QDialog>

class QListWidget;
class QPushButton;
class RecordList;

// Command id of the About entry of the window's system menu.
constexpr int IDM_ABOUT = 16;

class kestrelDlg : public QDialog
{
    Q_OBJECT

public:
    kestrelDlg();
    ~kestrelDlg() override;

    // Runs the initialisation and then, unless it ended the window, the modal run.
    int runModal();
    // The initialisation sequence: configuration (first-run setup when it is
    // missing), category table, lists, login. Callable without an event loop;
    // ended() tells whether it ended the window.
    void initDialog();
    bool ended() const { return m_ended; }
    // False for a second copy on a record file in use: its end writes nothing.
    bool savesAtEnd() const { return m_saveAtEnd; }

    // Ends the modal run with the accept result, without storing the pane.
    // Before the run has started, the run then ends at once.
    void endModal();
    // Ends the window the way the Close button does (signals, session end).
    // Nested dialogs are closed first.
    void requestClose();

    // Fill the category list / the record list; show a record's data text;
    // store the pane's text (mode 1: store and close, 0: store only).
    void sub_redisplay_kind();
    void sub_redisplay_catg();
    void sub_redisplay_data(int index);
    void sub_check_update(int mode);

    // Empties and disables the pane; no record text is held any more.
    void closePane();
    // Adds a record row at its sorted place; returns its row.
    int addRecordRow(const char* name, int index);

    // A system command of the window (IDM_ABOUT opens the About box).
    void onSysCommand(int id);

    QListWidget* m_list1 = nullptr; // categories, item data kind_id (KIND_ALL for "(ALL)")
    RecordList* m_list2 = nullptr;  // records, item data record index
    DataPane* m_edit1 = nullptr;    // the data pane

public slots:
    // The Close command.
    void accept() override;
    // The dialog's cancel command (Escape) is the category editor's.
    void reject() override;

    // Record and window commands.
    void onAdd();
    void onDelete();
    void onRename();
    void onChangeCategory();
    void onKindEdit();
    void onSettings();
    void onAbout();
    // Find (Ctrl+F) asks for the text; find next (F3) goes on with the last one.
    void onFind(bool next);

private slots:
    void onCategorySelected();
    void onRecordSelected();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    // After a failed save at the end: which category changes the file did not take.
    void tell_unsaved_categories();
    void firstRunSetup();
    // The login dialog; a refused login ends the window.
    bool login();
    void closeWhenIdle();

    ListIndex m_listIndex; // the record list's rows between fills
    bool m_ended = false;
    bool m_saveAtEnd = true; // false for a second copy on a record file in use
    bool m_closing = false;
    QString m_findText; // the last text searched for, this run
};
