#include "app/widgets/field_limit.h"

#include "app/widgets/text_edge.h"
#include "platform/cp932.h"

#include <QLineEdit>

#include <string.h>
#include <string>

namespace {

// Remembers why the last input was refused, for the notice.
class NoticeValidator : public Cp932Validator
{
public:
    NoticeValidator(int max_bytes, QObject* parent) : Cp932Validator(max_bytes, parent), m_maxBytes(max_bytes) {}

    State validate(QString& input, int& pos) const override
    {
        const State state = Cp932Validator::validate(input, pos);
        if (state == Invalid)
            m_notice = cp932_size(input) < 0 ? notice_not_cp932() : notice_too_long(m_maxBytes);
        return state;
    }

    QString notice() const { return m_notice; }

private:
    int m_maxBytes;
    mutable QString m_notice;
};

} // namespace

void limit_field(QLineEdit* field, int max_bytes)
{
    auto* validator = new NoticeValidator(max_bytes, field);
    field->setValidator(validator);
    QObject::connect(field, &QLineEdit::inputRejected, field,
                     [field, validator] { show_notice(field, validator->notice()); });
}

bool take_field(const QLineEdit* field, char* out, std::size_t size)
{
    out[0] = '\0';
    std::string text;
    if (!to_cp932(field->text(), text))
        return false;
    cp932::copy_cut(out, size, text.c_str());
    explicit_bzero(text.data(), text.size()); // a password passes here
    return true;
}
