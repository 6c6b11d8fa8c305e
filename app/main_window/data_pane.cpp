#include "app/main_window/data_pane.h"

#include "app/main_window/pane_clipboard.h"
#include "app/widgets/text_edge.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextDocumentFragment>

namespace {

// Stored size of screen text: every LF becomes CR LF.
int stored_size(const QString& text)
{
    const int size = cp932_size(text);
    return size < 0 ? -1 : size + static_cast<int>(text.count(QLatin1Char('\n')));
}

} // namespace

DataPane::DataPane(QWidget* parent) : QPlainTextEdit(parent), m_clipboard(new PaneClipboard(this))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on through the window's controls; Ctrl+Tab types a tab.
    setTabChangesFocus(true);
}

void DataPane::showStored(const char* data)
{
    m_loaded = data;
    setPlainText(pane_text_from_cp932(data));
    document()->setModified(false);
}

void DataPane::clearStored()
{
    m_loaded.clear();
    clear();
    document()->setModified(false);
}

bool DataPane::storedText(std::string& out) const
{
    if (!document()->isModified()) {
        out = m_loaded;
        return true;
    }
    return pane_text_to_cp932(toPlainText(), out);
}

int DataPane::storedSize() const
{
    return stored_size(toPlainText());
}

bool DataPane::accepts(const QString& inserted)
{
    if (inserted.isEmpty())
        return true;
    QString text = inserted;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const int added = stored_size(text);
    if (added < 0) {
        show_notice(this, notice_not_cp932());
        return false;
    }
    QString selected = textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const int current = storedSize();
    // Text loaded from a record is always storable; only an edit can fail here.
    if (current >= 0 && current - stored_size(selected) + added > kMaxBytes) {
        show_notice(this, notice_too_long(kMaxBytes));
        return false;
    }
    return true;
}

void DataPane::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        if (accepts(QStringLiteral("\t")))
            insertPlainText(QStringLiteral("\t"));
        return;
    }
    QString inserted;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        inserted = QStringLiteral("\n");
    else if (!event->text().isEmpty() &&
             (event->text().at(0).category() != QChar::Other_Control || event->text() == QLatin1String("\t")))
        inserted = event->text();
    if (!inserted.isEmpty() && !(event->modifiers() & Qt::ControlModifier) && !accepts(inserted))
        return;
    QPlainTextEdit::keyPressEvent(event);
}

void DataPane::inputMethodEvent(QInputMethodEvent* event)
{
    if (!accepts(event->commitString())) {
        QInputMethodEvent cleared;
        QPlainTextEdit::inputMethodEvent(&cleared);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void DataPane::insertFromMimeData(const QMimeData* source)
{
    if (source && source->hasText() && !accepts(source->text()))
        return;
    QPlainTextEdit::insertFromMimeData(source);
}

QMimeData* DataPane::createMimeDataFromSelection() const
{
    return m_clipboard->offer(textCursor().selection().toPlainText());
}
