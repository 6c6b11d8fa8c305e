// The application icon (resource 128): the window icon of the main window and
// the picture of the About box.
#pragma once

#include <QIcon>

constexpr int IDR_MAINFRAME = 128;

QIcon app_icon();
