#include "app/Windows.h"

#include "app/fAbout.h"
#include "app/fMain.h"
#include "app/fMoreOptions.h"
#include "app/fResizing.h"
#include "app/fResults.h"
#include "app/fSobreescribir.h"
#include "app/fTriarIdioma.h"
#include "batch/FilePath.h"

#include <QApplication>
#include <QIcon>
#include <QUrl>

void initApplicationNames() {
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/velmora/icons/velmora-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

TVelmoraWindows::TVelmoraWindows() : main_(std::make_unique<TfrmMain>()) {
    frmMain = main_.get();
    frmResizing = new TfrmResizing(frmMain);
    frmAbout = new TfrmAbout(frmMain);
    frmSobreescribir = new TfrmSobreescribir(frmMain);
    frmTriarIdioma = new TfrmTriarIdioma(frmMain);
    frmMoreOptions = new TfrmMoreOptions(frmMain);
    frmResults = new TfrmResults(frmMain);
    frmMain->SetMorePeers(frmMoreOptions, frmResults);
    frmMain->SetPeers(frmResizing, frmAbout, frmTriarIdioma);
    frmResizing->SetPeers(frmMain, frmSobreescribir);
}

TVelmoraWindows::~TVelmoraWindows() = default;

QStringList startPathsFromArguments(int argc, char** argv) {
    QStringList paths;
    for (int i = 1; i < argc; ++i) {
        const QString arg = velmora::DecodePath(argv[i]);
        if (arg == QLatin1String("--")) continue;
        if (arg.startsWith(QLatin1String("file:"))) {
            const QUrl url(arg);
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
                continue;
            }
        }
        paths << arg;
    }
    return paths;
}
