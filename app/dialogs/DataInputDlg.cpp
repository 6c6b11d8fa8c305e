#include "app/dialogs/DataInputDlg.h"

#include "app/widgets/dialog_keys.h"
#include "app/widgets/dialog_units.h"
#include "app/widgets/message_box.h"
#include "app/widgets/text_edge.h"

#include "platform/cp932.h"

#include <QLineEdit>
#include <QPushButton>

#include <cstring>

namespace {

// What the validator lets through while typing: far more than TEXT_MAX, so
// that an overlong entry can still be typed and is cut or refused at OK.
constexpr int kTypingMax = 65534;

} // namespace

DataInputDlg::DataInputDlg()
{
    const QFont font = dialog_font(10);
    setFont(font);
    setWindowTitle(QStringLiteral("データ入力"));
    const DialogUnits units(font);
    setFixedSize(units.size(187, 52));

    m_edit = new QLineEdit(this);
    units.place(m_edit, 7, 7, 173, 15);
    m_edit->setValidator(new Cp932Validator(kTypingMax, m_edit));
    connect(m_edit, &QLineEdit::inputRejected, this, [this] { show_notice(m_edit, notice_not_cp932()); });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    units.place(ok, 26, 30, 50, 14);
    connect(ok, &QPushButton::clicked, this, &DataInputDlg::accept);

    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    units.place(cancel, 110, 30, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &DataInputDlg::reject);
    set_dialog_keys(this, {m_edit, ok, cancel}, ok);
}

int DataInputDlg::exec()
{
    m_text[TEXT_MAX] = '\0';
    m_shown = from_cp932(m_text);
    if (m_text[0] != '\0')
        m_edit->setText(m_shown);
    return QDialog::exec();
}

QString DataInputDlg::tooLongMessage(int limit)
{
    return QStringLiteral("名前は半角%1文字（全角%2文字）までです").arg(limit).arg(limit / 2);
}

void DataInputDlg::accept()
{
    const QString typed = m_edit->text();
    if (typed.isEmpty()) {
        MessageBox::message(QStringLiteral("データを入力してください"));
        return;
    }
    std::string bytes;
    if (typed == m_shown && m_text[0] != '\0') {
        // Unchanged: keep the caller's bytes, even ones the screen cannot show.
        bytes = m_text;
    } else if (!to_cp932(typed, bytes)) {
        show_notice(m_edit, notice_not_cp932());
        return;
    }
    const int limit = m_limit < TEXT_MAX ? m_limit : TEXT_MAX;
    if (limit<TEXT_MAX&& static_cast<int>(bytes.size())> limit) {
        MessageBox::message(tooLongMessage(limit));
        return;
    }
    cp932::copy_cut(m_text, sizeof m_text, bytes.c_str());
    m_result = 1;
    QDialog::accept();
}

void DataInputDlg::reject()
{
    m_result = 0;
    QDialog::reject();
}
