#include "edit_fixture_helpers.h"

#include "app/config_store.h"
#include "app/data_pane.h"
#include "app/kestrelDlg.h"
#include "app/message_box.h"
#include "app/text_edge.h"
#include "modal_script_helpers.h"
#include "store/app_config.h"
#include "store/kind_table.h"

#include <QListWidget>
#include <QTest>

#include <cstring>

void EditTest::SetUp()
{
    TempDirTest::SetUp();
    MessageBox::setTestMode(true);
    take_notices();
    std::memset(&g_app_config, 0, sizeof g_app_config);
    std::memset(KindTable, 0, sizeof KindTable);
    const std::string file = dataFile().string();
    std::strncpy(g_app_config.datafile, file.c_str(), sizeof g_app_config.datafile - 1);
    g_app_config.ncursel = -1;
}

void EditTest::TearDown()
{
    EXPECT_EQ(pending_modal_actions(), 0) << "a scripted dialog never opened";
    drop_modal_actions();
    TempDirTest::TearDown();
}

void MainWindowTest::TearDown()
{
    m_window.reset();
    EditTest::TearDown();
}

void MainWindowTest::writeDataFile(const std::vector<std::pair<int32_t, std::string>>& headers,
                                   const std::vector<CatgRecord>& records)
{
    testenv::write_file(dataFile(), record_file_bytes(headers, records));
}

kestrelDlg& MainWindowTest::openWindow(int kind_cursel)
{
    g_app_config.kind_cursel = kind_cursel;
    EXPECT_EQ(sub_save_config(), 0);
    std::memset(&g_app_config, 0, sizeof g_app_config);
    m_window = std::make_unique<kestrelDlg>();
    m_window->initDialog();
    EXPECT_FALSE(m_window->ended());
    m_window->show();
    return *m_window;
}

void MainWindowTest::closeWindow()
{
    m_window.reset();
}

namespace {

void select_text(QListWidget* list, const QString& text, int nth)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == text && nth-- == 0) {
            list->setCurrentRow(row);
            return;
        }
    }
    ADD_FAILURE() << "no row " << text.toStdString();
}

QStringList rows_of(const QListWidget* list)
{
    QStringList rows;
    for (int row = 0; row < list->count(); ++row)
        rows << list->item(row)->text();
    return rows;
}

} // namespace

void MainWindowTest::selectCategory(const QString& text)
{
    select_text(m_window->m_list1, text, 0);
}

void MainWindowTest::selectRecord(const QString& text, int nth)
{
    select_text(m_window->m_list2, text, nth);
}

void MainWindowTest::selectRecordIndex(int index)
{
    QListWidget* list = m_window->m_list2;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole).toInt() == index) {
            list->setCurrentRow(row);
            return;
        }
    }
    ADD_FAILURE() << "no row for record " << index;
}

void MainWindowTest::typeIntoPane(const QString& text)
{
    DataPane* pane = m_window->m_edit1;
    EXPECT_TRUE(pane->isEnabled());
    pane->moveCursor(QTextCursor::End);
    type_text(pane, text);
}

QStringList MainWindowTest::categoryRows() const
{
    return rows_of(m_window->m_list1);
}

QStringList MainWindowTest::recordRows() const
{
    return rows_of(m_window->m_list2);
}

QStringList MainWindowTest::recordRowsWithData() const
{
    QStringList rows;
    const QListWidget* list = m_window->m_list2;
    for (int row = 0; row < list->count(); ++row)
        rows << QStringLiteral("%1=%2").arg(list->item(row)->text()).arg(list->item(row)->data(Qt::UserRole).toInt());
    return rows;
}
