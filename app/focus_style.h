// The look of focus and group boxes as on the Windows dialogs: the focused
// control and a list's current row carry a dotted frame in the text colour
// (so the current row never looks selected, and a selected row shows that it
// also has the focus), and a group box's frame line runs through the middle
// of its caption, so the line lies where the template places the box.
// Every colour comes from the palette, so a dark theme stays readable.
#pragma once

#include <QProxyStyle>

class QStyleOptionGroupBox;

class FocusStyle : public QProxyStyle
{
public:
    FocusStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget = nullptr) const override;
};
