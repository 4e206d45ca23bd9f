#include "app/fResizing.h"

#include "app/fMain.h"
#include "app/fSobreescribir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QThread>

TfrmResizing::TfrmResizing(QWidget* parent)
    : TForm<QDialog>(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      engine_(std::make_unique<TResizeEngine>(*this)) {
    setWindowTitle(QStringLiteral("Redimensionando..."));
    setFixedSize(289, 129);

    lblImgNumber = own(new QLabel(QStringLiteral("Redimensionando imagen x/y"), this));
    lblImgNumber->setGeometry(8, 12, 273, 17);
    lblImgNumber->setAlignment(Qt::AlignCenter);
    lblFilename = own(new QLabel(QStringLiteral("Filename"), this));
    lblFilename->setGeometry(8, 34, 273, 17);
    lblFilename->setAlignment(Qt::AlignCenter);
    ProgressBar1 = own(new QProgressBar(this));
    ProgressBar1->setGeometry(8, 58, 273, 17);
    ProgressBar1->setMinimum(0);
    ProgressBar1->setTextVisible(false);
    name(ProgressBar1, QStringLiteral("Progreso"));
    btnCancel = own(new QPushButton(QStringLiteral("Cancelar"), this));
    btnCancel->setGeometry(107, 90, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    timerResize.setSingleShot(true);
    connect(&timerResize, &QTimer::timeout, this, [this] { timerResizeTimer(); });
}

TfrmResizing::~TfrmResizing() {
    cancelRequested_ = true;
    if (worker_.joinable()) worker_.join();
}

void TfrmResizing::SetPeers(TfrmMain* main, TfrmSobreescribir* prompt) {
    main_ = main;
    prompt_ = prompt;
}

void TfrmResizing::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmResizing::FormShow() {
    engine_->Prepare();
    if (main_) {
        engine_->SetTargetFromControls(main_->txtWidth->text(), main_->txtHeight->text(),
                                       main_->rbAlt->isChecked(), main_->rbAmple->isChecked());
    }
    applyOptions(options, *engine_);
    cancelRequested_ = false;
    results_ = TRunResults{};
    results_.outDir = outDir;
    current_ = -1;
    ProgressBar1->setValue(0);
    btnCancel->setEnabled(true);
    timerResize.setInterval(50);
    timerResize.start();
    btnCancel->setFocus();
}

void TfrmResizing::timerResizeTimer() {
    timerResize.stop();
    engine_->files = files;
    engine_->fileList = fileList;
    engine_->relDirs = relDirs;
    engine_->outDir = outDir;
    running_ = true;
    runError_ = nullptr;
    worker_ = std::thread([this] {
        try {
            engine_->Run();
        } catch (...) {
            runError_ = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this] { runEnded(); }, Qt::QueuedConnection);
    });
}

void TfrmResizing::runEnded() {
    worker_.join();
    running_ = false;
    const TRunSummary& summary = engine_->Summary();
    results_.written = summary.written;
    results_.skipped = summary.skipped;
    results_.failed = summary.failed;
    results_.notReached = summary.notReached;
    if (runError_) {
        try {
            std::rethrow_exception(runError_);
        } catch (const std::exception& e) {
            QMessageBox::critical(this, QCoreApplication::applicationName(), QString::fromUtf8(e.what()));
        }
    }
    accept();
}

// Seen by the run at its next message pump; the window says so at once.
void TfrmResizing::btnCancelClick() {
    cancelRequested_ = true;
    if (running_) {
        lblImgNumber->setText(translate(QStringLiteral("Cancelando...")));
        btnCancel->setEnabled(false);
    }
}

void TfrmResizing::CancelAndWait() {
    if (timerResize.isActive()) {
        timerResize.stop();
        accept();
        return;
    }
    if (!running_) return;
    btnCancelClick();
    while (running_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TfrmResizing::onWindowThread(const std::function<void()>& work) {
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

void TfrmResizing::record(TResultStatus status, const QString& cause) {
    results_.entries.push_back({fileList.value(current_), status, cause});
}

void TfrmResizing::ShowProgress(const QString& line, const QString& fileName, int position, int maximum) {
    current_ = position - 1;
    onWindowThread([&] {
        if (!cancelRequested_) lblImgNumber->setText(line);
        lblFilename->setText(lblFilename->fontMetrics().elidedText(fileName, Qt::ElideMiddle, lblFilename->width()));
        ProgressBar1->setMaximum(maximum);
        ProgressBar1->setValue(position);
    });
}

void TfrmResizing::ProcessMessages() {
    onWindowThread([] { QCoreApplication::processEvents(); });
    if (cancelRequested_) engine_->cancelOperation = true;
}

TOverwriteAnswer TfrmResizing::AskOverwrite(const QString& fileName) {
    // "Replace" and "Keep the old one" answer for the user; "Ask" and "Keep
    // both" (whose outputs never meet an existing file) ask.
    if (options.existing == TExistingOutput::Replace) return TOverwriteAnswer::YesToAll;
    TOverwriteAnswer answer = TOverwriteAnswer::No;
    if (options.existing != TExistingOutput::KeepOld)
        onWindowThread([&] {
            if (!prompt_) return;
            prompt_->NombreFichero = fileName;
            prompt_->exec();
            answer = prompt_->Respuesta;
        });
    if (answer == TOverwriteAnswer::No)
        record(TResultStatus::Skipped, translate(QStringLiteral("La imagen de salida ya existe")));
    return answer;
}

void TfrmResizing::ShowError(const QString& message) {
    record(TResultStatus::Failed, message);
    if (!options.errorsAtEnd)
        onWindowThread([&] { QMessageBox::critical(this, QCoreApplication::applicationName(), message); });
}

void TfrmResizing::ShowFileError(const QString& message, const QString& cause) {
    record(TResultStatus::Failed, cause.isEmpty() ? message : cause);
    if (!options.errorsAtEnd)
        onWindowThread([&] { QMessageBox::critical(this, QCoreApplication::applicationName(), message); });
}

void TfrmResizing::ShowShortData(const QString&) {
    record(TResultStatus::ShortData, translate(QStringLiteral("La imagen tiene menos datos que su tamaño")));
}

void TfrmResizing::FileDone(const TFileResult& result) {
    if (result.status == TFileStatus::Copied)
        results_.entries.push_back({fileList.value(result.index), TResultStatus::Copied, QString()});
}

// Escape, like the window's close request, presses Cancel: the run ends at
// its next test of the flag and the window then closes itself.
void TfrmResizing::reject() { btnCancelClick(); }

void TfrmResizing::closeEvent(QCloseEvent* event) {
    btnCancelClick();
    event->ignore();
}
