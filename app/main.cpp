// velmora, the desktop program.
#include "app/Windows.h"
#include "app/fMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    initApplicationNames();
    TVelmoraWindows windows;
    // velmora FILE...: the list starts with those files (folders as added).
    windows.frmMain->StartPaths = startPathsFromArguments(argc, argv);
    windows.frmMain->show();
    return app.exec();
}
