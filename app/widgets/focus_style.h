// The look of focus and group boxes as on the Windows dialogs: a focused
// button and a list's current row carry a dotted frame in the text colour
// (so the current row never looks selected, and a selected row shows that it
// also has the focus), a focused list's border takes the highlight colour
// (also when it is empty), and a group box's frame line runs through the
// middle of its caption, so the line lies where the template places the box.
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
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget = nullptr) const override;
    void polish(QWidget* widget) override;
    void unpolish(QWidget* widget) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
