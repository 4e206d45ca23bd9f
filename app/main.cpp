// velmora, the desktop program.
#include "app/Windows.h"
#include "app/fMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    initApplicationNames();
    TVelmoraWindows windows;
    windows.frmMain->show();
    return app.exec();
}
