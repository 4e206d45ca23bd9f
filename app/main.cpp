// velmora, the desktop program.
#include "app/CommandLine.h"
#include "app/Windows.h"
#include "app/fMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (const TInfoRequest request = infoRequest(argc, argv); request != TInfoRequest::None)
        return answerInfoRequest(request, stdout);
    QApplication app(argc, argv);
    initApplicationNames();
    TVelmoraWindows windows;
    // velmora FILE...: the list starts with those files (folders as added).
    windows.frmMain->StartPaths = startPathsFromArguments(argc, argv);
    windows.frmMain->show();
    return app.exec();
}
