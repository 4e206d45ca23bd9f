// The results window: the files of a run that were not written as asked
// (skipped, failed, written from short data, not reached), each with its
// cause, the run's counts, and a button that opens the output folder.
#pragma once

#include "app/TForm.h"

#include <QDialog>
#include <QString>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

enum class TResultStatus { Skipped, Failed, ShortData, NotReached, Copied };

struct TResultEntry {
    QString file;
    TResultStatus status;
    QString cause;
};

struct TRunResults {
    std::vector<TResultEntry> entries;
    int written = 0;
    int skipped = 0;
    int failed = 0;
    int notReached = 0;
    QString outDir;
};

class TfrmResults : public TForm<QDialog> {
public:
    explicit TfrmResults(QWidget* parent = nullptr);

    QTableWidget* tblResults;
    QLabel* lblCounts;
    QPushButton* btnCopy;
    QPushButton* btnOpenFolder;
    QPushButton* btnClose;

    // Fills the window with a run's results and shows it.
    void ShowResults(const TRunResults& results);
    void Fill(const TRunResults& results);
    // The rows as tab-separated text, one line each, in the order shown; the
    // selected rows only when some are selected.
    QString RowsAsText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString outDir_;
};

// The status words of the results window, in the current language.
QString resultStatusText(TResultStatus status);

// Opens a folder in the desktop's file manager; explains when it cannot.
void openFolderWithDesktop(QWidget* parent, const QString& folder);
