#include "app/fMoreOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

constexpr int labelWidth = 190;
constexpr int fieldLeft = 206;

QCheckBox* checkBox(QWidget* parent, const char* text, int top) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setGeometry(12, top, 420, 19);
    return box;
}

QLabel* fieldLabel(QWidget* parent, const char* text, int top, QWidget* buddy) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(12, top, labelWidth, 17);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

TfrmMoreOptions::TfrmMoreOptions(QWidget* parent)
    : TForm<QDialog>(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Más opciones"));
    setFixedSize(444, 384);

    cbFormat = own(new QComboBox(this));
    cbFormat->setGeometry(fieldLeft, 9, 180, 22);
    cbFormat->addItems({QStringLiteral("Igual que la imagen"), QStringLiteral("JPEG"), QStringLiteral("PNG"),
                        QStringLiteral("BMP"), QStringLiteral("WebP"), QStringLiteral("AVIF")});
    lblFormat = own(fieldLabel(this, "Formato de salida:", 12, cbFormat));

    spQuality = own(new QSpinBox(this));
    spQuality->setGeometry(fieldLeft, 38, 110, 22);
    spQuality->setRange(0, 100);
    spQuality->setSpecialValueText(QStringLiteral("Predeterminada"));
    lblQuality = own(fieldLabel(this, "Calidad:", 41, spQuality));
    chkLossless = own(new QCheckBox(QStringLiteral("Sin pérdida"), this), ccButton);
    chkLossless->setGeometry(fieldLeft + 118, 40, 110, 19);

    chkNoEnlarge = own(checkBox(this, "No ampliar nunca", 70), ccButton);
    chkSubfolders = own(checkBox(this, "Incluir subcarpetas y conservar el árbol de carpetas", 94), ccButton);

    cbExisting = own(new QComboBox(this));
    cbExisting->setGeometry(fieldLeft, 121, 180, 22);
    cbExisting->addItems({QStringLiteral("Preguntar"), QStringLiteral("Reemplazar"),
                          QStringLiteral("Conservar la anterior"), QStringLiteral("Conservar ambas")});
    lblExisting = own(fieldLabel(this, "Si la imagen de salida ya existe:", 124, cbExisting));

    // The pattern is the user's text: the walk leaves it alone.
    txtPattern = own(new QLineEdit(this), 0);
    txtPattern->setGeometry(fieldLeft, 152, 180, 21);
    lblPattern = own(fieldLabel(this, "Nombre de salida:", 154, txtPattern));
    lblExample = own(new QLabel(this), 0);
    lblExample->setGeometry(fieldLeft, 176, 230, 17);

    chkMetadata = own(checkBox(this, "Conservar los metadatos", 204), ccButton);
    chkUpright = own(checkBox(this, "Enderezar las fotos", 228), ccButton);
    chkTransparency = own(checkBox(this, "Conservar la transparencia", 252), ccButton);

    spJobs = own(new QSpinBox(this));
    spJobs->setGeometry(fieldLeft, 279, 70, 22);
    spJobs->setRange(1, coreCount());
    lblJobs = own(fieldLabel(this, "Imágenes a la vez:", 282, spJobs));
    chkErrorsAtEnd = own(checkBox(this, "Mostrar los errores al final", 310), ccButton);

    btnOk = own(new QPushButton(QStringLiteral("Aceptar"), this));
    btnOk->setGeometry(268, 348, 80, 25);
    btnOk->setDefault(true);
    btnCancel = own(new QPushButton(QStringLiteral("Cancelar"), this));
    btnCancel->setGeometry(356, 348, 80, 25);

    name(cbFormat, QStringLiteral("Formato de salida:"));
    items(cbFormat);
    name(spQuality, QStringLiteral("Calidad:"), QStringLiteral("0: la calidad predeterminada del formato"));
    ownText([this] { return spQuality->specialValueText(); },
            [this](const QString& t) { spQuality->setSpecialValueText(t); });
    name(cbExisting, QStringLiteral("Si la imagen de salida ya existe:"));
    items(cbExisting);
    name(txtPattern, QStringLiteral("Nombre de salida:"),
         QStringLiteral("{name} el nombre, {ext} la extensión, {w} y {h} el tamaño de salida"));
    name(spJobs, QStringLiteral("Imágenes a la vez:"));

    setTabOrder(cbFormat, spQuality);
    setTabOrder(spQuality, chkLossless);
    setTabOrder(chkLossless, chkNoEnlarge);
    setTabOrder(chkNoEnlarge, chkSubfolders);
    setTabOrder(chkSubfolders, cbExisting);
    setTabOrder(cbExisting, txtPattern);
    setTabOrder(txtPattern, chkMetadata);
    setTabOrder(chkMetadata, chkUpright);
    setTabOrder(chkUpright, chkTransparency);
    setTabOrder(chkTransparency, spJobs);
    setTabOrder(spJobs, chkErrorsAtEnd);
    setTabOrder(chkErrorsAtEnd, btnOk);
    setTabOrder(btnOk, btnCancel);

    connect(cbFormat, &QComboBox::currentIndexChanged, this, [this] { updateControls(); });
    connect(chkLossless, &QCheckBox::toggled, this, [this] { updateControls(); });
    connect(txtPattern, &QLineEdit::textChanged, this, [this] { updateControls(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { accept(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TfrmMoreOptions::Show(const TDesktopOptions& o) {
    cbFormat->setCurrentIndex(int(o.format));
    spQuality->setValue(o.quality);
    chkLossless->setChecked(o.lossless);
    chkNoEnlarge->setChecked(o.neverEnlarge);
    chkSubfolders->setChecked(o.subfolders);
    cbExisting->setCurrentIndex(int(o.existing));
    txtPattern->setText(o.namePattern);
    chkMetadata->setChecked(o.keepMetadata);
    chkUpright->setChecked(o.upright);
    chkTransparency->setChecked(o.keepTransparency);
    spJobs->setValue(o.jobs);
    chkErrorsAtEnd->setChecked(o.errorsAtEnd);
    updateControls();
}

TDesktopOptions TfrmMoreOptions::Values() const {
    TDesktopOptions o;
    o.format = TOutputFormat(cbFormat->currentIndex());
    o.quality = spQuality->value();
    o.lossless = chkLossless->isChecked();
    o.neverEnlarge = chkNoEnlarge->isChecked();
    o.subfolders = chkSubfolders->isChecked();
    o.existing = TExistingOutput(cbExisting->currentIndex());
    o.namePattern = txtPattern->text();
    o.keepMetadata = chkMetadata->isChecked();
    o.upright = chkUpright->isChecked();
    o.keepTransparency = chkTransparency->isChecked();
    o.jobs = spJobs->value();
    o.errorsAtEnd = chkErrorsAtEnd->isChecked();
    return o;
}

// Quality belongs to JPEG, WebP and AVIF outputs (and to "same" for the
// pictures that have one), "lossless" to WebP; OK needs a usable name.
void TfrmMoreOptions::updateControls() {
    const auto format = TOutputFormat(cbFormat->currentIndex());
    chkLossless->setEnabled(format == TOutputFormat::Webp);
    const bool lossless = format == TOutputFormat::Webp && chkLossless->isChecked();
    spQuality->setEnabled(!lossless && format != TOutputFormat::Png && format != TOutputFormat::Bmp);
    static const char* const extensions[] = {"jpg", "jpg", "png", "bmp", "webp", "avif"};
    const QString example = applyNamePattern(txtPattern->text(), QStringLiteral("IMG_0412"),
                                             QString::fromLatin1(extensions[cbFormat->currentIndex()]), 640, 480);
    lblExample->setText(example.isEmpty() ? translate(QStringLiteral("Nombre no válido"))
                                          : translate(QStringLiteral("Ejemplo:")) + QLatin1Char(' ') + example);
    btnOk->setEnabled(!example.isEmpty());
}

bool TfrmMoreOptions::Edit(TDesktopOptions& options) {
    Show(options);
    cbFormat->setFocus();
    if (exec() != QDialog::Accepted) return false;
    options = Values();
    return true;
}
