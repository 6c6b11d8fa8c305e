// Locks an unattended kestrel: after kest_lockmins minutes without input
// (REG_SZ digits, default 10; 0: not on time), and when the desktop session locks
// its screen or the machine goes to sleep (D-Bus: the ScreenSaver's
// ActiveChanged, logind's Lock and PrepareForSleep), provided a login
// password is set. The pane is stored as a command stores it, every window is
// hidden and the login dialog asks again: the right password shows the
// windows as they were, Cancel ends the program as a refused login does.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class kestrelDlg;

class IdleLock : public QObject
{
    Q_OBJECT

public:
    explicit IdleLock(kestrelDlg* window);
    ~IdleLock() override;

    // Tests only: the idle time in milliseconds instead of the registry's
    // minutes, for the locks made afterwards; 0 gives the registry back.
    static void setIdleMillisecondsForTests(int ms);

    bool locked() const { return m_locked; }

public slots:
    // Locks now (the session locked its screen), unless already locked, no
    // password is set or the window is not running.
    void lockNow();

private slots:
    void onScreenSaverActive(bool active);
    void onPrepareForSleep(bool sleeping);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void arm();
    void onIdleTimeout();
    void watchSession();

    kestrelDlg* m_window;
    QTimer m_idle;
    QElapsedTimer m_lastInput;
    int m_idleMs = 0;
    bool m_locked = false;
};
