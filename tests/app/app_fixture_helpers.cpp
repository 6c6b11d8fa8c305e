#include "app_fixture_helpers.h"

#include "app/config/config_store.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"
#include "commons/commons.h"
#include "modal_script_helpers.h"
#include "platform/registry.h"
#include "platform/sockets.h"
#include "store/app_config.h"
#include "store/kind_table.h"

#include <QListWidget>

#include <cstring>

void PrintTo(const RegValue& value, std::ostream* out)
{
    *out << "type " << value.type << ", " << ::testing::PrintToString(value.bytes);
}

RegValue config_value(const char* name)
{
    RegValue value;
    reg::KeyHandle key = nullptr;
    if (reg::open_key(reg::Hive::LocalMachine, CONFIG_KEY, &key) != reg::Status::Ok)
        return value;
    std::string data(4096, '\0');
    uint32_t size = static_cast<uint32_t>(data.size());
    if (reg::query_value(key, name, &value.type, data.data(), &size) == reg::Status::Ok)
        value.bytes = data.substr(0, size);
    else
        value.type = 0;
    reg::close_key(key);
    return value;
}

RegValue sz_value(const std::string& text)
{
    return {reg::REG_SZ, text + std::string(1, '\0')};
}

RegValue password_value(const std::string& scrambled)
{
    return {reg::REG_BINARY, scrambled + std::string(1024 - scrambled.size(), '\xFF')};
}

QStringList rows(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

QStringList rows(const RecordList* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->text(row);
    return texts;
}

QStringList rows_with_data(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << QStringLiteral("%1=%2").arg(list->item(row)->text()).arg(list->item(row)->data(Qt::UserRole).toInt());
    return texts;
}

QStringList rows_with_data(const RecordList* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << QStringLiteral("%1=%2").arg(list->text(row)).arg(list->recordIndex(row));
    return texts;
}

// One for both kinds of list: each has its rows and setCurrentRow.
template <typename List> void select_row_of(List* list, const QString& text)
{
    const int row = rows(list).indexOf(text);
    EXPECT_GE(row, 0) << "no row " << text.toStdString();
    list->setCurrentRow(row);
}

void select_row(QListWidget* list, const QString& text)
{
    select_row_of(list, text);
}

void select_row(RecordList* list, const QString& text)
{
    select_row_of(list, text);
}

void AppTest::SetUp()
{
    TempDirTest::SetUp();
    MessageBox::setTestMode(true);
    MessageBox::takeAsked();
    take_notices();
    std::memset(&g_app_config, 0, sizeof g_app_config);
    std::memset(KindTable, 0, sizeof KindTable);
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    ASSERT_EQ(sub_regwrite("log_name", path("trace.log").c_str()), 0);
}

void AppTest::TearDown()
{
    m_window.reset();
    EXPECT_EQ(pending_modal_actions(), 0) << "a scripted dialog never opened";
    drop_modal_actions();
    sockets::set_fail_startup(false);
    TempDirTest::TearDown();
}

void AppTest::storeConfig(const std::string& datafile, int kind_cursel, const std::string& password)
{
    std::memset(&g_app_config, 0, sizeof g_app_config);
    datafile.copy(g_app_config.datafile, sizeof g_app_config.datafile - 1);
    password.copy(g_app_config.password, sizeof g_app_config.password - 1);
    g_app_config.kind_cursel = kind_cursel;
    ASSERT_EQ(sub_save_config(), 0);
    std::memset(&g_app_config, 0, sizeof g_app_config);
}

void AppTest::writeDataFile(const Headers& headers, const std::vector<CatgRecord>& records)
{
    testenv::write_file(dataFile(), record_file_bytes(headers, records));
}

bool AppTest::startWindow()
{
    m_window = std::make_unique<kestrelDlg>();
    m_window->initDialog();
    return m_window->ended();
}

kestrelDlg& AppTest::openWindow(int kind_cursel)
{
    m_window.reset();
    storeConfig(dataFile().string(), kind_cursel, "");
    EXPECT_FALSE(startWindow());
    m_window->show();
    return *m_window;
}

void AppTest::typeIntoPane(const QString& text)
{
    DataPane* pane = m_window->m_edit1;
    EXPECT_TRUE(pane->isEnabled());
    pane->moveCursor(QTextCursor::End);
    type_text(pane, text);
}
