// The route every picture takes that is not one of the JPEG, PNG and BMP
// pipelines (a new format in or out, a conversion, a misnamed file): a
// reader from the format table, the EXIF orientation, the exact resampler,
// transparency kept or laid over white, the colours turned into sRGB where
// the output drops the profile, then the writer from the table.
#include "batch/ResizeEngine.h"

#include "batch/ColorStep.h"
#include "batch/FilePath.h"
#include "batch/FormatTable.h"
#include "batch/PhotoSteps.h"
#include "codecs/meta/Exif.h"
#include "codecs/meta/Xmp.h"
#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"
#include "platform/Stream.h"
#include "raster/Bitmap32.h"
#include "raster/StreamResampler.h"

#include <cstring>
#include <vector>

namespace {

// Colour x alpha / 255, rounded, as the PNG codec draws transparent pixels.
uint32_t premultiplied(uint32_t p) {
    const uint32_t a = p >> 24;
    if (a == 0xFF) return p;
    if (a == 0) return 0;
    auto channel = [&](int shift) { return ((p >> shift & 0xFF) * a + 127) / 255 << shift; };
    return a << 24 | channel(16) | channel(8) | channel(0);
}

// The pixel laid over white, opaque.
uint32_t overWhite(uint32_t p) {
    const uint32_t a = p >> 24;
    if (a == 0xFF) return p;
    auto channel = [&](int shift) { return ((p >> shift & 0xFF) * a + 255 * (255 - a) + 127) / 255 << shift; };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

enum class TAlphaStep { None, OverWhite, Premultiply };

void applyAlphaStep(TAlphaStep step, uint32_t* row, int32_t width) {
    if (step == TAlphaStep::OverWhite)
        for (int32_t x = 0; x < width; ++x) row[x] = overWhite(row[x]);
    else if (step == TAlphaStep::Premultiply)
        for (int32_t x = 0; x < width; ++x) row[x] = premultiplied(row[x]);
}

// Rows of the resized picture on their way to the writer: colours turned
// into sRGB first where the output drops the profile.
class TWriterRows {
public:
    TWriterRows(TPictureWriter& writer, TColorStep* color, int32_t width)
        : writer_(writer), color_(color), width_(width) {
        if (color_) row_.resize(size_t(width));
    }
    void Row(const TColor32* row) {
        if (!color_) {
            writer_.WriteRow(reinterpret_cast<const uint32_t*>(row));
            return;
        }
        std::memcpy(row_.data(), row, row_.size() * sizeof(uint32_t));
        color_->Convert(row_.data(), width_);
        writer_.WriteRow(row_.data());
    }

private:
    TPictureWriter& writer_;
    TColorStep* color_;
    int32_t width_;
    std::vector<uint32_t> row_;
};

// Source rows through the alpha step into the resampler.
class TResampleRows : public TRowTarget {
public:
    TResampleRows(TStreamResampler& resampler, TAlphaStep alpha, int32_t width)
        : resampler_(resampler), alpha_(alpha), width_(width) {}
    uint32_t* NextRow() override { return row_ = reinterpret_cast<uint32_t*>(resampler_.NextRow()); }
    void Push() override {
        if (resampler_.Finished()) return;  // rows beyond the declared height
        applyAlphaStep(alpha_, row_, width_);
        resampler_.Push();
    }

private:
    TStreamResampler& resampler_;
    TAlphaStep alpha_;
    int32_t width_;
    uint32_t* row_ = nullptr;
};

// Source rows through the alpha step into a raster of the source's size.
class TRasterTarget : public TRowTarget {
public:
    TRasterTarget(TBitmap32& img, TAlphaStep alpha) : img_(img), alpha_(alpha), spare_(size_t(img.Width())) {}
    uint32_t* NextRow() override {
        return y_ < img_.Height() ? reinterpret_cast<uint32_t*>(img_.ScanLine(y_)) : spare_.data();
    }
    void Push() override {
        if (y_ >= img_.Height()) return;
        applyAlphaStep(alpha_, reinterpret_cast<uint32_t*>(img_.ScanLine(y_)), img_.Width());
        ++y_;
    }

private:
    TBitmap32& img_;
    TAlphaStep alpha_;
    std::vector<uint32_t> spare_;
    int32_t y_ = 0;
};

bool isHeifFamily(TPictureFormat f) { return f == TPictureFormat::Heif || f == TPictureFormat::Avif; }

}  // namespace

const TReaderEntry* TResizeEngine::readerFor(TStream& source, const QString& name) {
    const int64_t start = source.Position();
    uint8_t head[kSniffBytes];
    size_t n = 0;
    while (n < sizeof head) {
        const size_t got = source.Read(head + n, sizeof head - n);
        if (got == 0) break;
        n += got;
    }
    source.SetPosition(start);
    // A known picture name is read by what its bytes say; bytes no reader
    // knows leave it to the name.
    const TReaderEntry* entry = ReaderByContent(head, n);
    return entry ? entry : ReaderOf(FormatOfExtension(name));
}

TResizeEngine::TStreamStep TResizeEngine::classicStep(TPictureFormat content, const QString& name) const {
    const TPictureFormat named = FormatOfExtension(name);
    if (content != named || OutputFormatFor(named, outputFormat) != named) return nullptr;
    switch (named) {
    case TPictureFormat::Jpeg: return &TResizeEngine::resizeJpgTo;
    case TPictureFormat::Png: return &TResizeEngine::resizePngTo;
    case TPictureFormat::Bmp: return &TResizeEngine::resizeBmpTo;
    default: return nullptr;
    }
}

void TResizeEngine::resizeAnyTo(TStream& source, TStream& out) {
    const TReaderEntry* entry = readerFor(source, sourceName_);
    const TPictureFormat named = FormatOfExtension(sourceName_);
    if (const TStreamStep step = classicStep(entry ? entry->format : named, sourceName_)) {
        (this->*step)(source, out);
        return;
    }
    if (!entry) throw EInvalidGraphic("Unknown format");
    const TPictureFormat written = OutputFormatFor(named, outputFormat);
    const TWriterEntry* writerEntry = WriterOf(written);
    if (!writerEntry) throw EInvalidGraphic("this kind of output file cannot be written");

    std::unique_ptr<TPictureReader> reader = entry->newReader();
    reader->ReadHeader(source);
    const TPictureMetadata& meta = reader->Metadata();
    const int orientation = autoOrient ? meta.orientation : 0;
    const bool swap = OrientationSwapsSides(orientation);
    const int32_t sw = reader->Width(), sh = reader->Height();
    if (sw <= 0 || sh <= 0) throw EInvalidGraphic("the picture is empty");
    int32_t w = 0, h = 0;
    FitTarget(swap ? sh : sw, swap ? sw : sh, w, h);
    if (w <= 0 || h <= 0) throw EInvalidGraphicOperation("The target size is empty");

    const bool keepTransparency = keepAlpha && writerEntry->alpha && reader->HasAlpha();
    const bool carryMetadata = keepMetadata && writerEntry->profile;
    std::unique_ptr<TColorStep> color = carryMetadata ? nullptr : ColorStepFor(meta.icc);

    TPictureMetadata outMeta;
    if (carryMetadata) {
        // The pixels are upright once turned here, or as a HEIF reader gives them.
        const bool reset = autoOrient || isHeifFamily(entry->format);
        if (!meta.exif.empty()) {
            const velmora::meta::TExifRewrite how{reset, uint32_t(w), uint32_t(h)};
            if (auto tiff = velmora::meta::RewriteExif(meta.exif.data(), meta.exif.size(), how))
                outMeta.exif = std::move(*tiff);
        }
        outMeta.xmp = meta.xmp;
        if (reset)
            for (auto& packet : outMeta.xmp) velmora::meta::ResetXmpOrientation(packet);
        outMeta.icc = meta.icc;
    }
    outMeta.orientation = 1;
    TWriteSettings settings;
    settings.quality = writerEntry->quality ? quality : 0;
    settings.lossless = lossless;
    settings.alpha = keepTransparency;

    std::unique_ptr<TPictureWriter> writer = writerEntry->newWriter();
    writer->Begin(w, h, outMeta, settings, out);
    TWriterRows rows(*writer, color.get(), w);
    const bool upright = orientation < 2 || orientation > 8;
    if (streaming && upright && !keepTransparency && velmora::PixelCountOk(sw, sh) && velmora::PixelCountOk(w, h)) {
        // Row by row: neither picture is held whole.
        TStreamResampler& resampler = TStreamResampler::Reuse(rowResampler_, sw, sh, w, h,
                                                              [&rows](int32_t, const TColor32* row) { rows.Row(row); });
        TResampleRows target(resampler, reader->HasAlpha() ? TAlphaStep::OverWhite : TAlphaStep::None, sw);
        reader->ReadRows(target);
        while (!resampler.Finished()) {
            std::memset(resampler.NextRow(), 0, size_t(sw) * sizeof(TColor32));
            resampler.Push();
        }
    } else {
        // Turned or transparent pictures are resized whole, transparency
        // premultiplied as the PNG pipeline does.
        const TAlphaStep alpha = keepTransparency     ? TAlphaStep::Premultiply
                                 : reader->HasAlpha() ? TAlphaStep::OverWhite
                                                      : TAlphaStep::None;
        img->SetSize(sw, sh);
        if (img->Empty()) throw EBitmapException("Can't allocate the DIB handle");
        TRasterTarget target(*img, alpha);
        reader->ReadRows(target);
        img->Changed();
        OrientUpright(*img, orientation);
        src->SetSize(w, h);
        if (src->Empty()) throw EBitmapException("Can't allocate the DIB handle");
        img->DrawTo(*src, src->BoundsRect());
        if (keepTransparency) Unpremultiply(*src);
        for (int32_t y = 0; y < h; ++y) rows.Row(src->ScanLine(y));
        img->SetSize(0, 0);
        src->SetSize(0, 0);
    }
    shortData_ = reader->ShortData();
    writer->End();
}
