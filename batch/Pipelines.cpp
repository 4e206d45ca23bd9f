// The three format pipelines.
//
// Every pipeline is: decode, size rule, size the target raster, turn the
// decoded picture into a 32-bit raster, resample, convert into a 32-bit
// platform bitmap, encode, write. Outputs are written through a temporary file
// renamed over the target, so a failing file never truncates an existing one.
// JPEG and PNG pictures tagged with an EXIF orientation are turned upright
// before the size rule sees them; metadata and transparency are carried over
// on request (PhotoSteps.h).
#include "batch/ResizeEngine.h"

#include "batch/ColorStep.h"
#include "batch/FilePath.h"
#include "batch/PhotoSteps.h"
#include "codecs/bmp/BmpFile.h"
#include "codecs/bmp/BmpRows.h"
#include "codecs/jpeg/JPEGImage.h"
#include "codecs/meta/IccProfile.h"
#include "codecs/png/PngImage.h"
#include "i18n/uIdiomes.h"
#include "platform/Bitmap.h"
#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"
#include "raster/StreamResampler.h"

#include <cstring>
#include <optional>

#include <type_traits>

namespace {

// What a caught error says went wrong, in the words of the layer that failed.
QString causeOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EFileError& e) {
        return QString::fromUtf8(e.Reason());
    } catch (const EJPEG& e) {
        return QString::fromUtf8(e.Detail().empty() ? e.what() : e.Detail());
    } catch (const std::bad_alloc&) {
        return QString::fromUtf8(EOutOfMemory().what());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return {};
}

}  // namespace

void TResizeEngine::reportFailure(const QString& name, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        // The write was abandoned at an interrupt: nothing to report, the run
        // stops here.
        abandoned_ = true;
        return;
    } catch (...) {
    }
    lastCause_ = causeOf(error);
    port_.ShowFileError(translate(QStringLiteral("Error redimensionando ")) + name, lastCause_);
}

namespace {

// The target size of a picture of ow x oh, refused when a side rounds to 0:
// an empty picture has nothing to write, and no empty file may be left behind.
void targetSize(const TResizeEngine& engine, int32_t ow, int32_t oh, int32_t& w, int32_t& h) {
    engine.FitTarget(ow, oh, w, h);
    if (w <= 0 || h <= 0) throw EInvalidGraphicOperation("The target size is empty");
}

// Where the rows of the resized picture go, top row first, each valid during
// the call only: into the output raster for the encoders that take a whole
// bitmap, or straight into an encoder, so that no picture is held whole.
class TOutputRows {
public:
    virtual ~TOutputRows() = default;
    // Row y of the target (its width in pixels, opaque).
    virtual void Row(int32_t y, const TColor32* row) = 0;
};

// Rows into a raster already sized to the target.
class TRasterRows : public TOutputRows {
public:
    explicit TRasterRows(TBitmap32& out) : out_(out) {}
    void Row(int32_t y, const TColor32* row) override {
        std::memcpy(out_.ScanLine(y), row, size_t(out_.Width()) * sizeof(TColor32));
    }

private:
    TBitmap32& out_;
};

// Rows straight into the JPEG encoder, which starts at the first row. Rows
// that never became a whole file are dropped with this object.
class TJpegRows : public TOutputRows {
public:
    TJpegRows(TJPEGImage& jpg, int32_t w, int32_t h) : jpg_(jpg), w_(w), h_(h) {}
    ~TJpegRows() override { jpg_.AbandonRows(); }
    TJpegRows(const TJpegRows&) = delete;
    TJpegRows& operator=(const TJpegRows&) = delete;
    void Row(int32_t, const TColor32* row) override {
        if (!jpg_.WritingRows()) jpg_.BeginRows(w_, h_);
        jpg_.WriteRow(reinterpret_cast<const uint32_t*>(row));
    }
    void Finish() { jpg_.EndRows(); }

private:
    TJPEGImage& jpg_;
    int32_t w_, h_;
};

// Rows straight into the PNG encoder of an image prepared with PrepareRows,
// which starts writing to stream at the first row: a picture that sends no
// rows has written nothing.
class TPngRows : public TOutputRows {
public:
    TPngRows(TPngImage& png, TStream& stream) : png_(png), stream_(stream) {}
    void Row(int32_t, const TColor32* row) override {
        if (!begun_) {
            png_.BeginRows(stream_);
            begun_ = true;
        }
        png_.WriteRow(reinterpret_cast<const uint32_t*>(row));
    }

private:
    TPngImage& png_;
    TStream& stream_;
    bool begun_ = false;
};

// Rows turned into sRGB colours on their way to the next rows, for an output
// that does not carry the source's colour profile.
class TColorRows : public TOutputRows {
public:
    TColorRows(TOutputRows& next, TColorStep& color, int32_t w) : next_(next), color_(color), row_(size_t(w)) {}
    void Row(int32_t y, const TColor32* row) override {
        std::memcpy(row_.data(), row, row_.size() * sizeof(uint32_t));
        color_.Convert(row_.data(), int32_t(row_.size()));
        next_.Row(y, reinterpret_cast<const TColor32*>(row_.data()));
    }

private:
    TOutputRows& next_;
    TColorStep& color_;
    std::vector<uint32_t> row_;
};

// The colour step for a picture whose output drops its profile.
std::unique_ptr<TColorStep> colorStepOf(const TPhotoMetadata& meta, const TJPEGImage&) {
    return ColorStepFor(meta.icc);
}
std::unique_ptr<TColorStep> colorStepOf(const TPhotoMetadata& meta, const TPngImage&) {
    if (meta.icc.empty()) return nullptr;
    const auto profile = velmora::meta::IccFromPngChunk(meta.icc);
    return profile ? ColorStepFor(*profile) : nullptr;
}

// Feeds a picture's rows to the resampler kept in slot (TStreamResampler::Reuse),
// whose rows go to out.
class TResampleTarget : public TRowTarget {
public:
    TResampleTarget(std::unique_ptr<TStreamResampler>& slot, int32_t sw, int32_t sh, int32_t w, int32_t h,
                    TOutputRows& out)
        : resampler_(TStreamResampler::Reuse(slot, sw, sh, w, h,
                                             [&out](int32_t y, const TColor32* row) { out.Row(y, row); })) {}
    uint32_t* NextRow() override { return resampler_.NextRow(); }
    void Push() override { resampler_.Push(); }

    // Rows a picture did not send stay 0, as in a raster that was never
    // drawn there.
    void FinishWithBlankRows(int32_t sw) {
        while (!resampler_.Finished()) {
            std::memset(resampler_.NextRow(), 0, size_t(sw) * sizeof(TColor32));
            resampler_.Push();
        }
    }

private:
    TStreamResampler& resampler_;
};

// Decodes the picture row by row straight into the resampler, whose w x h
// rows go to out. False, with nothing decoded or sent, when the picture
// cannot send its rows; the caller then takes the whole-picture route.
bool streamRows(std::unique_ptr<TStreamResampler>& slot, TGraphic& picture, int32_t w, int32_t h, TOutputRows& out) {
    const int32_t sw = picture.Width(), sh = picture.Height();
    if (sw <= 0 || sh <= 0 || !velmora::PixelCountOk(sw, sh)) return false;
    TResampleTarget target(slot, sw, sh, w, h, out);
    if (!picture.DrawOpaqueRows(sw, sh, target)) return false;
    target.FinishWithBlankRows(sw);
    return true;
}

// streamRows into out, already w x h.
bool streamInto(std::unique_ptr<TStreamResampler>& slot, TGraphic& picture, TBitmap32& out) {
    TRasterRows rows(out);
    if (!streamRows(slot, picture, out.Width(), out.Height(), rows)) return false;
    out.Changed();
    return true;
}

}  // namespace

// JPEG and PNG share one shape: the codec object decodes the source and,
// given the resized bitmap, encodes the output.
template <typename Codec>
void TResizeEngine::resizeWith(Codec& codec, TStream& source, TStream& out) {
    codec.LoadFromStream(source);
    const TPhotoMetadata meta = ReadPhotoMetadata(codec);
    // The size rule sees the picture as it is meant to be seen.
    const int orientation = autoOrient ? meta.orientation : 0;
    const bool swap = OrientationSwapsSides(orientation);
    int32_t w = 0, h = 0;
    targetSize(*this, swap ? codec.Height() : codec.Width(), swap ? codec.Width() : codec.Height(), w, h);
    bool withAlpha = false;
    // A picture that needs no turning and no transparency goes from the
    // decoder through the resampler row by row, never whole.
    const bool upright = orientation < 2 || orientation > 8;
    const bool mayHaveAlpha = keepAlpha && codec.Transparent();
    const bool byRows = streaming && upright && !mayHaveAlpha;
    const std::unique_ptr<TColorStep> color = keepMetadata ? nullptr : colorStepOf(meta, codec);
    if constexpr (std::is_same_v<Codec, TJPEGImage>) {
        // A JPEG output is written as its rows come, without an output
        // raster. Sizes the raster cannot hold fail below as they always have.
        if (byRows && velmora::PixelCountOk(w, h) && TJPEGImage::CanWriteRows(w, h)) {
            if (keepMetadata) WritePhotoMetadata(codec, meta, autoOrient, w, h);
            TJpegRows rows(codec, w, h);
            std::optional<TColorRows> colorRows;
            if (color) colorRows.emplace(rows, *color, w);
            if (streamRows(rowResampler_, codec, w, h, colorRows ? static_cast<TOutputRows&>(*colorRows) : rows)) {
                rows.Finish();
                shortData_ = codec.ShortData;
                codec.SaveToStream(out);
                return;
            }
        }
    }
    src->SetSize(w, h);
    if (byRows && streamInto(rowResampler_, codec, *src)) {
        shortData_ = codec.ShortData;
    } else {
        const bool alpha = keepAlpha && AssignWithAlpha(*img, codec);
        if (!alpha) img->Assign(static_cast<TGraphic&>(codec));
        shortData_ = codec.ShortData;  // known once the picture is decoded
        OrientUpright(*img, orientation);
        img->DrawTo(*src, src->BoundsRect());
        if (alpha) Unpremultiply(*src);
        withAlpha = alpha;
    }
    if (color)
        for (int32_t y = 0; y < h; ++y) color->Convert(reinterpret_cast<uint32_t*>(src->ScanLine(y)), w);
    src->AssignTo(*bmp);
    if constexpr (std::is_same_v<Codec, TPngImage>) {
        if (withAlpha)
            codec.AssignWithAlpha(*bmp);
        else
            codec.Assign(*bmp);
    } else {
        codec.Assign(*bmp);
    }
    if (keepMetadata) WritePhotoMetadata(codec, meta, autoOrient, w, h);
    codec.SaveToStream(out);
}

void TResizeEngine::resizeJpgTo(TStream& source, TStream& out) {
    if (quality > 0) jpg->SetCompressionQuality(quality);
    resizeWith(*jpg, source, out);
}

// The row-by-row route of a PNG: the image data stays in the source until
// the resampler takes it row by row, and the resized rows go straight into
// the encoder; neither picture is ever held whole. Pictures that need
// turning, keep their transparency, are interlaced or fail before their
// image data is read go the whole-picture way, which reads the source again
// and so fails, if it does, exactly as it always has.
bool TResizeEngine::resizePngByRows(TStream& source, TStream& out) {
    TPngImage& codec = *png;
    TPhotoMetadata meta;
    int32_t w = 0, h = 0;
    try {
        codec.DeferImageData = true;
        codec.LoadFromStream(source);
        codec.DeferImageData = false;
        meta = ReadPhotoMetadata(codec);
        const int orientation = autoOrient ? meta.orientation : 0;
        const bool upright = orientation < 2 || orientation > 8;
        if (!upright || (keepAlpha && codec.Transparent()) || codec.InterlaceMethod() != TInterlaceMethod::imNone)
            return false;
        targetSize(*this, codec.Width(), codec.Height(), w, h);
        if (!velmora::PixelCountOk(w, h)) return false;
    } catch (...) {
        codec.DeferImageData = false;
        return false;
    }
    TPngImage output;
    output.SetFilters(codec.Filters());
    output.SetCompressionLevel(codec.CompressionLevel());
    output.SetMaxIdatSize(codec.MaxIdatSize());
    output.PrepareRows(w, h);
    if (keepMetadata) WritePhotoMetadata(output, meta, autoOrient, w, h);
    TPngRows rows(output, out);
    const std::unique_ptr<TColorStep> color = keepMetadata ? nullptr : colorStepOf(meta, codec);
    std::optional<TColorRows> colorRows;
    if (color) colorRows.emplace(rows, *color, w);
    if (!streamRows(rowResampler_, codec, w, h, colorRows ? static_cast<TOutputRows&>(*colorRows) : rows)) return false;
    output.EndRows();
    shortData_ = codec.ShortData;
    return true;
}

void TResizeEngine::resizePngTo(TStream& source, TStream& out) {
    if (streaming) {
        const int64_t start = source.Position();
        if (resizePngByRows(source, out)) return;
        source.SetPosition(start);
    }
    resizeWith(*png, source, out);
}

namespace {

// Rows straight into the output file's bytes, all four bytes of each pixel
// (a 32-bit source keeps its alpha, as in the whole-picture route).
class TBmpFileRows : public TOutputRows {
public:
    TBmpFileRows(TBmpFileBytes& file, int32_t w) : file_(file), w_(w) {}
    void Row(int32_t y, const TColor32* row) override { std::memcpy(file_.Row(y), row, size_t(w_) * sizeof(TColor32)); }

private:
    TBmpFileBytes& file_;
    int32_t w_;
};

// A BMP picture read from the source row by row, through the resampler,
// straight into the output file's bytes: neither the source nor the resized
// picture is held whole. False, with the source back where it was, when the
// picture is read whole only (run-length data).
bool resizeBmpRows(const TResizeEngine& engine, std::unique_ptr<TStreamResampler>& slot, TStream& source,
                   TStream& result, bool& shortData) {
    const int64_t start = source.Position();
    TBmpRowReader reader(source);
    if (!reader.CanSendRows()) {
        source.SetPosition(start);
        return false;
    }
    shortData = reader.ShortData();
    int32_t w = 0, h = 0;
    targetSize(engine, reader.Width(), reader.Height(), w, h);
    // The sizes the whole-picture route's target raster refuses, refused
    // with its error.
    if (!velmora::PixelCountOk(w, h)) throw EBitmapException("Can't allocate the DIB handle");
    std::optional<TBmpFileBytes> file;
    try {
        file.emplace(w, h);
    } catch (const std::bad_alloc&) {
        throw EBitmapException("Can't allocate the DIB handle");
    }
    TBmpFileRows out(*file, w);
    TResampleTarget target(slot, reader.Width(), reader.Height(), w, h, out);
    reader.SendRows(target);
    const std::vector<uint8_t> bytes = file->Take();
    result.WriteBuffer(bytes.data(), bytes.size());
    return true;
}

}  // namespace

void TResizeEngine::resizeBmpTo(TStream& source, TStream& out) {
    if (streaming && resizeBmpRows(*this, rowResampler_, source, out, shortData_)) return;
    img->LoadFromStream(source);
    shortData_ = img->ShortData;
    int32_t w = 0, h = 0;
    targetSize(*this, img->Width(), img->Height(), w, h);
    src->SetSize(w, h);
    img->DrawTo(*src, src->BoundsRect());
    src->AssignTo(*bmp);
    SaveBmp(*bmp, out);
}

namespace {

// A pipeline step's output in memory.
std::vector<uint8_t> bytesOf(TResizeEngine& engine, TResizeEngine::TStreamStep step, TStream& source) {
    TMemoryStream out;
    (engine.*step)(source, out);
    return out.TakeBytes();
}

}  // namespace

std::vector<uint8_t> TResizeEngine::resizeJpgFrom(TStream& source) {
    return bytesOf(*this, &TResizeEngine::resizeJpgTo, source);
}

std::vector<uint8_t> TResizeEngine::resizePngFrom(TStream& source) {
    return bytesOf(*this, &TResizeEngine::resizePngTo, source);
}

std::vector<uint8_t> TResizeEngine::resizeBmpFrom(TStream& source) {
    return bytesOf(*this, &TResizeEngine::resizeBmpTo, source);
}

std::vector<uint8_t> TResizeEngine::resizeJpgBytes(std::vector<uint8_t> source) {
    TMemoryStream in(std::move(source));
    return resizeJpgFrom(in);
}

std::vector<uint8_t> TResizeEngine::resizePngBytes(std::vector<uint8_t> source) {
    TMemoryStream in(std::move(source));
    return resizePngFrom(in);
}

std::vector<uint8_t> TResizeEngine::resizeBmpBytes(std::vector<uint8_t> source) {
    TMemoryStream in(std::move(source));
    return resizeBmpFrom(in);
}

std::vector<uint8_t> TResizeEngine::resizeBytesAs(const QString& name, std::vector<uint8_t> source) {
    TMemoryStream in(std::move(source));
    sourceName_ = name;
    return bytesOf(*this, &TResizeEngine::resizeAnyTo, in);
}

std::unique_ptr<TReplacingFileStream> TResizeEngine::resizeToFile(const QString& name, TStreamStep step) {
    if (!target_.isEmpty()) makeTargetFolder();
    auto out =
        std::make_unique<TReplacingFileStream>(velmora::EncodePath(target_.isEmpty() ? OutputPath(name) : target_));
    TFileStream in(velmora::EncodePath(name));
    sourceName_ = name;
    if (!noEnlarge || !copySmall(name, in, *out)) (this->*step)(in, *out);
    return out;
}

std::vector<uint8_t> TResizeEngine::resizeFromFile(const QString& name, TStreamStep step) {
    TFileStream in(velmora::EncodePath(name));
    sourceName_ = name;
    TMemoryStream out;
    if (!noEnlarge || !copySmall(name, in, out)) (this->*step)(in, out);
    return out.TakeBytes();
}

// The file edge of every pipeline: the step reads the source from the file
// and writes the output into a file that takes the target's name only when
// complete, so a source that is also the target has been read to its end
// before the output replaces it. Any failure is reported for the file and the
// run goes on.
bool TResizeEngine::resizeFile(const QString& name, TStreamStep step) {
    try {
        resizeToFile(name, step)->Commit();
        return true;
    } catch (...) {
        reportFailure(name, std::current_exception());
        return false;
    }
}

bool TResizeEngine::resizeJpg(const QString& name) { return resizeFile(name, &TResizeEngine::resizeJpgTo); }

bool TResizeEngine::resizePng(const QString& name) { return resizeFile(name, &TResizeEngine::resizePngTo); }

bool TResizeEngine::resizeBmp(const QString& name) { return resizeFile(name, &TResizeEngine::resizeBmpTo); }
