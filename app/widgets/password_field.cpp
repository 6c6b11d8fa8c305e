#include "app/widgets/password_field.h"

#include "app/widgets/field_limit.h"
#include "store/app_config.h"

#include <QLineEdit>

#include <string.h>

QLineEdit* new_password_field(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setInputMethodHints(field->inputMethodHints() | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    limit_field(field, CONFIG_TEXT_SIZE - 1);
    return field;
}

void wipe_field(QLineEdit* field)
{
    // The copy shares the field's buffer; once the field has new text (which
    // also drops its undo steps) the copy owns that buffer alone and is
    // overwritten in place.
    QString text = field->text();
    field->setText(QString());
    if (!text.isEmpty())
        explicit_bzero(text.data(), static_cast<size_t>(text.size()) * sizeof(QChar));
}
