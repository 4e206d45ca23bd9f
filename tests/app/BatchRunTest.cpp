// Whole runs started from the main window on real files.
#include "AppTestSupport.h"

#include "app/fResizing.h"
#include "app/fResults.h"
#include "app/fSobreescribir.h"
#include "tests/support/TestImages.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <chrono>

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

TEST_F(BatchRunTest, SeveralAtOnceCancelledLeavesOnlyTheFilesBeforeIt) {
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(WriteFile(in_ + QStringLiteral("/more%1.jpg").arg(i, 2, 10, QLatin1Char('0')), Jpeg(64, 48)));
    QStringList problems;
    main().AddFolder(in_, problems);
    ASSERT_EQ(main().FileList.size(), 15);
    main().Options.jobs = 2;
    whileModal(
        [&](QWidget* w) {
            auto* batch = dynamic_cast<TfrmResizing*>(w);
            if (batch && batch->ProgressBar1->value() == 5) batch->btnCancel->click();
        },
        [&] { main().btnResizeClick(); });
    // Listed: the three of SetUp, then the folder's more00..more11 (one.jpg,
    // two.PNG and três.bmp were listed already).
    const QStringList want = {"more00.jpg", "one.jpg", QString::fromUtf8("três.bmp"), "two.PNG"};
    EXPECT_EQ(QDir(out_).entryList(QDir::Files | QDir::Hidden, QDir::Name), want);
    EXPECT_EQ(windows().frmResizing->Results().notReached, 11);
    EXPECT_FALSE(windows().frmResizing->Running());
}

TEST_F(BatchRunTest, ErrorsAtTheEndGoToTheResultsWindow) {
    ASSERT_TRUE(WriteFile(in_ + "/bad.jpg", "not a picture"));
    main().AddFiles({in_ + "/bad.jpg"});
    main().Options.errorsAtEnd = true;
    ASSERT_TRUE(WriteFile(out("two.PNG"), "old"));
    QStringList boxes;
    whileModal(
        [&](QWidget* w) {
            if (auto* prompt = dynamic_cast<TfrmSobreescribir*>(w))
                prompt->btnNo->click();
            else if (auto* box = qobject_cast<QMessageBox*>(w)) {
                boxes << box->text();
                box->accept();
            }
        },
        [&] { main().btnResizeClick(); });
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    TfrmResults& r = *windows().frmResults;
    EXPECT_TRUE(r.isVisible());
    EXPECT_EQ(r.lblCounts->text(), QString::fromUtf8("Written: 2 · Skipped: 1 · Failed: 1 · Not done: 0"));
    r.tblResults->sortItems(1);  // by status: Failed before Skipped
    const QStringList rows = r.RowsAsText().split('\n');
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith(in_ + "/bad.jpg\tFailed\t")) << rows[0].toStdString();
    EXPECT_EQ(rows[1], in_ + "/two.PNG\tSkipped\tThe output already exists");
    r.close();

    // Everything written: the count in the status bar and the folder button.
    main().btnQuitarTodoClick();
    main().AddFiles({in_ + "/one.jpg"});
    whileModal(
        [](QWidget* w) {
            if (auto* prompt = dynamic_cast<TfrmSobreescribir*>(w)) prompt->btnSi->click();
        },
        [&] { main().btnResizeClick(); });
    EXPECT_EQ(main().StatusBar1->PanelText(1), "1 pictures written to " + out_);
    EXPECT_FALSE(main().btnAbrirSalida->isHidden());
}

// The window keeps painting while big pictures are worked on.
TEST_F(BatchRunTest, TheProgressWindowRepaintsDuringARun) {
    main().btnQuitarTodoClick();
    for (int i = 0; i < 3; ++i) {
        const QString name = in_ + QStringLiteral("/big%1.jpg").arg(i);
        ASSERT_TRUE(WriteFile(name, Jpeg(4000, 3000)));
        main().AddFiles({name});
    }
    main().Options.jobs = 1;
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> paints;
    struct PaintWatch : QObject {
        std::vector<Clock::time_point>* paints;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) paints->push_back(Clock::now());
            return false;
        }
    } watch;
    watch.paints = &paints;
    TfrmResizing& batch = *windows().frmResizing;
    batch.installEventFilter(&watch);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] { batch.update(); });
    repaint.start(20);
    main().btnResizeClick();
    batch.removeEventFilter(&watch);
    ASSERT_GE(paints.size(), 2u);
    Clock::duration longest{};
    for (size_t i = 1; i < paints.size(); ++i) longest = std::max(longest, paints[i] - paints[i - 1]);
    EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count(), 250);
}

}  // namespace

namespace {

// Options that reach the run: pictures that already fit are copied and
// listed as such, and pictures added with a folder keep their place below it.
TEST_F(BatchRunTest, NeverEnlargeCopiesAndFoldersKeepTheirTree) {
    ASSERT_TRUE(QDir().mkpath(in_ + "/sub/deeper"));
    ASSERT_TRUE(WriteFile(in_ + "/sub/deeper/four.jpg", Jpeg(16, 12)));
    main().Options.neverEnlarge = true;
    main().Options.subfolders = true;
    main().btnQuitarTodoClick();
    QStringList problems;
    main().AddFolder(in_, problems);
    EXPECT_TRUE(problems.isEmpty());
    main().txtWidth->setText("64");
    whileModal([](QWidget*) {}, [&] { main().btnResizeClick(); });
    // Copies are the sources' own bytes (these carry no metadata to leave out).
    EXPECT_EQ(ReadFile(out("one.jpg")), ReadFile(in_ + "/one.jpg"));
    EXPECT_EQ(ReadFile(out("sub/deeper/four.jpg")), ReadFile(in_ + "/sub/deeper/four.jpg"));
    TfrmResults& r = *windows().frmResults;
    EXPECT_TRUE(r.isVisible());
    const QStringList rows = r.RowsAsText().split('\n');
    EXPECT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows.filter("\tCopied").size() >= 2) << r.RowsAsText().toStdString();
    r.close();
}

}  // namespace
