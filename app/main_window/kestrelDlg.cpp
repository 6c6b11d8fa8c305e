#include "app/main_window/kestrelDlg.h"

#include "app/config/config_store.h"
#include "app/config/protected_password.h"
#include "app/dialogs/LoginDlg.h"
#include "app/dialogs/optwin.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/end_save.h"
#include "app/main_window/record_list.h"
#include "app/widgets/app_icon.h"
#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/list_item.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/kind_table.h"
#include "store/record_file.h"
#include "store/sysdata.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>

kestrelDlg::kestrelDlg()
{
    // A caption bar without system menu or close box, with a task bar entry.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Larkspur"));
    setFont(dialog_font(10));
    buildLayout();
    watch_for_exit(this);
}

kestrelDlg::~kestrelDlg()
{
    // Every ending of the window saves, whatever ended it; a second copy
    // that was refused writes nothing.
    if (save_at_end(m_saveAtEnd))
        tell_unsaved_categories();
}

void kestrelDlg::tell_unsaved_categories()
{
    const std::vector<CategoryChange> lost = unsaved_category_changes();
    if (lost.empty())
        return;
    QString text = QStringLiteral("データファイルに書き込めなかったため、次のカテゴリの変更は保存されませんでした");
    for (const CategoryChange& change : lost) {
        static const char16_t* const kinds[] = {u"追加", u"名前の変更", u"削除"};
        text += QStringLiteral("\n%1: %2").arg(QString::fromUtf16(kinds[change.kind]), from_cp932(change.name.c_str()));
    }
    MessageBox::message(text);
}

void kestrelDlg::buildLayout()
{
    const DialogUnits units(font());
    setFixedSize(units.size(319, 201));

    // Group boxes first, so that the controls they frame lie above them.
    units.place(new QGroupBox(QStringLiteral("ｶﾃｺﾞﾘｰ"), this), 7, 7, 93, 64);
    units.place(new QGroupBox(QStringLiteral("レコード"), this), 7, 77, 92, 117);
    units.place(new QGroupBox(QStringLiteral("データ"), this), 107, 7, 205, 132);
    units.place(new QGroupBox(QStringLiteral("ファンクション"), this), 107, 143, 205, 51);

    m_edit1 = new DataPane(this);
    units.place(m_edit1, 113, 20, 193, 112);
    m_edit1->setEnabled(false);
    m_list2 = new RecordList(this);
    units.place(m_list2, 9, 87, 86, 92);
    keep_whole_rows(m_list2);
    m_list1 = new_sorted_list(this);
    units.place(m_list1, 9, 19, 88, 45);
    keep_whole_rows(m_list1);

    QList<QWidget*> buttons;
    auto button = [this, &units, &buttons](const QString& text, int x, int y, int width, int height) {
        auto* pushButton = new QPushButton(text, this);
        units.place(pushButton, x, y, width, height);
        buttons << pushButton;
        return pushButton;
    };
    connect(button(QStringLiteral("追加"), 7, 181, 30, 13), &QPushButton::clicked, this, &kestrelDlg::onAdd);
    connect(button(QStringLiteral("削除"), 37, 181, 30, 13), &QPushButton::clicked, this, &kestrelDlg::onDelete);
    connect(button(QStringLiteral("変更"), 67, 181, 31, 13), &QPushButton::clicked, this, &kestrelDlg::onRename);
    connect(button(QStringLiteral("カテゴリ編集"), 113, 153, 50, 14), &QPushButton::clicked, this,
            &kestrelDlg::onKindEdit);
    connect(button(QStringLiteral("設定"), 113, 170, 50, 14), &QPushButton::clicked, this, &kestrelDlg::onSettings);
    connect(button(QStringLiteral("About"), 257, 155, 50, 14), &QPushButton::clicked, this, &kestrelDlg::onAbout);
    connect(button(QStringLiteral("閉じる"), 257, 172, 50, 14), &QPushButton::clicked, this, &kestrelDlg::accept);
    // Focus and Tab follow the template: category list, record list, pane, buttons.
    set_dialog_keys(this, QList<QWidget*>{m_list1, m_list2, m_edit1} + buttons, nullptr);

    connect(m_list1, &QListWidget::itemSelectionChanged, this, &kestrelDlg::onCategorySelected);
    connect(m_list2, &RecordList::rowSelectionChanged, this, &kestrelDlg::onRecordSelected);
    // A click on the row that is still selected while the pane is closed opens it again.
    connect(m_list2, &RecordList::rowPressed, this, [this](int row) {
        if (!m_edit1->isEnabled() && row == m_list2->selectedRow())
            onRecordSelected();
    });
    connect(m_list2, &RecordList::rowDoubleClicked, this, &kestrelDlg::onChangeCategory);

    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this,
            [this] { onFind(false); });
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, [this] { onFind(true); });
}

int kestrelDlg::runModal()
{
    initDialog();
    if (m_ended)
        return QDialog::Accepted;
    return exec();
}

void kestrelDlg::initDialog()
{
    setWindowIcon(app_icon());
    if (sub_load_config() < 0)
        firstRunSetup();
    switch (begin_record_session(g_app_config.datafile)) {
    case SessionStart::Busy:
        MessageBox::message(QStringLiteral("kestrel はすでに起動しています"));
        m_saveAtEnd = false;
        endModal();
        return;
    case SessionStart::Unrecovered:
        MessageBox::message(
            QStringLiteral("データファイルを前回の状態に戻せませんでした。データファイルは変更されません"));
        break;
    case SessionStart::ForeignJournal:
        MessageBox::message(QStringLiteral("%1 は kestrel が作ったファイルではないため使いません。"
                                           "データファイルは変更されません")
                                .arg(QString::fromStdString(session_side_file())));
        break;
    case SessionStart::Ready:
        if (!session_side_file().empty())
            MessageBox::message(QStringLiteral("データファイルと合わないジャーナルを %1 に移しました。"
                                               "データファイルはそのままです")
                                    .arg(QString::fromStdString(session_side_file())));
        break;
    }
    // A protected file's password opens its key, which the load needs.
    const bool protectedFile = datafile_protected();
    if (protectedFile && !login()) {
        m_saveAtEnd = false; // nothing was read: nothing is written
        return;
    }
    const bool readOnly = session_read_only();
    if (sub_sysdata_load() != 0 && !readOnly && session_read_only())
        MessageBox::message(
            QStringLiteral("データファイルを読み込めませんでした。このまま開きますが、データファイルは変更されません"));
    sub_redisplay_kind();
    sub_redisplay_catg();
    if (!protectedFile && g_app_config.password[0] != '\0' && !login())
        return;
    // The copy of the file as this run found it is made while the user looks around.
    session_start_backup();
}

bool kestrelDlg::login()
{
    LoginDlg login;
    login.exec();
    if (login.m_result != 1)
        endModal();
    return login.m_result == 1;
}

void kestrelDlg::firstRunSetup()
{
    MessageBox::message(QStringLiteral("構成データがありませんので、初期設定してください"));
    SettingsDlg settings;
    settings.exec();
    if (settings.m_result == 1)
        MessageBox::message(QStringLiteral("設定を変更しましたので、起動しなおしてください"));
    else
        MessageBox::message(QStringLiteral("設定を完了しないとプログラムを起動できません"));
    endModal();
}

void kestrelDlg::endModal()
{
    m_ended = true;
    QDialog::done(QDialog::Accepted);
}

void kestrelDlg::requestClose()
{
    if (m_ended)
        return;
    // A nested dialog is cancelled first; its command then runs to its end
    // before the window is closed.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(0, this, &kestrelDlg::requestClose);
        return;
    }
    accept();
}

void kestrelDlg::accept()
{
    sub_check_update(1);
    endModal();
}

void kestrelDlg::reject()
{
    onKindEdit();
}

void kestrelDlg::closeEvent(QCloseEvent* event)
{
    // The window manager's close box and Alt+F4 are the Close button; the
    // dialog's own handling would run the cancel command, the category editor.
    requestClose();
    event->setAccepted(!isVisible());
}

void kestrelDlg::onSysCommand(int id)
{
    if ((id & 0xFFF0) == IDM_ABOUT)
        onAbout();
}

void kestrelDlg::closePane()
{
    g_app_config.ncursel = -1;
    m_edit1->clearStored();
    m_edit1->setEnabled(false);
}

int kestrelDlg::addRecordRow(const char* name, int index)
{
    const QSignalBlocker blocker(m_list2);
    return m_list2->addSorted(name, index);
}

void kestrelDlg::sub_redisplay_kind()
{
    const QSignalBlocker blocker(m_list1);
    m_list1->clear();
    add_sorted_row(m_list1, QStringLiteral("(ALL)"), KIND_ALL);
    char name[NAME_SIZE + 1];
    for (const KindSlot& slot : KindTable) {
        if (slot.in_use != 1)
            continue;
        field_text(slot.name, NAME_SIZE, name);
        add_sorted_row(m_list1, from_cp932(name), slot.kind_id);
    }
    if (g_app_config.kind_cursel >= 0 && g_app_config.kind_cursel < m_list1->count())
        m_list1->setCurrentRow(g_app_config.kind_cursel);
}

void kestrelDlg::sub_redisplay_data(int index)
{
    CatgRecord record;
    if (read_record(g_app_config.datafile, index, record) != 0) {
        // A pane left open here would store its text over the record it could not show.
        closePane();
        MessageBox::message(QStringLiteral("レコードを読み込めませんでした"));
        return;
    }
    char data[DATA_SIZE + 1];
    field_text(record.data, DATA_SIZE, data);
    m_edit1->showStored(data);
}

void kestrelDlg::onCategorySelected()
{
    sub_check_update(1);
    g_app_config.kind_cursel = selected_row(m_list1);
    g_app_config.ncursel = -1;
    logputd(1, __FILE_NAME__, __LINE__, "m_list1 selected. Current sel = %d\n", g_app_config.kind_cursel);
    sub_redisplay_catg();
}

void kestrelDlg::onRecordSelected()
{
    AppConfig& config = g_app_config;
    const int npos = m_list2->selectedRow();
    logputd(1, __FILE_NAME__, __LINE__, "m_list2 selected npos=%d, ncursel=%d\n", npos, config.ncursel);
    sub_check_update(0);
    if (npos < 0) {
        // The selection was cleared: the pane belongs to no record any more.
        closePane();
        return;
    }
    m_edit1->setEnabled(true);
    config.ncursel = npos;
    const int index = m_list2->recordIndex(npos);
    logputd(1, __FILE_NAME__, __LINE__, "Data Kind = %d\n", index);
    sub_redisplay_data(index);
}
