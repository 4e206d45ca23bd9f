#include "batch/PictureFormats.h"

#include "batch/FormatTable.h"
#include "platform/Exceptions.h"
#include "platform/Stream.h"

#include <algorithm>
#include <array>
#include <memory>

namespace {

struct TExtension {
    const char* name;  // lower case, dot included
    TPictureFormat format;
};

constexpr std::array kExtensions{
    TExtension{".jpg", TPictureFormat::Jpeg},  TExtension{".jpeg", TPictureFormat::Jpeg},
    TExtension{".png", TPictureFormat::Png},   TExtension{".bmp", TPictureFormat::Bmp},
    TExtension{".webp", TPictureFormat::Webp}, TExtension{".heic", TPictureFormat::Heif},
    TExtension{".heif", TPictureFormat::Heif}, TExtension{".hif", TPictureFormat::Heif},
    TExtension{".avif", TPictureFormat::Avif}, TExtension{".tif", TPictureFormat::Tiff},
    TExtension{".tiff", TPictureFormat::Tiff},
};

// The file-name part of path from its last dot on, ASCII letters in lower
// case; empty without a dot.
QString lowerExtension(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return {};
    QString ext = name.mid(dot);
    for (QChar& c : ext)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() - 'A' + 'a');
    return ext;
}

// The extension an output of a written format takes when it gets a new one.
const char* extensionOf(TPictureFormat format) {
    switch (format) {
    case TPictureFormat::Jpeg: return ".jpg";
    case TPictureFormat::Png: return ".png";
    case TPictureFormat::Bmp: return ".bmp";
    case TPictureFormat::Webp: return ".webp";
    case TPictureFormat::Avif: return ".avif";
    default: return "";
    }
}

}  // namespace

TPictureFormat FormatOfExtension(const QString& path) {
    const QString ext = lowerExtension(path);
    for (const TExtension& e : kExtensions)
        if (ext == QLatin1String(e.name)) return e.format;
    return TPictureFormat::Unknown;
}

bool IsPictureExtension(const QString& path) { return FormatOfExtension(path) != TPictureFormat::Unknown; }

QStringList PictureNameFilters() {
    QStringList filters;
    for (const TExtension& e : kExtensions) filters << QLatin1Char('*') + QLatin1String(e.name);
    return filters;
}

TPictureFormat SniffFormat(const uint8_t* head, size_t n) {
    const TReaderEntry* entry = ReaderByContent(head, n);
    return entry ? entry->format : TPictureFormat::Unknown;
}

TPictureFormat OutputFormatFor(TPictureFormat sourceByName, TOutputFormat format) {
    switch (format) {
    case TOutputFormat::Jpeg: return TPictureFormat::Jpeg;
    case TOutputFormat::Png: return TPictureFormat::Png;
    case TOutputFormat::Bmp: return TPictureFormat::Bmp;
    case TOutputFormat::Webp: return TPictureFormat::Webp;
    case TOutputFormat::Avif: return TPictureFormat::Avif;
    case TOutputFormat::Same: break;
    }
    // Formats that are read but not written give JPEG.
    if (sourceByName == TPictureFormat::Heif || sourceByName == TPictureFormat::Tiff) return TPictureFormat::Jpeg;
    return sourceByName;
}

QString OutputFileName(const QString& sourceFileName, TOutputFormat format) {
    const TPictureFormat named = FormatOfExtension(sourceFileName);
    const TPictureFormat written = OutputFormatFor(named, format);
    if (written == named || written == TPictureFormat::Unknown) return sourceFileName;
    const qsizetype slash = sourceFileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = sourceFileName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > slash ? sourceFileName.left(dot) : sourceFileName;
    return stem + QLatin1String(extensionOf(written));
}

TSourceInfo ProbeSource(TStream& source, const QString& nameForFormat) {
    const int64_t start = source.Position();
    uint8_t head[kSniffBytes];
    const size_t n = source.Read(head, sizeof head);
    source.SetPosition(start);
    const TReaderEntry* entry = ReaderByContent(head, n);
    if (!entry) entry = ReaderOf(FormatOfExtension(nameForFormat));
    if (!entry) throw EInvalidGraphic("Unknown format");
    std::unique_ptr<TPictureReader> reader = entry->newReader();
    reader->ReadHeader(source);
    TSourceInfo info;
    info.format = entry->format;
    info.width = reader->Width();
    info.height = reader->Height();
    info.orientation = reader->Metadata().orientation;
    info.alpha = reader->HasAlpha();
    info.profile = !reader->Metadata().icc.empty();
    return info;
}
