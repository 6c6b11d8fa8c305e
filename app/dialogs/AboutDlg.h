// The About box: the program's name and version.
#pragma once

#include <QDialog>

class AboutDlg : public QDialog
{
    Q_OBJECT

public:
    AboutDlg();
};

// The version line (its blanks are ideographic spaces).
QString about_version_line();
