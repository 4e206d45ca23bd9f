// The picture formats the engine knows: which file names are pictures, what
// a file's first bytes say it is, which name an output takes when its format
// changes, and a look at a source's header without decoding its pixels.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

class TStream;

// A picture file's format, by its name or by its content. Heif covers HEIC
// and HEIF alike; Avif is the AV1 kind of the same container.
enum class TPictureFormat { Unknown, Jpeg, Png, Bmp, Webp, Heif, Avif, Tiff };

// The format a run writes: Same keeps the one the source's extension names
// (HEIC/HEIF and TIFF sources, which are not written, give JPEG).
enum class TOutputFormat { Same, Jpeg, Png, Bmp, Webp, Avif };

// The format the file name's extension names, in any case (.jpg .jpeg .png
// .bmp .webp .heic .heif .hif .avif .tif .tiff); Unknown for any other name.
TPictureFormat FormatOfExtension(const QString& path);

// Whether the file name has one of the extensions above.
bool IsPictureExtension(const QString& path);

// Name filters for those extensions ("*.jpg", "*.jpeg", ...), lower case,
// for file dialogs and folder listings.
QStringList PictureNameFilters();

// The format a file's first n bytes (the batch hands up to 64) show, as far
// as some reader of the engine knows it; Unknown otherwise.
TPictureFormat SniffFormat(const uint8_t* head, size_t n);

// The format written for a source whose name says sourceByName when the run
// asks for `format`; Unknown when nothing is written (an unknown name with
// Same).
TPictureFormat OutputFormatFor(TPictureFormat sourceByName, TOutputFormat format);

// The output's file name (no folder) for a source file name: the source's
// extension, in its own spelling, whenever the output format is the one it
// names; otherwise the name with its extension replaced by .jpg .png .bmp
// .webp or .avif (added when the name has none). An unknown extension with
// Same keeps the name as it is.
QString OutputFileName(const QString& sourceFileName, TOutputFormat format);

// What a source's header says, read without its pixels.
struct TSourceInfo {
    TPictureFormat format = TPictureFormat::Unknown;
    int32_t width = 0, height = 0;  // as stored, before orientation
    int orientation = 0;            // 1..8 still to be applied; 0 none
    bool alpha = false;             // may carry transparency
    bool profile = false;           // carries an RGB ICC profile
};

// Reads what comes before the pixels of the source from its position, by
// content as the run does (the bytes, then the extension of nameForFormat
// when the bytes match no reader). Bad input raises the codec's exception;
// a source no reader takes raises EInvalidGraphic("Unknown format").
TSourceInfo ProbeSource(TStream& source, const QString& nameForFormat = QString());
