// Qt's own texts (standard buttons, the file dialog and its questions) in
// Japanese, as a Japanese Windows shows them.
#pragma once

// Loads Qt's Japanese translation from where the system keeps Qt's
// translations; false when it is not installed (the texts stay English).
bool load_qt_translations();
