// Dialog templates give positions in dialog units; this turns them into
// pixels with the dialog font's metrics (x unit = average character width / 4,
// y unit = character height / 8), so a window looks like its template at any
// font size.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

// The dialog font: "MS PGothic" at the given size, falling back to the
// system's Japanese sans font.
QFont dialog_font(int points);

class DialogUnits
{
public:
    explicit DialogUnits(const QFont& font);

    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;
    // Sets a child's geometry from template coordinates.
    void place(QWidget* widget, int x, int y, int width, int height) const;

private:
    int m_baseX; // average character width in pixels
    int m_baseY; // character height in pixels
};
