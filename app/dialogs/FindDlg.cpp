#include "app/dialogs/FindDlg.h"

#include "app/dialogs/DataInputDlg.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include <QLineEdit>
#include <QPushButton>

FindDlg::FindDlg()
{
    const QFont font = dialog_font(10);
    setFont(font);
    setWindowTitle(QStringLiteral("検索"));
    const DialogUnits units(font);
    setFixedSize(units.size(187, 52));

    m_edit = new QLineEdit(this);
    units.place(m_edit, 7, 7, 173, 15);
    // Records hold only CP932 text: anything else could never be found.
    m_edit->setValidator(new Cp932Validator(DataInputDlg::TEXT_MAX, m_edit));
    connect(m_edit, &QLineEdit::inputRejected, this, [this] { show_notice(m_edit, notice_not_cp932()); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 26, 30, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FindDlg::accept);

    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    units.place(cancel, 110, 30, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &FindDlg::reject);
}

int FindDlg::exec()
{
    m_edit->setText(m_text);
    m_edit->selectAll();
    m_edit->setFocus();
    return QDialog::exec();
}

void FindDlg::accept()
{
    if (m_edit->text().isEmpty()) {
        MessageBox::message(QStringLiteral("検索する文字列を入力してください"));
        return;
    }
    m_text = m_edit->text();
    m_result = 1;
    QDialog::accept();
}

void FindDlg::reject()
{
    m_result = 0;
    QDialog::reject();
}
