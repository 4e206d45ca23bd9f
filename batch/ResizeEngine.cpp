// The engine's construction, the set-up of a run (working objects, target
// values) and the file-name helpers the loop and the pipelines share.
#include "batch/ResizeEngine.h"

#include "codecs/bmp/BmpFile.h"
#include "codecs/jpeg/JPEGImage.h"
#include "codecs/png/PngImage.h"
#include "platform/Bitmap.h"
#include "raster/Bitmap32.h"
#include "raster/LinearResampler.h"
#include "raster/StreamResampler.h"

#include <mutex>

TResizeEngine::TResizeEngine(TResizePort& port) : port_(port) {
    static std::once_flag formats;
    std::call_once(formats, [] {
        RegisterBmpFormat();
        RegisterJPEGFormat();
        RegisterPngFormat();
    });
}

TResizeEngine::~TResizeEngine() { freeWorkingObjects(); }

void TResizeEngine::Prepare() {
    freeWorkingObjects();
    jpg = std::make_unique<TJPEGImage>();
    bmp = std::make_unique<TBitmap>();
    img = std::make_unique<TBitmap32>();
    src = std::make_unique<TBitmap32>();
    png = std::make_unique<TPngImage>();
    img->SetResampler(std::make_unique<TLinearResampler>(*img));
    cancelOperation = false;
}

void TResizeEngine::freeWorkingObjects() {
    src.reset();
    img.reset();  // frees its resampler with it
    jpg.reset();
    bmp.reset();
    png.reset();
    rowResampler_.reset();
}

void TResizeEngine::SetTarget(int32_t sizeOption, int32_t width, int32_t height) {
    dw = sizeOption == sizeFixedHeight ? 0 : width;
    dh = sizeOption == sizeFixedWidth ? 0 : height;
}

void TResizeEngine::SetTargetFromControls(const QString& widthText, const QString& heightText,
                                          bool fixedHeight, bool fixedWidth) {
    bool ok = false;
    const int w = widthText.toInt(&ok, 10);
    const int32_t width = ok ? w : 0;
    const int h = heightText.toInt(&ok, 10);
    const int32_t height = ok ? h : 0;
    // The presets all set both values; which one is chosen does not matter here.
    const int32_t option = fixedWidth ? sizeFixedWidth : fixedHeight ? sizeFixedHeight : 0;
    // Both options at once cannot come from the radio buttons; they clear both values.
    SetTarget(option, fixedHeight ? 0 : width, fixedWidth ? 0 : height);
}

QString TResizeEngine::FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TResizeEngine::ExtensionOf(const QString& path) {
    const QString name = FileNamePart(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    QString ext = name.mid(dot);
    for (QChar& c : ext) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return ext;
}

QString TResizeEngine::OutputPath(const QString& name) const {
    return outDir + QLatin1Char('/') + OutputFileName(FileNamePart(name), outputFormat);
}
