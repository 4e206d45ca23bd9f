// The batch window: shows which file of how many is in work while the engine
// resizes the list, answers the engine's questions through the overwrite
// prompt and error dialogs, and closes itself when the run ends.
#pragma once

#include "app/TForm.h"
#include "batch/ResizeEngine.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;
class TfrmMain;
class TfrmSobreescribir;

class TfrmResizing : public TForm<QDialog>, public TResizePort {
public:
    explicit TfrmResizing(QWidget* parent = nullptr);
    ~TfrmResizing() override;

    // The windows the run reaches: the size controls of the main window and
    // the overwrite prompt.
    void SetPeers(TfrmMain* main, TfrmSobreescribir* prompt);

    QLabel* lblImgNumber;
    QLabel* lblFilename;
    QProgressBar* ProgressBar1;
    QPushButton* btnCancel;
    QTimer timerResize;

    // Run inputs, set before the window is shown: the names as listed, their
    // full paths, the output folder.
    QStringList files;
    QStringList fileList;
    QString outDir;

    TResizeEngine& Engine() { return *engine_; }
    bool Running() const { return running_; }

    void btnCancelClick();

    // TResizePort
    void ShowProgress(const QString& line, const QString& fileName, int position, int maximum) override;
    void ProcessMessages() override;
    TOverwriteAnswer AskOverwrite(const QString& fileName) override;
    void ShowError(const QString& message) override;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void timerResizeTimer();

    std::unique_ptr<TResizeEngine> engine_;
    TfrmMain* main_ = nullptr;
    TfrmSobreescribir* prompt_ = nullptr;
    bool running_ = false;
};
