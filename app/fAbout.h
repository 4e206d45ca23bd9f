// The about box: the program's icon, name and version, and two links.
#pragma once

#include "app/TForm.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TfrmAbout : public TForm<QDialog> {
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* LinkLabel1;
    QLabel* LinkLabel2;
    QPushButton* btnClose;

    void LinkLabel1LinkClick(const QString& link);
    void LinkLabel2LinkClick(const QString& link);
    void btnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

#include <functional>

// Hands a link or document to the desktop's handler for it; false when the
// desktop has none (no launcher, no program for the kind).
bool openWithDesktop(const QUrl& url);
// What openWithDesktop uses; tests put their own handler here.
extern std::function<bool(const QUrl&)> desktopOpener;
// Opens url; when the desktop cannot, a message box shows `explanation`.
void openOrExplain(QWidget* parent, const QUrl& url, const QString& explanation);
