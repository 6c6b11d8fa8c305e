#include "app/main_window/end_save.h"

#include "app/config/config_store.h"
#include "app/main_window/data_pane.h"
#include "app/main_window/kestrelDlg.h"
#include "app/main_window/record_list.h"

#include "commons/commons.h"
#include "store/app_config.h"
#include "store/file/record_session.h"
#include "store/record_ops.h"
#include "store/sysdata.h"

#include <QEvent>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

// One main window at a time. The lock keeps the end to one run, also when
// the toolkit calls exit() from a thread of its own.
std::mutex g_lock;
kestrelDlg* g_window = nullptr; // armed while not null
bool g_registered = false;
QtMessageHandler g_previousHandler = nullptr;
int g_paneRecord = -1; // the record index whose text the pane holds; -1 for none
std::string g_paneText;

// Follows the pane: every change of its text, and its closing (it is
// disabled), which leaves no record to store into.
class PaneMirror : public QObject
{
public:
    explicit PaneMirror(kestrelDlg* window) : QObject(window), m_window(window)
    {
        connect(window->m_edit1, &QPlainTextEdit::textChanged, this, &PaneMirror::update);
        window->m_edit1->installEventFilter(this);
        update();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            update();
        return false;
    }

private:
    void update()
    {
        const int row = g_app_config.ncursel;
        int record = m_window->m_edit1->isEnabled() && row >= 0 ? m_window->m_list2->recordIndex(row) : -1;
        std::string text;
        // Text that CP932 cannot hold is not stored by Close either.
        if (record >= 0 && !m_window->m_edit1->storedText(text))
            record = -1;
        const std::lock_guard<std::mutex> hold(g_lock);
        g_paneRecord = record;
        g_paneText = std::move(text);
    }

    kestrelDlg* m_window;
};

// True when the category table could not be written.
bool save_now(bool saves)
{
    bool failed = false;
    if (saves) {
        sub_save_config();
        if (g_app_config.datafile_changed != 1)
            failed = sub_sysdata_save() != 0;
    }
    end_record_session();
    g_window = nullptr;
    g_paneRecord = -1;
    g_paneText.clear();
    return failed;
}

// Runs when the process ends while a main window still lives.
void save_at_exit()
{
    const std::lock_guard<std::mutex> hold(g_lock);
    if (!g_window)
        return;
    logputd(1, __FILE_NAME__, __LINE__, "Program ends without its window: saving\n");
    const bool saves = g_window->savesAtEnd();
    if (saves && g_paneRecord >= 0)
        sub_update_datafile(g_paneRecord, g_paneText.c_str(), -1);
    save_now(saves);
}

// Qt's last words before it ends the process for a lost display connection.
bool display_lost(QtMsgType type, const QString& message)
{
    return type != QtDebugMsg && type != QtInfoMsg &&
           (message.startsWith(QLatin1String("The X11 connection broke")) ||
            message.startsWith(QLatin1String("The Wayland connection")));
}

void on_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (display_lost(type, message))
        save_at_exit();
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

void watch_for_exit(kestrelDlg* window)
{
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        g_window = window;
        g_paneRecord = -1;
        g_paneText.clear();
        if (!g_registered) {
            g_registered = std::atexit(save_at_exit) == 0;
            g_previousHandler = qInstallMessageHandler(on_qt_message);
        }
    }
    new PaneMirror(window);
}

bool save_at_end(bool saves)
{
    const std::lock_guard<std::mutex> hold(g_lock);
    return g_window && save_now(saves);
}
