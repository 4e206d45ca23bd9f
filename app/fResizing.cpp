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
    btnCancel = own(new QPushButton(QStringLiteral("Cancelar"), this));
    btnCancel->setGeometry(107, 90, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    timerResize.setSingleShot(true);
    connect(&timerResize, &QTimer::timeout, this, [this] { timerResizeTimer(); });
}

TfrmResizing::~TfrmResizing() = default;

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
    ProgressBar1->setValue(0);
    timerResize.setInterval(50);
    timerResize.start();
    btnCancel->setFocus();
}

void TfrmResizing::timerResizeTimer() {
    timerResize.stop();
    engine_->files = files;
    engine_->fileList = fileList;
    engine_->outDir = outDir;
    running_ = true;
    engine_->Run();
    running_ = false;
    accept();
}

void TfrmResizing::btnCancelClick() { engine_->cancelOperation = true; }

void TfrmResizing::ShowProgress(const QString& line, const QString& fileName, int position, int maximum) {
    lblImgNumber->setText(line);
    lblFilename->setText(lblFilename->fontMetrics().elidedText(fileName, Qt::ElideMiddle, lblFilename->width()));
    ProgressBar1->setMaximum(maximum);
    ProgressBar1->setValue(position);
}

void TfrmResizing::ProcessMessages() { QCoreApplication::processEvents(); }

TOverwriteAnswer TfrmResizing::AskOverwrite(const QString& fileName) {
    if (!prompt_)
        return TOverwriteAnswer::No;
    prompt_->NombreFichero = fileName;
    prompt_->exec();
    return prompt_->Respuesta;
}

void TfrmResizing::ShowError(const QString& message) {
    QMessageBox::critical(this, QCoreApplication::applicationName(), message);
}

// Escape, like the window's close request, presses Cancel: the run ends at
// its next test of the flag and the window then closes itself.
void TfrmResizing::reject() { btnCancelClick(); }

void TfrmResizing::closeEvent(QCloseEvent* event) {
    btnCancelClick();
    event->ignore();
}
