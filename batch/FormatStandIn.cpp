#include "batch/FormatStandIn.h"

#include "batch/PhotoSteps.h"
#include "batch/ResizeEngine.h"
#include "codecs/jpeg/JPEGImage.h"
#include "codecs/png/PngImage.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "codecs/bmp/BmpFile.h"

TPictureFormat FormatOfExtension(const QString& path) {
    const QString ext = TResizeEngine::ExtensionOf(path);
    if (ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG")) return TPictureFormat::Jpeg;
    if (ext == QLatin1String(".PNG")) return TPictureFormat::Png;
    if (ext == QLatin1String(".BMP")) return TPictureFormat::Bmp;
    return TPictureFormat::Unknown;
}

bool IsPictureExtension(const QString& path) { return FormatOfExtension(path) != TPictureFormat::Unknown; }

QString OutputFileName(const QString& sourceFileName, TOutputFormat) { return sourceFileName; }

TSourceInfo ProbeSource(TStream& source, const QString& nameForFormat) {
    TSourceInfo info;
    info.format = FormatOfExtension(nameForFormat);
    switch (info.format) {
    case TPictureFormat::Jpeg: {
        TJPEGImage jpg;
        jpg.LoadFromStream(source);
        const TPhotoMetadata meta = ReadPhotoMetadata(jpg);
        info.width = jpg.Width();
        info.height = jpg.Height();
        info.orientation = meta.orientation;
        info.profile = !meta.icc.empty();
        break;
    }
    case TPictureFormat::Png: {
        TPngImage png;
        png.LoadFromStream(source);
        const TPhotoMetadata meta = ReadPhotoMetadata(png);
        info.width = png.Width();
        info.height = png.Height();
        info.orientation = meta.orientation;
        info.alpha = png.Transparent();
        info.profile = !meta.icc.empty();
        break;
    }
    case TPictureFormat::Bmp: {
        TBitmap bmp;
        LoadBmp(bmp, source);
        info.width = bmp.Width();
        info.height = bmp.Height();
        break;
    }
    default:
        throw EInvalidGraphic("Unknown format");
    }
    return info;
}
