#include "app/DesktopOptions.h"

#include "batch/ResizeEngine.h"

#include <QThread>

#include <array>
#include <optional>

namespace {

const QString kGroup = QStringLiteral("Options");

constexpr std::array<const char*, 6> kFormatNames = {"same", "jpeg", "png", "bmp", "webp", "avif"};
constexpr std::array<const char*, 4> kExistingNames = {"ask", "replace", "keep", "both"};

std::optional<bool> readBool(const QSettings& store, const QString& key) {
    const QVariant v = store.value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    const QString s = v.toString();
    if (s == QLatin1String("true")) return true;
    if (s == QLatin1String("false")) return false;
    return std::nullopt;
}

std::optional<int> readNumber(const QSettings& store, const QString& key, int low, int high) {
    const QVariant v = store.value(key);
    if (v.typeId() != QMetaType::QString && v.typeId() != QMetaType::Int) return std::nullopt;
    bool ok = false;
    const int n = v.typeId() == QMetaType::Int ? v.toInt(&ok) : v.toString().toInt(&ok, 10);
    if (!ok || n < low || n > high) return std::nullopt;
    return n;
}

template <size_t N>
std::optional<int> readName(const QSettings& store, const QString& key, const std::array<const char*, N>& names) {
    const QVariant v = store.value(key);
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    for (size_t i = 0; i < N; ++i) {
        if (v.toString() == QLatin1String(names[i])) return int(i);
    }
    return std::nullopt;
}

}  // namespace

int coreCount() { return std::max(1, QThread::idealThreadCount()); }

TDesktopOptions defaultOptions() {
    TDesktopOptions o;
    o.jobs = coreCount();
    return o;
}

QString applyNamePattern(const QString& pattern, const QString& name, const QString& ext, int w, int h) {
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        bool matched = false;
        for (const auto& [token, value] :
             {std::pair{QStringLiteral("{name}"), name}, std::pair{QStringLiteral("{ext}"), ext},
              std::pair{QStringLiteral("{w}"), QString::number(w)},
              std::pair{QStringLiteral("{h}"), QString::number(h)}}) {
            if (QStringView(pattern).mid(i).startsWith(token)) {
                out += value;
                i += token.size() - 1;
                matched = true;
                break;
            }
        }
        if (!matched) out += pattern[i];
    }
    if (out.isEmpty() || out == QLatin1String(".") || out == QLatin1String("..") || out.contains(QLatin1Char('/')) ||
        out.contains(QChar(0)))
        return {};
    return out;
}

TDesktopOptions readOptions(QSettings& store) {
    TDesktopOptions o = defaultOptions();
    store.beginGroup(kGroup);
    if (const auto v = readName(store, QStringLiteral("Format"), kFormatNames)) o.format = TOutputFormat(*v);
    if (const auto v = readNumber(store, QStringLiteral("Quality"), 0, 100)) o.quality = *v;
    if (const auto v = readBool(store, QStringLiteral("Lossless"))) o.lossless = *v;
    if (const auto v = readBool(store, QStringLiteral("NeverEnlarge"))) o.neverEnlarge = *v;
    if (const auto v = readBool(store, QStringLiteral("Subfolders"))) o.subfolders = *v;
    if (const auto v = readName(store, QStringLiteral("ExistingOutput"), kExistingNames))
        o.existing = TExistingOutput(*v);
    const QVariant pattern = store.value(QStringLiteral("NamePattern"));
    if (pattern.typeId() == QMetaType::QString &&
        !applyNamePattern(pattern.toString(), QStringLiteral("a"), QStringLiteral("jpg"), 1, 1).isEmpty())
        o.namePattern = pattern.toString();
    if (const auto v = readBool(store, QStringLiteral("KeepMetadata"))) o.keepMetadata = *v;
    if (const auto v = readBool(store, QStringLiteral("Upright"))) o.upright = *v;
    if (const auto v = readBool(store, QStringLiteral("KeepTransparency"))) o.keepTransparency = *v;
    // A count stored on a machine with more cores is brought down to this
    // one's; a count below 1 is damage.
    if (const auto v = readNumber(store, QStringLiteral("Jobs"), 1, 1 << 20)) o.jobs = std::min(*v, coreCount());
    if (const auto v = readBool(store, QStringLiteral("ErrorsAtEnd"))) o.errorsAtEnd = *v;
    store.endGroup();
    return o;
}

void writeOptions(QSettings& store, const TDesktopOptions& o) {
    store.beginGroup(kGroup);
    store.setValue(QStringLiteral("Format"), QString::fromLatin1(kFormatNames[size_t(o.format)]));
    store.setValue(QStringLiteral("Quality"), o.quality);
    store.setValue(QStringLiteral("Lossless"), o.lossless);
    store.setValue(QStringLiteral("NeverEnlarge"), o.neverEnlarge);
    store.setValue(QStringLiteral("Subfolders"), o.subfolders);
    store.setValue(QStringLiteral("ExistingOutput"), QString::fromLatin1(kExistingNames[size_t(o.existing)]));
    store.setValue(QStringLiteral("NamePattern"), o.namePattern);
    store.setValue(QStringLiteral("KeepMetadata"), o.keepMetadata);
    store.setValue(QStringLiteral("Upright"), o.upright);
    store.setValue(QStringLiteral("KeepTransparency"), o.keepTransparency);
    store.setValue(QStringLiteral("Jobs"), o.jobs);
    store.setValue(QStringLiteral("ErrorsAtEnd"), o.errorsAtEnd);
    store.endGroup();
}

// Never enlarge, the name pattern and the answer to existing outputs reach
// the engine once it has fields for them; the window keeps and stores them
// meanwhile.
void applyOptions(const TDesktopOptions& o, TResizeEngine& engine) {
    engine.outputFormat = o.format;
    // Quality and lossless only where the format has them.
    const bool hasQuality = o.format != TOutputFormat::Png && o.format != TOutputFormat::Bmp;
    engine.lossless = o.format == TOutputFormat::Webp && o.lossless;
    engine.quality = hasQuality && !engine.lossless ? o.quality : 0;
    engine.autoOrient = o.upright;
    engine.keepMetadata = o.keepMetadata;
    engine.keepAlpha = o.keepTransparency;
    engine.jobs = std::clamp(o.jobs, 1, coreCount());
    engine.noEnlarge = o.neverEnlarge;
    engine.namePattern = o.namePattern == QLatin1String("{name}.{ext}") ? QString() : o.namePattern;
    engine.renameExisting = o.existing == TExistingOutput::KeepBoth;
}
