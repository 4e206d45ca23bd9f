// The windows' texts in English and Catalan, the file list, the size options
// and the checks made before a run.
#include "AppTestSupport.h"

#include "app/fAbout.h"
#include "app/fResizing.h"
#include "app/fSobreescribir.h"
#include "app/fTriarIdioma.h"

#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

using apptest::whileModal;

namespace {

const QString kVersion = QStringLiteral(VELMORA_TEST_VERSION);

class MainWindowTest : public apptest::WindowsTest {
protected:
    // Picks an item of the language chooser through the main window's
    // language button.
    void chooseLanguage(int item) {
        whileModal(
            [&](QWidget* w) {
                if (auto* chooser = dynamic_cast<TfrmTriarIdioma*>(w)) {
                    chooser->cbIdioma->setCurrentIndex(item);
                    chooser->btnOk->click();
                }
            },
            [&] { main().btnLenguaje->click(); });
    }

    QStringList listed() const {
        QStringList names;
        for (int i = 0; i < windowsList()->count(); ++i)
            names << windowsList()->item(i)->text();
        return names;
    }
    QListWidget* windowsList() const { return const_cast<MainWindowTest*>(this)->main().ListBox1; }

    // Clicks Resize and collects the texts of the message boxes it shows.
    QStringList resizeMessages() {
        return apptest::messagesWhile([&] { main().btnResize->click(); });
    }
};

TEST_F(MainWindowTest, EveryWindowIsInEnglishAfterStart) {
    start();
    TfrmMain& m = main();
    EXPECT_EQ(m.windowTitle(), "Velmora");
    EXPECT_EQ(m.GroupBox1->title(), "Images:");
    EXPECT_EQ(m.btnAnadir->text(), "Add...");
    EXPECT_EQ(m.btnQuitar->text(), "Remove");
    EXPECT_EQ(m.btnQuitarTodo->text(), "Remove all");
    EXPECT_EQ(m.GroupBox2->title(), "Output options:");
    EXPECT_EQ(m.Label4->text(), "Output folder:");
    EXPECT_EQ(m.Label1->text(), "Size:");
    EXPECT_EQ(m.rb03mpx->text(), "0.3 MPixels (640x480)");
    EXPECT_EQ(m.rb111mpx->text(), "11.1 MPixels (4064x2704)");
    EXPECT_EQ(m.rbAmple->text(), "Width:");
    EXPECT_EQ(m.rbAlt->text(), "Height:");
    EXPECT_EQ(m.btnAbout->text(), "About...");
    EXPECT_EQ(m.btnAyuda->text(), "Help");
    EXPECT_EQ(m.btnResize->text(), "Resize!");
    EXPECT_EQ(m.StatusBar1->PanelText(0), "Version " + kVersion);

    EXPECT_EQ(windows().frmResizing->windowTitle(), "Resizing...");
    EXPECT_EQ(windows().frmResizing->btnCancel->text(), "Cancel");
    EXPECT_EQ(windows().frmAbout->windowTitle(), "About Velmora");
    EXPECT_EQ(windows().frmAbout->btnClose->text(), "Close");
    EXPECT_TRUE(windows().frmAbout->LinkLabel1->text().contains("/en\""));
    EXPECT_EQ(windows().frmSobreescribir->windowTitle(), "Overwrite image?");
    EXPECT_EQ(windows().frmSobreescribir->btnSiTodo->text(), "Yes to all");

    EXPECT_TRUE(m.userGuidePath().endsWith("/UserGuide.pdf"));
    EXPECT_FALSE(m.userGuidePath().contains('\\'));
}

TEST_F(MainWindowTest, ChoosingCatalanTranslatesEveryWindowAndQtsOwnTexts) {
    start();
    chooseLanguage(2);
    EXPECT_EQ(selectedLanguage, langCatalan);
    EXPECT_EQ(main().btnAnadir->text(), "Afegir...");
    EXPECT_EQ(main().btnQuitar->text(), "Treure");
    EXPECT_EQ(main().btnQuitarTodo->text(), "Treure'ls tots");
    EXPECT_EQ(main().StatusBar1->PanelText(0), QString::fromUtf8("Versió ") + kVersion);
    EXPECT_EQ(windows().frmAbout->windowTitle(), "Quant a l'Velmora");
    EXPECT_EQ(windows().frmAbout->btnClose->text(), "Tancar");
    EXPECT_EQ(windows().frmResizing->btnCancel->text(), QString::fromUtf8("Cancel·lar"));
    EXPECT_TRUE(main().userGuidePath().endsWith("/Ajuda.pdf"));
    // Standard dialog buttons follow the language.
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");

    // The chooser reopens on the language in force; back to English.
    int shownItem = -1;
    whileModal(
        [&](QWidget* w) {
            if (auto* chooser = dynamic_cast<TfrmTriarIdioma*>(w)) {
                shownItem = chooser->cbIdioma->currentIndex();
                chooser->cbIdioma->setCurrentIndex(0);
                chooser->btnOk->click();
            }
        },
        [&] { main().btnLenguaje->click(); });
    EXPECT_EQ(shownItem, 2);
    EXPECT_EQ(main().btnQuitarTodo->text(), "Remove all");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST_F(MainWindowTest, RemoveDeletesTheSelectedEntriesFromBothLists) {
    start();
    TfrmMain& m = main();
    EXPECT_FALSE(m.btnQuitar->isEnabled());
    EXPECT_FALSE(m.btnQuitarTodo->isEnabled());
    m.AddFiles({"/a b/1.jpg", "/a b/2.png", "/a b/2.png", QString::fromUtf8("/ñ/4.bmp"), "/c/5.jpg"});
    EXPECT_EQ(m.LastDir, "/c/");
    EXPECT_TRUE(m.btnQuitar->isEnabled());
    EXPECT_TRUE(m.btnQuitarTodo->isEnabled());

    m.ListBox1->item(1)->setSelected(true);
    m.ListBox1->item(3)->setSelected(true);
    m.btnQuitar->click();
    EXPECT_EQ(listed(), QStringList({"1.jpg", "2.png", "5.jpg"}));
    EXPECT_EQ(m.FileList, QStringList({"/a b/1.jpg", "/a b/2.png", "/c/5.jpg"}));

    // Emptied with Remove, the buttons stay enabled and Resize reports the
    // empty list.
    m.ListBox1->selectAll();
    m.btnQuitar->click();
    EXPECT_TRUE(m.FileList.isEmpty());
    EXPECT_TRUE(m.btnQuitarTodo->isEnabled());
    EXPECT_EQ(resizeMessages(), QStringList({"There aren't selected images to resize"}));
    // Enter in the list presses the default button, Resize.
    const QStringList byEnter = apptest::messagesWhile([&] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(m.ListBox1, &enter);
    });
    EXPECT_EQ(byEnter, QStringList({"There aren't selected images to resize"}));

    m.AddFiles({"/x/y.jpg"});
    m.btnQuitarTodo->click();
    EXPECT_EQ(m.ListBox1->count(), 0);
    EXPECT_TRUE(m.FileList.isEmpty());
    EXPECT_FALSE(m.btnQuitar->isEnabled());
    EXPECT_FALSE(m.btnQuitarTodo->isEnabled());
}

TEST_F(MainWindowTest, DroppedFilesAreAddedLikeChosenOnes) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QString::fromUtf8("/carpeta amb ç");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + "/foto 1.jpg";
    QFile(file).open(QIODevice::WriteOnly);
    start();

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder), QUrl("https://example.org/a.jpg")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main().ListBox1->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main().ListBox1->viewport(), &drop);

    EXPECT_EQ(main().FileList, QStringList({file}));
    EXPECT_EQ(listed(), QStringList({"foto 1.jpg"}));
    EXPECT_EQ(main().LastDir, folder + "/");
    EXPECT_TRUE(main().btnQuitarTodo->isEnabled());
}

TEST_F(MainWindowTest, SizeOptionsRewriteBothEditsFromThePreset) {
    start();
    TfrmMain& m = main();
    m.rb30mpx->click();
    m.rbAlt->click();
    EXPECT_TRUE(m.txtHeight->isEnabled());
    EXPECT_FALSE(m.txtWidth->isEnabled());
    EXPECT_EQ(m.txtWidth->text(), "2048");
    EXPECT_EQ(m.txtHeight->text(), "1536");
    m.txtHeight->setText("700");
    m.rbAmple->click();
    EXPECT_EQ(m.llegirIndexTamany(), 7);
    EXPECT_EQ(m.txtHeight->text(), "1536");
    EXPECT_TRUE(m.txtWidth->isEnabled());
}

TEST_F(MainWindowTest, ResizeRefusesAMissingOrZeroFixedSide) {
    start();
    TfrmMain& m = main();
    m.AddFiles({"/nowhere/a.jpg"});
    m.rbAmple->click();
    for (const char* typed : {"", "0"}) {
        m.txtWidth->setText(typed);
        EXPECT_EQ(resizeMessages(), QStringList({"Incorrect output width!"})) << typed;
        EXPECT_EQ(m.focusWidget(), m.txtWidth);
    }
    m.rbAlt->click();
    m.txtHeight->setText("0000");
    EXPECT_EQ(resizeMessages(), QStringList({"Incorrect output height!"}));
    EXPECT_EQ(m.focusWidget(), m.txtHeight);
}

TEST_F(MainWindowTest, FileFilterKeepsItsTextsAndAllFilesMeansEveryName) {
    EXPECT_EQ(toQtFileFilter(TfrmMain::addFileFilter),
              QString::fromUtf8("Imágenes (*.jpg *.jpeg *.png *.bmp *.webp *.heic *.heif *.hif *.avif *.tif *.tiff);;"
                                "Imagen JPEG (*.jpg);;Bitmap de Windows (*.bmp);;Imagen PNG (*.png);;"
                                "Todos los archivos (*)"));
}

TEST_F(MainWindowTest, OverwritePromptQuotesTheNameAndEnterAnswersNo) {
    start();
    TfrmSobreescribir& prompt = *windows().frmSobreescribir;
    prompt.Respuesta = TOverwriteAnswer::YesToAll;  // a previous answer
    prompt.NombreFichero = QString::fromUtf8("mi foto ñ.jpg");
    QString line;
    bool escapeIgnored = false;
    whileModal(
        [&](QWidget* w) {
            if (w != &prompt)
                return;
            line = prompt.lblNombre->text();
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&prompt, &esc);
            escapeIgnored = prompt.isVisible();
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(&prompt, &enter);
        },
        [&] { prompt.exec(); });
    EXPECT_EQ(line, QString::fromUtf8("Output image \"mi foto ñ.jpg\" already exists."));
    EXPECT_TRUE(escapeIgnored);
    EXPECT_EQ(prompt.Respuesta, TOverwriteAnswer::No);
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndEscapeClosesIt) {
    start();
    QString product;
    whileModal(
        [&](QWidget* w) {
            if (auto* about = dynamic_cast<TfrmAbout*>(w)) {
                product = about->Label1->text();
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QCoreApplication::sendEvent(about, &esc);
            }
        },
        [&] { main().btnAbout->click(); });
    EXPECT_EQ(product, "Velmora v" + kVersion);
    EXPECT_FALSE(windows().frmAbout->isVisible());
}

}  // namespace
