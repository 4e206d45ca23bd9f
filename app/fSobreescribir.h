// The overwrite prompt: Yes, Yes to all, No about an output file that
// already exists. The caller sets NombreFichero, shows it modally and reads
// Respuesta.
#pragma once

#include "app/TForm.h"
#include "batch/OverwriteQuestion.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TfrmSobreescribir : public TForm<QDialog>, public TOverwriteQuestion {
public:
    explicit TfrmSobreescribir(QWidget* parent = nullptr);

    QLabel* lblNombre;
    QLabel* Label2;
    QPushButton* btnSi;
    QPushButton* btnSiTodo;
    QPushButton* btnNo;

    void btnSiClick();
    void btnSiTodoClick();
    void btnNoClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormShow();
};
