// Picture kinds by name and a look at a source's header (JPEG, PNG, BMP).
#pragma once

#include <QString>

#include <cstdint>

class TStream;

enum class TPictureFormat { Unknown, Jpeg, Png, Bmp, Webp, Heif, Avif, Tiff };
enum class TOutputFormat { Same, Jpeg, Png, Bmp, Webp, Avif };

TPictureFormat FormatOfExtension(const QString& path);
bool IsPictureExtension(const QString& path);
QString OutputFileName(const QString& sourceFileName, TOutputFormat format);

struct TSourceInfo {
    TPictureFormat format = TPictureFormat::Unknown;
    int32_t width = 0, height = 0;  // as stored, before orientation
    int orientation = 0;            // 1..8 still to be applied; 0 none
    bool alpha = false;             // may carry transparency
    bool profile = false;           // carries an RGB ICC profile
};

TSourceInfo ProbeSource(TStream& source, const QString& nameForFormat = QString());
