// The "More options" window: output format and quality, sizes, folders,
// names, existing outputs, photo options and pictures at once.
#pragma once

#include "app/DesktopOptions.h"
#include "app/TForm.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TfrmMoreOptions : public TForm<QDialog> {
public:
    explicit TfrmMoreOptions(QWidget* parent = nullptr);

    QLabel* lblFormat;
    QComboBox* cbFormat;
    QLabel* lblQuality;
    QSpinBox* spQuality;
    QCheckBox* chkLossless;
    QCheckBox* chkNoEnlarge;
    QCheckBox* chkSubfolders;
    QLabel* lblExisting;
    QComboBox* cbExisting;
    QLabel* lblPattern;
    QLineEdit* txtPattern;
    QLabel* lblExample;
    QCheckBox* chkMetadata;
    QCheckBox* chkUpright;
    QCheckBox* chkTransparency;
    QLabel* lblJobs;
    QSpinBox* spJobs;
    QCheckBox* chkErrorsAtEnd;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Shows the options; OK writes the window's values into them and returns
    // true, Cancel leaves them as they were.
    bool Edit(TDesktopOptions& options);

    void Show(const TDesktopOptions& options);
    TDesktopOptions Values() const;

private:
    void updateControls();
};
