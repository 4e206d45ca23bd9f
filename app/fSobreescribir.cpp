#include "app/fSobreescribir.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int clientWidth = 415;
constexpr int clientHeight = 131;
constexpr int buttonTop = 96;  // the buttons keep this distance to the bottom edge
constexpr int buttonHeight = 25;
}  // namespace

TfrmSobreescribir::TfrmSobreescribir(QWidget* parent)
    : TForm<QDialog>(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("Sobreescribir imagen?"));
    resize(clientWidth, clientHeight);
    setMinimumSize(clientWidth / 2, clientHeight);
    setSizeGripEnabled(true);

    lblNombre = own(new QLabel(QStringLiteral("La imagen de salida IMG.BMP ya existe."), this));
    lblNombre->setGeometry(16, 16, clientWidth - 32, 20);
    Label2 = own(new QLabel(QStringLiteral("¿Deseas sobreescribirla?"), this));
    Label2->setGeometry(16, 48, clientWidth - 32, 20);
    btnSi = own(new QPushButton(QStringLiteral("Si"), this));
    btnSiTodo = own(new QPushButton(QStringLiteral("Si a todo"), this));
    btnNo = own(new QPushButton(QStringLiteral("No"), this));
    btnSi->setGeometry(16, buttonTop, 100, buttonHeight);
    btnSiTodo->setGeometry(124, buttonTop, 100, buttonHeight);
    btnNo->setGeometry(232, buttonTop, 100, buttonHeight);
    btnSi->setAutoDefault(false);
    btnSiTodo->setAutoDefault(false);
    btnNo->setDefault(true);

    connect(btnSi, &QPushButton::clicked, this, [this] { btnSiClick(); });
    connect(btnSiTodo, &QPushButton::clicked, this, [this] { btnSiTodoClick(); });
    connect(btnNo, &QPushButton::clicked, this, [this] { btnNoClick(); });
}

void TfrmSobreescribir::FormShow() {
    // A long name is shortened in the middle; the tooltip holds it whole.
    const QString line = TOverwriteQuestion::FormShow();
    lblNombre->setText(lblNombre->fontMetrics().elidedText(line, Qt::ElideMiddle, lblNombre->width()));
    lblNombre->setToolTip(line);
    btnNo->setDefault(true);
    btnNo->setFocus();
}

void TfrmSobreescribir::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmSobreescribir::btnSiClick() {
    TOverwriteQuestion::btnSiClick();
    accept();
}

void TfrmSobreescribir::btnSiTodoClick() {
    TOverwriteQuestion::btnSiTodoClick();
    accept();
}

void TfrmSobreescribir::btnNoClick() {
    TOverwriteQuestion::btnNoClick();
    accept();
}

void TfrmSobreescribir::keyPressEvent(QKeyEvent* event) {
    // There is no cancel button: Escape does nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmSobreescribir::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int top = height() - (clientHeight - buttonTop);
    for (QPushButton* b : {btnSi, btnSiTodo, btnNo})
        b->move(b->x(), top);
    lblNombre->resize(width() - 32, lblNombre->height());
    Label2->resize(width() - 32, Label2->height());
}
