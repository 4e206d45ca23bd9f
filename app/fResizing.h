// The batch window: shows which file of how many is in work while the engine
// resizes the list, answers the engine's questions through the overwrite
// prompt and error dialogs, and closes itself when the run ends.
#pragma once

#include "app/DesktopOptions.h"
#include "app/TForm.h"
#include "app/fResults.h"
#include "batch/ResizeEngine.h"

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

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
    // Parallel to fileList: the folder below outDir each output goes into
    // ("" for outDir itself).
    QStringList relDirs;
    QString outDir;
    TDesktopOptions options = defaultOptions();

    TResizeEngine& Engine() { return *engine_; }
    bool Running() const { return running_; }
    // What the last run did to the files it did not write as asked.
    const TRunResults& Results() const { return results_; }

    void btnCancelClick();
    // Cancels a run in progress and returns when it has ended.
    void CancelAndWait();

    // TResizePort
    void ShowProgress(const QString& line, const QString& fileName, int position, int maximum) override;
    void ProcessMessages() override;
    TOverwriteAnswer AskOverwrite(const QString& fileName) override;
    void ShowError(const QString& message) override;
    void ShowFileError(const QString& message, const QString& cause) override;
    void ShowShortData(const QString& name) override;
    // A picture kept at its size is copied, not encoded again: listed too.
    void FileDone(const TFileResult& result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void timerResizeTimer();
    void runEnded();
    // Runs `work` on the window's thread; from the run's thread it waits
    // for it there.
    void onWindowThread(const std::function<void()>& work);
    void record(TResultStatus status, const QString& cause);

    std::unique_ptr<TResizeEngine> engine_;
    TfrmMain* main_ = nullptr;
    TfrmSobreescribir* prompt_ = nullptr;
    bool running_ = false;
    // The run works on a thread of its own, so the windows stay live; every
    // port call comes back to the window's thread in list order.
    std::thread worker_;
    std::exception_ptr runError_;
    std::atomic<bool> cancelRequested_{false};
    int current_ = -1;  // the file on display, counted from 0 (run thread)
    TRunResults results_;
};
