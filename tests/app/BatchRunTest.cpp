// Whole runs started from the main window on real files.
#include "AppTestSupport.h"

#include "app/fResizing.h"
#include "app/fSobreescribir.h"
#include "tests/support/TestImages.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

using apptest::whileModal;
using namespace testimages;

namespace {

class BatchRunTest : public apptest::WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        in_ = dir_.path() + QString::fromUtf8("/entrada amb espais ñ");
        out_ = dir_.path() + QString::fromUtf8("/sortida é");
        ASSERT_TRUE(QDir().mkpath(in_));
        ASSERT_TRUE(QDir().mkpath(out_));
        ASSERT_TRUE(WriteFile(in_ + "/one.jpg", Jpeg(16, 12)));
        ASSERT_TRUE(WriteFile(in_ + "/two.PNG", Png(16, 12)));
        ASSERT_TRUE(WriteFile(in_ + QString::fromUtf8("/três.bmp"), Bmp24(16, 12)));
        start();
        main().AddFiles({in_ + "/one.jpg", in_ + "/two.PNG", in_ + QString::fromUtf8("/três.bmp")});
        main().SetOutputFolder(out_);
        main().rbAmple->click();
        main().txtWidth->setText("8");
    }

    QString out(const char* name) const { return out_ + QLatin1Char('/') + QString::fromUtf8(name); }

    QTemporaryDir dir_;
    QString in_, out_;
};

TEST_F(BatchRunTest, YesToAllReplacesEveryExistingOutput) {
    for (const char* name : {"one.jpg", "two.PNG", "três.bmp"})
        ASSERT_TRUE(WriteFile(out(name), "old"));
    int questions = 0;
    QStringList errors;
    whileModal(
        [&](QWidget* w) {
            if (auto* prompt = dynamic_cast<TfrmSobreescribir*>(w)) {
                ++questions;
                EXPECT_EQ(prompt->NombreFichero, "one.jpg");
                prompt->btnSiTodo->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
                errors << box->text();
                box->accept();
            }
        },
        [&] { main().btnResizeClick(); });

    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    const Size jpg = JpegSize(ReadFile(out("one.jpg")));
    const Size png = PngSize(ReadFile(out("two.PNG")));
    const Size bmp = BmpSize(ReadFile(out("três.bmp")));
    EXPECT_EQ(std::pair(jpg.w, jpg.h), std::pair(8, 6));
    EXPECT_EQ(std::pair(png.w, png.h), std::pair(8, 6));
    EXPECT_EQ(std::pair(bmp.w, bmp.h), std::pair(8, 6));
    EXPECT_FALSE(windows().frmResizing->isVisible());
    EXPECT_EQ(windows().frmResizing->ProgressBar1->value(), 3);
    EXPECT_EQ(main().FileList.size(), 3);

    // Yes to all lasts for one run: the next run asks again.
    questions = 0;
    whileModal(
        [&](QWidget* w) {
            if (auto* prompt = dynamic_cast<TfrmSobreescribir*>(w)) {
                ++questions;
                prompt->btnNo->click();
            }
        },
        [&] { main().btnResizeClick(); });
    EXPECT_EQ(questions, 3);
}

TEST_F(BatchRunTest, CancelStopsTheRunBeforeTheNextFile) {
    bool cancelled = false;
    whileModal(
        [&](QWidget* w) {
            auto* batch = dynamic_cast<TfrmResizing*>(w);
            if (batch && !cancelled && batch->ProgressBar1->value() == 2) {
                cancelled = true;
                batch->btnCancel->click();
            }
        },
        [&] { main().btnResizeClick(); });
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(QFile::exists(out("one.jpg")));
    EXPECT_FALSE(QFile::exists(out("two.PNG")));
    EXPECT_FALSE(QFile::exists(out("três.bmp")));
    EXPECT_FALSE(windows().frmResizing->isVisible());
}

TEST_F(BatchRunTest, EscapeBeforeTheFirstFileTouchesNothing) {
    whileModal(
        [&](QWidget* w) {
            if (auto* batch = dynamic_cast<TfrmResizing*>(w)) {
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QCoreApplication::sendEvent(batch, &esc);
            }
        },
        [&] { main().btnResizeClick(); });
    EXPECT_TRUE(QDir(out_).isEmpty());
    EXPECT_FALSE(windows().frmResizing->isVisible());
}

}  // namespace
