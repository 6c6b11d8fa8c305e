// What the data pane puts on the clipboard is usually a password: it carries
// the marker that clipboard histories honour, and it is cleared again after
// kest_clipsecs seconds (REG_SZ digits, default 30; 0: not on time) and when the
// program ends, but only while the clipboard still holds it. While a clear is
// pending, the window's caption says in how many seconds.
#pragma once

#include <QClipboard>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QMimeData;
class QWidget;

class PaneClipboard : public QObject
{
    Q_OBJECT

public:
    // The pane whose window shows the pending clear in its caption.
    explicit PaneClipboard(QWidget* pane);
    // Clears what is still ours: a clipboard manager must not keep it.
    ~PaneClipboard() override;

    // Marked clipboard data for text of the pane. Once it reaches the
    // clipboard or the selection, the clear is scheduled.
    QMimeData* offer(const QString& text);
    // True until the scheduled clear has run.
    bool clearPending() const { return m_clear.isActive(); }

    static constexpr const char* kHintFormat = "x-kde-passwordManagerHint";

private:
    void onChanged(QClipboard::Mode mode);
    void clearOurs();
    bool holdsOurs(QClipboard::Mode mode) const;
    void showStatus();

    QWidget* m_pane;
    QList<QPointer<QMimeData>> m_made;
    QPointer<QMimeData> m_held[2]; // what kestrel put there: clipboard, selection
    QTimer m_clear;
    QTimer m_tick; // refreshes the caption's count-down
    QElapsedTimer m_since;
    QString m_caption; // the caption without the note; empty while no note shows
};
