// The masked fields that take the login password: input methods are asked
// not to learn or predict what is typed, and the typed text is wiped from
// memory once it has been used.
#pragma once

class QLineEdit;
class QWidget;

// A masked field for up to 1023 CP932 bytes.
QLineEdit* new_password_field(QWidget* parent);
// Overwrites the field's text in memory, then empties the field.
void wipe_field(QLineEdit* field);
