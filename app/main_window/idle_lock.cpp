#include "app/main_window/idle_lock.h"

#include "app/config/config_store.h"
#include "app/dialogs/LoginDlg.h"
#include "app/main_window/kestrelDlg.h"

#include "platform/registry_digits.h"
#include "store/app_config.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDialog>
#include <QEvent>
#include <QList>
#include <QPointer>

#include <unistd.h>

namespace {

constexpr int kDefaultMinutes = 10;
constexpr int kMaxMinutes = 35000; // in milliseconds still an int
int g_testMilliseconds = 0;

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");

bool is_input(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
        return true;
    default:
        return false;
    }
}

} // namespace

IdleLock::IdleLock(kestrelDlg* window) : m_window(window)
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &IdleLock::onIdleTimeout);
    qApp->installEventFilter(this);
    watchSession();
    arm();
}

IdleLock::~IdleLock()
{
    qApp->removeEventFilter(this);
}

void IdleLock::setIdleMillisecondsForTests(int ms)
{
    g_testMilliseconds = ms;
}

void IdleLock::watchSession()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return;
    session.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                    QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                    SLOT(onScreenSaverActive(bool)));
    session.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
                    QStringLiteral("ActiveChanged"), this, SLOT(onScreenSaverActive(bool)));

    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected())
        return;
    system.connect(kLogin, kLoginPath, QStringLiteral("org.freedesktop.login1.Manager"),
                   QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    // logind sends Lock to the session's own object: ask which one is ours.
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogin, kLoginPath, QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetSessionByPID"));
    call << static_cast<quint32>(getpid());
    auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isValid())
            QDBusConnection::systemBus().connect(kLogin, reply.value().path(),
                                                 QStringLiteral("org.freedesktop.login1.Session"),
                                                 QStringLiteral("Lock"), this, SLOT(lockNow()));
        finished->deleteLater();
    });
}

void IdleLock::arm()
{
    m_idleMs = g_testMilliseconds > 0
                   ? g_testMilliseconds
                   : reg::read_digits(CONFIG_KEY, "kest_lockmins", kDefaultMinutes, kMaxMinutes) * 60000;
    m_lastInput.start();
    if (m_idleMs > 0)
        m_idle.start(m_idleMs);
    else
        m_idle.stop();
}

bool IdleLock::eventFilter(QObject* watched, QEvent* event)
{
    if (is_input(event->type()))
        m_lastInput.restart();
    return QObject::eventFilter(watched, event);
}

void IdleLock::onIdleTimeout()
{
    const qint64 quiet = m_lastInput.elapsed();
    if (quiet < m_idleMs) {
        m_idle.start(static_cast<int>(m_idleMs - quiet));
        return;
    }
    lockNow();
    if (!m_locked && !m_window->ended())
        arm();
}

void IdleLock::onScreenSaverActive(bool active)
{
    if (active)
        lockNow();
}

void IdleLock::onPrepareForSleep(bool sleeping)
{
    if (sleeping)
        lockNow();
}

void IdleLock::lockNow()
{
    // Before the first login and after the end there is nothing to guard.
    if (m_locked || g_app_config.password[0] == '\0' || m_window->ended() || !m_window->isVisible())
        return;
    m_locked = true;
    m_idle.stop();
    m_window->sub_check_update(1);

    // The main window first, so that its dialogs come back above it.
    const QPointer<QWidget> active = QApplication::activeModalWidget();
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QList<QPointer<QWidget>> hidden{m_window};
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != m_window && window->isVisible())
            hidden << window;
    for (const QPointer<QWidget>& window : hidden)
        window->hide();

    LoginDlg login;
    login.exec();
    if (login.m_result == 1) {
        for (const QPointer<QWidget>& window : hidden)
            if (window && (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog))
                window->show();
        QWidget* top = active ? active.data() : m_window;
        top->raise();
        top->activateWindow();
        if (focus)
            focus->setFocus();
        m_locked = false;
        arm();
        return;
    }
    // Refused: the program ends as after a refused login, saving as Close
    // does. The dialogs that were open are cancelled first.
    for (const QPointer<QWidget>& window : hidden) {
        if (!window || window == m_window)
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(window.data()))
            dialog->reject();
    }
    QTimer::singleShot(0, m_window, &kestrelDlg::requestClose);
}
