// kestrel: the record keeper's program.
#include "kestrel.h"

#include <QApplication>

// Constructed before main runs, so that its banner is the first log line.
kestrelApp theApp;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    theApp.InitInstance();
    return 0;
}
