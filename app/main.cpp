// kestrel: the record keeper's program.
#include "app/kestrel.h"
#include "app/widgets/focus_style.h"
#include "app/widgets/qt_translations.h"

#include <QApplication>

// Constructed before main runs, so that its banner is the first log line.
kestrelApp theApp;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(new FocusStyle);
    load_qt_translations();
    theApp.InitInstance();
    return 0;
}
