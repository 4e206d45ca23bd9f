// velmora-screenshots OUTDIR SCRATCHDIR PICTURE...
//
// Takes a picture of each of the program's windows in English, as a user
// meets them: the main window with PICTUREs in its list, the batch window
// and the overwrite prompt during a real run into SCRATCHDIR (which already
// holds the first picture, so the run asks), the about box and the language
// chooser, the More options window and a results window. Each window is saved as OUTDIR/<name>.png from
// QWidget::grab(), which draws the window's client area.
//
// The windows are driven through their own handlers; a modal window is
// photographed from inside its modal loop once it is up, then closed with its
// own button. Exit status 0 when all seven pictures were saved.
#include "app/Windows.h"
#include "app/fAbout.h"
#include "app/fMain.h"
#include "app/fMoreOptions.h"
#include "app/fResizing.h"
#include "app/fResults.h"
#include "app/fSobreescribir.h"
#include "app/fTriarIdioma.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

QString outDir;
int saved = 0;

void save(QWidget* window, const char* name)
{
    const QString path = outDir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (!window->grab().save(path, "PNG")) {
        std::fprintf(stderr, "velmora-screenshots: cannot write %s\n", qUtf8Printable(path));
        std::_Exit(1);
    }
    std::printf("%s\n", qUtf8Printable(path));
    ++saved;
}

// Runs `action` once `window` is the active modal window, from inside its
// modal loop, after it has had time to paint.
void whenModal(QWidget* window, std::function<void()> action)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, window, action] {
        if (!window->isVisible() || QApplication::activeModalWidget() != window)
            return;
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(150, action);
    });
    poll->start();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: velmora-screenshots OUTDIR SCRATCHDIR PICTURE...\n");
        return 2;
    }
    outDir = args.at(1);
    const QString scratch = args.at(2);
    QStringList pictures;
    for (int i = 3; i < args.size(); ++i)
        pictures << QFileInfo(args.at(i)).absoluteFilePath();
    // The first picture is already in the output folder: the run asks about it.
    const QString clash = scratch + QLatin1Char('/') + QFileInfo(pictures.first()).fileName();
    QFile::remove(clash);
    if (!QFile::copy(pictures.first(), clash)) {
        std::fprintf(stderr, "velmora-screenshots: cannot prepare %s\n", qUtf8Printable(clash));
        return 1;
    }

    // A window that never comes up must not hang the script.
    QTimer::singleShot(60000, [] {
        std::fprintf(stderr, "velmora-screenshots: timed out after %d pictures\n", saved);
        std::_Exit(1);
    });

    initApplicationNames();
    TVelmoraWindows windows;
    TfrmMain* main = windows.frmMain;
    main->show();  // the start-up sequence: tables, settings, English texts

    QTimer::singleShot(300, [&] {
        main->AddFiles(pictures);
        main->SetOutputFolder(scratch);
        main->ListBox1->setCurrentRow(0);
        QApplication::processEvents();
        save(main, "main-window");

        // During the run: the batch window stands behind the question about
        // the first picture. Yes to all lets the run finish.
        whenModal(windows.frmSobreescribir, [&] {
            save(windows.frmResizing, "batch-window");
            save(windows.frmSobreescribir, "overwrite-prompt");
            windows.frmSobreescribir->btnSiTodo->click();
        });
        main->btnResizeClick();

        whenModal(windows.frmAbout, [&] {
            save(windows.frmAbout, "about-box");
            windows.frmAbout->btnClose->click();
        });
        main->btnAboutClick();

        whenModal(windows.frmTriarIdioma, [&] {
            save(windows.frmTriarIdioma, "language-chooser");
            windows.frmTriarIdioma->btnOk->click();
        });
        main->btnLenguajeClick();

        whenModal(windows.frmMoreOptions, [&] {
            save(windows.frmMoreOptions, "more-options");
            windows.frmMoreOptions->btnCancel->click();
        });
        main->btnMasOpcionesClick();

        // A results window as a long run with a damaged file and a kept
        // output leaves it.
        TRunResults results;
        results.outDir = scratch;
        results.written = 118;
        results.skipped = 1;
        results.failed = 1;
        results.entries = {{QStringLiteral("/home/ana/Pictures/Trip/IMG_0412.HEIC"), TResultStatus::Failed,
                            QStringLiteral("Premature end of JPEG file")},
                           {QStringLiteral("/home/ana/Pictures/Trip/IMG_0398.jpg"), TResultStatus::Skipped,
                            QStringLiteral("The output already exists")}};
        windows.frmResults->ShowResults(results);
        QTimer::singleShot(300, [&] {
            save(windows.frmResults, "results-window");
            windows.frmResults->close();
            QApplication::exit(saved == 7 ? 0 : 1);
        });
    });
    return QApplication::exec();
}
