#include "app/dialogs/AboutDlg.h"

#include "app/widgets/app_icon.h"
#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"

#include <QLabel>
#include <QPushButton>

QString about_version_line()
{
    return QStringLiteral("システム\u3000バージョン\u3000１．００Ａ");
}

AboutDlg::AboutDlg()
{
    setWindowTitle(QStringLiteral("kestrelのﾊﾞｰｼﾞｮﾝ情報"));
    setFont(dialog_font(10));
    const DialogUnits units(font());
    setFixedSize(units.size(235, 55));

    auto* icon = new QLabel(this);
    const QRect iconRect = units.rect(11, 17, 20, 20);
    icon->setPixmap(app_icon().pixmap(iconRect.size()));
    icon->setGeometry(iconRect);
    auto* name = new QLabel(QStringLiteral("Larkspur"), this);
    units.place(name, 40, 10, 119, 10);
    auto* version = new QLabel(about_version_line(), this);
    units.place(version, 40, 25, 119, 10);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 178, 7, 50, 14);
    connect(ok, &QPushButton::clicked, this, &AboutDlg::accept);
    set_dialog_keys(this, {icon, name, version, ok}, ok);
}
