// The main window's data pane: shows a record's data text with LF line ends
// and hands it back as CP932 with CR LF. It refuses typed or pasted text that
// CP932 cannot hold or that would make the text longer than the record's data
// field, and hands back the loaded bytes unchanged while the text is unedited.
// What it copies to the clipboard is marked secret and cleared again.
#pragma once

#include <QPlainTextEdit>

#include <string>

class PaneClipboard;

class DataPane : public QPlainTextEdit
{
public:
    explicit DataPane(QWidget* parent);

    // Shows a stored (CP932, CR LF) text and remembers its bytes.
    void showStored(const char* data);
    // Empties the pane.
    void clearStored();
    // The text to store: the loaded bytes while unedited, else the converted
    // text. False when the edited text cannot be written in CP932.
    bool storedText(std::string& out) const;
    // CP932 bytes the text takes when stored; -1 when it cannot be stored.
    int storedSize() const;

    static constexpr int kMaxBytes = 4095;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    // Copies (Ctrl+C, the context menu, the selection) go through the guard.
    QMimeData* createMimeDataFromSelection() const override;

private:
    // True when `inserted` may replace the selection; shows a notice if not.
    bool accepts(const QString& inserted);

    std::string m_loaded;
    PaneClipboard* m_clipboard;
};
