// SIGTERM, SIGINT and SIGHUP end the program the way its Close button does:
// the handler only writes a byte into a pipe, and the event loop turns that
// into closeRequested(). The handlers stay installed until the process ends,
// so a second signal during the final save only writes another byte.
#pragma once

#include <QObject>

class QSocketNotifier;

class SignalClose : public QObject
{
    Q_OBJECT

public:
    explicit SignalClose(QObject* parent = nullptr);
    ~SignalClose() override;

signals:
    void closeRequested();

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};
