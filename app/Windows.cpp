#include "app/Windows.h"

#include "app/fAbout.h"
#include "app/fMain.h"
#include "app/fResizing.h"
#include "app/fSobreescribir.h"
#include "app/fTriarIdioma.h"

#include <QApplication>
#include <QIcon>

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
    frmMain->SetPeers(frmResizing, frmAbout, frmTriarIdioma);
    frmResizing->SetPeers(frmMain, frmSobreescribir);
}

TVelmoraWindows::~TVelmoraWindows() = default;
