// The language chooser: English, Español, Català. The choice lasts until
// the program ends (selectedLanguage).
#pragma once

#include "app/TForm.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class TfrmTriarIdioma : public TForm<QDialog> {
public:
    explicit TfrmTriarIdioma(QWidget* parent = nullptr);

    QLabel* Label1;
    QComboBox* cbIdioma;
    QPushButton* btnOk;

    void btnOkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};
