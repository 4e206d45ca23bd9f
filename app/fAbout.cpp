#include "app/fAbout.h"

#include "app/VersionInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QUrl>

namespace {
// The layout carries the key texts of the two link lines exactly, so that the
// language switch finds them in the key table.
const char* const kWebsiteLink = "Website: <a href=\"https://www.velmora.org\">www.velmora.org</a>";
const char* const kSupportLink = "Soporte: <a href=\"mailto:support@velmora.org\">support@velmora.org</a>";
}  // namespace

std::function<bool(const QUrl&)> desktopOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

bool openWithDesktop(const QUrl& url) { return desktopOpener && desktopOpener(url); }

void openOrExplain(QWidget* parent, const QUrl& url, const QString& explanation) {
    if (!openWithDesktop(url)) QMessageBox::information(parent, QCoreApplication::applicationName(), explanation);
}

TfrmAbout::TfrmAbout(QWidget* parent)
    : TForm<QDialog>(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Acerca de Velmora"));
    setFixedSize(306, 226);

    Image1 = own(new QLabel(this), 0);
    Image1->setGeometry(17, 24, 41, 41);
    Image1->setScaledContents(true);
    const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                                          : QApplication::windowIcon();
    Image1->setPixmap(icon.pixmap(41, 41));

    Label1 = own(new QLabel(QStringLiteral("Velmora v") + getVersionString(), this));
    Label1->setGeometry(64, 24, 230, 20);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    LinkLabel1 = own(new QLabel(QString::fromUtf8(kWebsiteLink), this), ccLinkLabel);
    LinkLabel1->setGeometry(64, 72, 230, 17);
    LinkLabel2 = own(new QLabel(QString::fromUtf8(kSupportLink), this), ccLinkLabel);
    LinkLabel2->setGeometry(64, 95, 230, 17);
    for (QLabel* link : {LinkLabel1, LinkLabel2}) {
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        link->setOpenExternalLinks(false);
    }
    connect(LinkLabel1, &QLabel::linkActivated, this, [this](const QString& l) { LinkLabel1LinkClick(l); });
    connect(LinkLabel2, &QLabel::linkActivated, this, [this](const QString& l) { LinkLabel2LinkClick(l); });

    // Default and cancel button: Enter presses it, and Escape closes the box.
    btnClose = own(new QPushButton(QStringLiteral("Cerrar"), this));
    btnClose->setGeometry(223, 192, 75, 25);
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
}

void TfrmAbout::FormShow() {
    Label1->setText(translate(QStringLiteral("Velmora v")) + getVersionString());
    btnClose->setFocus();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

namespace {
void openLink(QWidget* parent, const QString& link) {
    const QUrl url(link);
    const QString shown = url.scheme() == QLatin1String("mailto") ? url.path() : link;
    openOrExplain(parent, url,
                  translate(QStringLiteral("Ningún programa de este escritorio abre el enlace %1")).arg(shown));
}
}  // namespace

void TfrmAbout::LinkLabel1LinkClick(const QString& link) { openLink(this, link); }
void TfrmAbout::LinkLabel2LinkClick(const QString& link) { openLink(this, link); }
void TfrmAbout::btnCloseClick() { accept(); }
