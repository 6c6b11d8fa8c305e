#include "app/kestrel.h"

#include "app/main_window/idle_lock.h"
#include "app/main_window/kestrelDlg.h"
#include "app/signal_close.h"
#include "app/widgets/message_box.h"

#include "commons/commons.h"
#include "platform/no_dumps.h"
#include "platform/sockets.h"
#include "store/app_config.h"

#include <QGuiApplication>
#include <QObject>

#include <string.h>

kestrelApp::kestrelApp()
{
    // Before anything is loaded: no core file or other process gets the
    // password or the record texts this process will hold.
    nodumps::forbid_dumps();
    logputd(1, __FILE_NAME__, __LINE__, "================== START =============\n");
}

bool kestrelApp::InitInstance()
{
    if (sockets::startup(1, 1) != 0) {
        MessageBox::message(QStringLiteral("Windows ｿｹｯﾄの初期化に失敗しました。"));
        return false;
    }
    {
        kestrelDlg dlg;
        // The session's end and the termination signals close the window as
        // its Close button does, so typed text and settings are kept.
        SignalClose terminationSignals;
        QObject::connect(&terminationSignals, &SignalClose::closeRequested, &dlg, &kestrelDlg::requestClose);
        QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, &dlg, &kestrelDlg::requestClose);
        IdleLock idleLock(&dlg);
        dlg.runModal();
    }
    // Saved at the window's end; the password is of no further use.
    explicit_bzero(g_app_config.password, sizeof g_app_config.password);
    sockets::cleanup();
    return false;
}
