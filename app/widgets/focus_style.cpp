#include "app/widgets/focus_style.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>
#include <QStyleOption>
#include <qdrawutil.h>

namespace {

// A captioned group box that is no check box: drawn here, as the dialog
// manager draws it.
bool plain_captioned(const QStyleOptionComplex* option)
{
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    return box && !box->text.isEmpty() && !(box->subControls & QStyle::SC_GroupBoxCheckBox);
}

} // namespace

FocusStyle::FocusStyle() = default;

void FocusStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    // A list's border is drawn outside its rows: repaint it when the focus comes or goes.
    if (qobject_cast<QAbstractItemView*>(widget))
        widget->installEventFilter(this);
}

void FocusStyle::unpolish(QWidget* widget)
{
    widget->removeEventFilter(this);
    QProxyStyle::unpolish(widget);
}

bool FocusStyle::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        if (auto* widget = qobject_cast<QWidget*>(watched))
            widget->update();
    return QProxyStyle::eventFilter(watched, event);
}

void FocusStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    if (!(option->state & State_HasFocus))
        return;
    if (element == CE_PushButton) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(*option);
        focus.rect = subElementRect(SE_PushButtonFocusRect, option, widget);
        drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
    } else if (element == CE_ShapedFrame && qobject_cast<const QAbstractItemView*>(widget)) {
        painter->save();
        painter->setPen(QPen(option->palette.color(QPalette::Highlight), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->drawRect(option->rect.adjusted(1, 1, -2, -2));
        painter->restore();
    }
}

QRect FocusStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                                 const QWidget* widget) const
{
    if (control != CC_GroupBox || !plain_captioned(option))
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    const auto* box = static_cast<const QStyleOptionGroupBox*>(option);
    const QFontMetrics& metrics = box->fontMetrics;
    const QRect& rect = box->rect;
    switch (subControl) {
    case SC_GroupBoxFrame:
        // The frame line runs through the middle of the caption's first line.
        return rect.adjusted(0, metrics.height() / 2, 0, 0);
    case SC_GroupBoxLabel: {
        const int indent = metrics.averageCharWidth();
        const int pad = metrics.averageCharWidth() / 2;
        const int width = qMin(metrics.horizontalAdvance(box->text) + 2 * pad, rect.width() - 2 * indent);
        return QRect(rect.left() + indent, rect.top(), width, metrics.height());
    }
    case SC_GroupBoxContents:
        return rect.adjusted(1, metrics.height(), -1, -1);
    default:
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }
}

void FocusStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                    const QWidget* widget) const
{
    if (control != CC_GroupBox || !plain_captioned(option)) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const auto* box = static_cast<const QStyleOptionGroupBox*>(option);
    const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
    painter->save();
    // An etched line in the palette's own shades, broken where the caption stands.
    painter->setClipRegion(QRegion(box->rect).subtracted(label));
    qDrawShadeRect(painter, subControlRect(control, option, SC_GroupBoxFrame, widget), box->palette, true, 1);
    painter->restore();
    drawItemText(painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, box->palette, box->state & State_Enabled,
                 box->text, QPalette::WindowText);
}

void FocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    if (element != PE_FrameFocusRect) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // A row of a list always shows it; other controls once the keyboard is in use.
    if (!(option->state & (State_Item | State_KeyboardFocusChange)))
        return;
    const QPalette::ColorGroup group = option->state & State_Enabled ? QPalette::Normal : QPalette::Disabled;
    const QPalette::ColorRole role = option->state & State_Selected ? QPalette::HighlightedText
                                     : option->state & State_Item   ? QPalette::Text
                                                                    : QPalette::ButtonText;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(option->palette.color(group, role), 1, Qt::DotLine));
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}
