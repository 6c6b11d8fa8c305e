#include "app/main_window/pane_clipboard.h"

#include "app/config/config_store.h"

#include "platform/registry_digits.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QWidget>

namespace {

constexpr int kDefaultSeconds = 30;
constexpr int kMaxSeconds = 1000000; // in milliseconds still an int

int slot_of(QClipboard::Mode mode)
{
    return mode == QClipboard::Selection ? 1 : 0;
}

} // namespace

PaneClipboard::PaneClipboard(QWidget* pane) : QObject(pane), m_pane(pane)
{
    m_clear.setSingleShot(true);
    m_tick.setInterval(1000);
    connect(&m_clear, &QTimer::timeout, this, &PaneClipboard::clearOurs);
    connect(&m_tick, &QTimer::timeout, this, &PaneClipboard::showStatus);
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, &PaneClipboard::onChanged);
}

PaneClipboard::~PaneClipboard()
{
    // The window is going away: no caption to update.
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    for (QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection})
        if (holdsOurs(mode))
            QGuiApplication::clipboard()->clear(mode);
}

QMimeData* PaneClipboard::offer(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kHintFormat), QByteArrayLiteral("secret"));
    m_made.removeAll(nullptr);
    m_made.append(data);
    return data;
}

void PaneClipboard::onChanged(QClipboard::Mode mode)
{
    if (mode != QClipboard::Clipboard && mode != QClipboard::Selection)
        return;
    const QMimeData* now = QGuiApplication::clipboard()->mimeData(mode);
    const bool ours = now && m_made.contains(now);
    m_held[slot_of(mode)] = ours ? const_cast<QMimeData*>(now) : nullptr;
    if (ours) {
        const int seconds = reg::read_digits(CONFIG_KEY, "kest_clipsecs", kDefaultSeconds, kMaxSeconds);
        if (seconds > 0) {
            m_clear.start(seconds * 1000);
            m_since.start();
            m_tick.start();
        }
    }
    showStatus();
}

bool PaneClipboard::holdsOurs(QClipboard::Mode mode) const
{
    const QPointer<QMimeData>& held = m_held[slot_of(mode)];
    return held && QGuiApplication::clipboard()->mimeData(mode) == held;
}

void PaneClipboard::clearOurs()
{
    for (QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
        if (holdsOurs(mode))
            QGuiApplication::clipboard()->clear(mode);
        m_held[slot_of(mode)] = nullptr;
    }
    m_clear.stop();
    showStatus();
}

void PaneClipboard::showStatus()
{
    QWidget* window = m_pane->window();
    const bool pending = m_clear.isActive() && (holdsOurs(QClipboard::Clipboard) || holdsOurs(QClipboard::Selection));
    if (!pending) {
        m_tick.stop();
        if (!m_caption.isEmpty())
            window->setWindowTitle(m_caption);
        m_caption.clear();
        return;
    }
    if (m_caption.isEmpty())
        m_caption = window->windowTitle();
    const qint64 left = (m_clear.interval() - m_since.elapsed() + 999) / 1000;
    window->setWindowTitle(
        QStringLiteral("%1 （%2 秒後にクリップボードを消去）").arg(m_caption).arg(qMax<qint64>(left, 1)));
}
