#include "app/fTriarIdioma.h"

#include "i18n/uIdiomes.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace {
// List item -> language number.
constexpr int32_t itemLanguage[] = {langEnglish, langSpanish, langCatalan};
}  // namespace

TfrmTriarIdioma::TfrmTriarIdioma(QWidget* parent)
    : TForm<QDialog>(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    // Texts that are no lines of the tables: they read the same in every
    // language, so they name the choice in all three.
    setWindowTitle(QStringLiteral("Idioma / Language"));
    setFixedSize(329, 123);

    Label1 = own(new QLabel(QStringLiteral("Idioma / Language:"), this));
    Label1->setGeometry(8, 40, 112, 17);
    cbIdioma = own(new QComboBox(this));
    cbIdioma->setGeometry(123, 37, 110, 22);
    cbIdioma->addItems({QStringLiteral("English"), QStringLiteral("Español"), QStringLiteral("Català")});
    cbIdioma->setCurrentIndex(0);
    btnOk = own(new QPushButton(QStringLiteral("OK"), this));
    btnOk->setGeometry(234, 82, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
}

void TfrmTriarIdioma::FormShow() {
    switch (selectedLanguage) {
    case 0:
    case langEnglish: cbIdioma->setCurrentIndex(0); break;
    case langSpanish: cbIdioma->setCurrentIndex(1); break;
    case langCatalan: cbIdioma->setCurrentIndex(2); break;
    default: break;
    }
    cbIdioma->setFocus();
}

void TfrmTriarIdioma::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmTriarIdioma::btnOkClick() {
    const int item = cbIdioma->currentIndex();
    if (item >= 0 && item < int(std::size(itemLanguage)))
        selectedLanguage = itemLanguage[item];
    accept();
}
