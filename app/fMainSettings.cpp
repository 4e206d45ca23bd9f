// The main window's settings: read once when it is first shown, written once
// when it closes. QSettings in the platform's native form, organisation and
// application "Velmora" (~/.config/Velmora/Velmora.conf on Linux).
#include "app/VersionInfo.h"
#include "app/fMain.h"
#include "batch/ResizeEngine.h"
#include "i18n/uIdiomes.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

#include <optional>

namespace {

const QString kLastDir = QStringLiteral("LastDir");
const QString kOutputDir = QStringLiteral("OutputDir");
const QString kOutShowDir = QStringLiteral("OutShowDir");
const QString kSize = QStringLiteral("Size");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kPosX = QStringLiteral("PosX");
const QString kPosY = QStringLiteral("PosY");

constexpr int32_t sizeOptionCount = 9;
const QPoint designedPosition(0, 0);

std::unique_ptr<QSettings> openStore() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                                       QStringLiteral("Velmora"));
}

// A stored value of the wrong type (edited by hand) reads as absent, so the
// other values still load.
std::optional<QString> readString(const QSettings& store, const QString& name) {
    if (!store.contains(name))
        return std::nullopt;
    const QVariant v = store.value(name);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

std::optional<int32_t> readInteger(const QSettings& store, const QString& name) {
    if (!store.contains(name))
        return std::nullopt;
    const QVariant v = store.value(name);
    bool ok = false;
    int32_t n = 0;
    switch (v.typeId()) {
    case QMetaType::QString: n = v.toString().toInt(&ok, 10); break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: n = v.toInt(&ok); break;
    default: break;
    }
    return ok ? std::optional<int32_t>(n) : std::nullopt;
}

// The edit's text as a whole number; 0 when it is none.
int32_t editNumber(const QLineEdit* edit) {
    bool ok = false;
    const int n = edit->text().toInt(&ok, 10);
    return ok ? n : 0;
}

bool onSomeScreen(const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(frame))
            return true;
    }
    return false;
}

}  // namespace

void TfrmMain::loadSettings() {
    reg = openStore();
    // An unreadable store reads as an empty one: the program starts in
    // English with the defaults, and the save at close reports the failure.
    applyLanguage(selectedLanguage);
    const bool readable = reg->status() == QSettings::NoError;
    auto str = [&](const QString& name) { return readable ? readString(*reg, name) : std::nullopt; };
    auto num = [&](const QString& name) { return readable ? readInteger(*reg, name) : std::nullopt; };

    if (const auto v = str(kLastDir))
        LastDir = *v;
    if (const auto v = str(kOutputDir))
        OutDir = *v;
    if (const auto v = str(kOutShowDir)) {
        OutShowDir = *v;
        txtOutputFolder->setText(OutShowDir);
    }
    if (trimBlanks(OutDir).isEmpty() || trimBlanks(OutShowDir).isEmpty()) {
        OutDir = getMyPicturesFolder();
        OutShowDir = OutDir;
        txtOutputFolder->setText(OutShowDir);
    }

    Size = num(kSize).value_or(0);
    // The index picks a preset or a fixed side; anything else means option 0.
    if (Size < 0 || Size >= sizeOptionCount)
        Size = 0;
    if (const auto v = num(kWidth))
        valWidth = *v;
    if (const auto v = num(kHeight))
        valHeight = *v;
    UpdateWidthHeight(Size);

    QPoint position = pos();
    if (const auto v = num(kPosX))
        position.setX(*v);
    if (const auto v = num(kPosY))
        position.setY(*v);
    // A window stored off every screen (a monitor since removed) would be
    // out of reach: it opens at its designed position instead.
    if (!onSomeScreen(QRect(position, frameGeometry().size())))
        position = designedPosition;
    move(position);

    // The "More options" values live in a group of their own.
    Options = readable ? readOptions(*reg) : defaultOptions();
}

void TfrmMain::saveSettings() {
    // A fresh accessor, so that a read failure at start is not taken for a
    // write failure now.
    reg = openStore();
    reg->setValue(kLastDir, trimBlanks(LastDir));
    reg->setValue(kOutputDir, trimBlanks(OutDir));
    reg->setValue(kOutShowDir, trimBlanks(OutShowDir));
    reg->setValue(kPosX, pos().x());
    reg->setValue(kPosY, pos().y());
    reg->setValue(kSize, llegirIndexTamany());
    reg->setValue(kWidth, editNumber(txtWidth));
    reg->setValue(kHeight, editNumber(txtHeight));
    writeOptions(*reg, Options);
    reg->sync();
    if (reg->status() != QSettings::NoError) {
        QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                        translate(QStringLiteral("Error guardando la configuración de Velmora")), QMessageBox::Ok,
                        this);
        box.exec();
    }
}
