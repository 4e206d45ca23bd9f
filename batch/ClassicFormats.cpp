#include "batch/ClassicFormats.h"

#include "batch/PhotoSteps.h"
#include "codecs/bmp/BmpFile.h"
#include "codecs/bmp/BmpRows.h"
#include "codecs/jpeg/JPEGImage.h"
#include "codecs/meta/Exif.h"
#include "codecs/meta/IccProfile.h"
#include "codecs/png/PngFormat.h"
#include "codecs/png/PngImage.h"
#include "platform/Bitmap.h"
#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

using namespace velmora::meta;

namespace {

constexpr char kXmpNamespace[] = "http://ns.adobe.com/xap/1.0/";  // with its zero: the APP1 prefix
constexpr char kXmpKeyword[] = "XML:com.adobe.xmp";

// Sends the rows of a whole raster.
void sendRaster(const TBitmap32& img, TRowTarget& target) {
    const size_t bytes = size_t(img.Width()) * sizeof(TColor32);
    for (int32_t y = 0; y < img.Height(); ++y) {
        std::memcpy(target.NextRow(), img.ScanLine(y), bytes);
        target.Push();
    }
}

// Alpha of every pixel set to 255 on its way to the next target.
class TOpaqueTarget : public TRowTarget {
public:
    TOpaqueTarget(TRowTarget& next, int32_t width) : next_(next), width_(width) {}
    uint32_t* NextRow() override { return row_ = next_.NextRow(); }
    void Push() override {
        for (int32_t x = 0; x < width_; ++x) row_[x] |= 0xFF000000u;
        next_.Push();
    }

private:
    TRowTarget& next_;
    int32_t width_;
    uint32_t* row_ = nullptr;
};

// ---------------------------------------------------------------- JPEG

class TJpegReader : public TPictureReader {
public:
    void ReadHeader(TStream& source) override {
        jpg_.LoadFromStream(source);
        const TPhotoMetadata photo = ReadPhotoMetadata(jpg_);
        meta_.orientation = photo.orientation;
        meta_.exif = photo.exif;
        meta_.icc = photo.icc;
        // The main packet only: extension parts are tied to the segments.
        for (const auto& payload : photo.xmp)
            if (payload.size() > sizeof kXmpNamespace &&
                std::memcmp(payload.data(), kXmpNamespace, sizeof kXmpNamespace) == 0)
                meta_.xmp.emplace_back(payload.begin() + sizeof kXmpNamespace, payload.end());
        width_ = jpg_.Width();
        height_ = jpg_.Height();
        if (width_ <= 0 || height_ <= 0) throw EInvalidGraphic("the picture is empty");
    }
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    bool HasAlpha() const override { return false; }
    const TPictureMetadata& Metadata() const override { return meta_; }
    void ReadRows(TRowTarget& target) override {
        if (!jpg_.DrawOpaqueRows(width_, height_, target)) {
            TBitmap32 img;
            img.Assign(static_cast<TGraphic&>(jpg_));
            sendRaster(img, target);
        }
        shortData_ = jpg_.ShortData;
    }
    bool ShortData() const override { return shortData_; }

private:
    TJPEGImage jpg_;
    TPictureMetadata meta_;
    int32_t width_ = 0, height_ = 0;
    bool shortData_ = false;
};

class TJpegWriter : public TPictureWriter {
public:
    void Begin(int32_t width, int32_t height, const TPictureMetadata& metadata, const TWriteSettings& settings,
               TStream& out) override {
        if (!TJPEGImage::CanWriteRows(width, height)) throw EInvalidGraphic("the picture is too large for a JPEG file");
        out_ = &out;
        if (settings.quality > 0) jpg_.SetCompressionQuality(settings.quality);
        jpg_.SetProgressiveEncoding(false);
        std::vector<TJPEGMarker> markers;
        if (!metadata.exif.empty()) {
            TJPEGMarker m{0xE1, std::vector<uint8_t>(kExifPrefix, kExifPrefix + sizeof kExifPrefix)};
            m.Data.insert(m.Data.end(), metadata.exif.begin(), metadata.exif.end());
            markers.push_back(std::move(m));
        }
        for (const auto& packet : metadata.xmp) {
            TJPEGMarker m{0xE1, std::vector<uint8_t>(kXmpNamespace, kXmpNamespace + sizeof kXmpNamespace)};
            m.Data.insert(m.Data.end(), packet.begin(), packet.end());
            markers.push_back(std::move(m));
        }
        if (!metadata.icc.empty())
            for (auto& payload : SplitIccProfile(metadata.icc))
                markers.push_back(TJPEGMarker{0xE2, std::move(payload)});
        jpg_.SetExtraMarkers(std::move(markers));
        jpg_.BeginRows(width, height);
    }
    void WriteRow(const uint32_t* row) override { jpg_.WriteRow(row); }
    void End() override {
        jpg_.EndRows();
        jpg_.SaveToStream(*out_);
    }
    ~TJpegWriter() override { jpg_.AbandonRows(); }

private:
    TJPEGImage jpg_;
    TStream* out_ = nullptr;
};

// ---------------------------------------------------------------- PNG

// The text of an uncompressed XMP iTXt chunk; nullopt otherwise.
std::optional<std::vector<uint8_t>> xmpFromTextChunk(const std::vector<uint8_t>& data) {
    // keyword 0, compression flag, method, language 0, translated keyword 0, text
    auto p = std::find(data.begin(), data.end(), uint8_t(0));
    if (p == data.end() || data.end() - p < 3 || p[1] != 0) return std::nullopt;
    p = std::find(p + 3, data.end(), uint8_t(0));
    if (p == data.end()) return std::nullopt;
    p = std::find(p + 1, data.end(), uint8_t(0));
    if (p == data.end()) return std::nullopt;
    return std::vector<uint8_t>(p + 1, data.end());
}

class TPngReader : public TPictureReader {
public:
    void ReadHeader(TStream& source) override {
        source_ = &source;
        start_ = source.Position();
        png_.DeferImageData = true;
        png_.LoadFromStream(source);
        png_.DeferImageData = false;
        const TPhotoMetadata photo = ReadPhotoMetadata(png_);
        meta_.orientation = photo.orientation;
        meta_.exif = photo.exif;
        if (!photo.icc.empty())
            if (auto profile = IccFromPngChunk(photo.icc)) meta_.icc = std::move(*profile);
        for (const auto& text : photo.xmp)
            if (auto packet = xmpFromTextChunk(text)) meta_.xmp.push_back(std::move(*packet));
        width_ = png_.Width();
        height_ = png_.Height();
        alpha_ = png_.Transparent();
    }
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    bool HasAlpha() const override { return alpha_; }
    const TPictureMetadata& Metadata() const override { return meta_; }
    void ReadRows(TRowTarget& target) override {
        if (!alpha_ && png_.DrawOpaqueRows(width_, height_, target)) {
            shortData_ = png_.ShortData;
            return;
        }
        // Interlaced or transparent pictures are decoded whole.
        source_->SetPosition(start_);
        png_.LoadFromStream(*source_);
        if (png_.Width() != width_ || png_.Height() != height_) throw EInvalidGraphic("Stream read error");
        TBitmap32 img;
        if (alpha_) {
            img.SetSize(width_, height_);
            TCanvas canvas = img.Canvas();
            png_.DrawWithAlpha(canvas);
            img.Changed();
            Unpremultiply(img);
        } else {
            img.Assign(static_cast<TGraphic&>(png_));
        }
        shortData_ = png_.ShortData;
        sendRaster(img, target);
    }
    bool ShortData() const override { return shortData_; }

private:
    TPngImage png_;
    TPictureMetadata meta_;
    TStream* source_ = nullptr;
    int64_t start_ = 0;
    int32_t width_ = 0, height_ = 0;
    bool alpha_ = false;
    bool shortData_ = false;
};

// iTXt chunk data for an XMP packet, uncompressed.
std::vector<uint8_t> xmpTextChunk(const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> data(kXmpKeyword, kXmpKeyword + sizeof kXmpKeyword);  // keyword and its zero
    const uint8_t rest[] = {0, 0, 0, 0};  // no compression, method 0, no language, no translated keyword
    data.insert(data.end(), rest, rest + sizeof rest);
    data.insert(data.end(), packet.begin(), packet.end());
    return data;
}

class TPngWriter : public TPictureWriter {
public:
    void Begin(int32_t width, int32_t height, const TPictureMetadata& metadata, const TWriteSettings& settings,
               TStream& out) override {
        out_ = &out;
        alpha_ = settings.alpha;
        width_ = width;
        height_ = height;
        TPhotoMetadata photo;
        photo.exif = metadata.exif;
        if (!metadata.icc.empty()) photo.icc = PngChunkFromIcc(metadata.icc);
        for (const auto& packet : metadata.xmp) photo.xmp.push_back(xmpTextChunk(packet));
        if (alpha_) {
            if (!velmora::PixelCountOk(width, height)) throw EBitmapException("Can't allocate the DIB handle");
            bitmap_.SetPixelFormat(TPixelFormat::pf32bit);
            bitmap_.SetSize(width, height);
            photo_ = std::move(photo);
            return;
        }
        png_.PrepareRows(width, height);
        WritePhotoMetadata(png_, photo, false, 0, 0);
        png_.BeginRows(out);
    }
    void WriteRow(const uint32_t* row) override {
        if (!alpha_) {
            png_.WriteRow(row);
            return;
        }
        std::memcpy(bitmap_.ScanLine(y_++), row, size_t(width_) * 4);
    }
    void End() override {
        if (!alpha_) {
            png_.EndRows();
            return;
        }
        png_.AssignWithAlpha(bitmap_);
        WritePhotoMetadata(png_, photo_, false, 0, 0);
        png_.SaveToStream(*out_);
    }

private:
    TPngImage png_;
    TBitmap bitmap_;
    TPhotoMetadata photo_;
    TStream* out_ = nullptr;
    int32_t width_ = 0, height_ = 0, y_ = 0;
    bool alpha_ = false;
};

// ---------------------------------------------------------------- BMP

class TBmpReader : public TPictureReader {
public:
    void ReadHeader(TStream& source) override {
        source_ = &source;
        start_ = source.Position();
        rows_.emplace(source);
        if (rows_->CanSendRows()) {
            width_ = rows_->Width();
            height_ = rows_->Height();
            return;
        }
        source.SetPosition(start_);
        whole_.LoadFromStream(source);
        width_ = whole_.Width();
        height_ = whole_.Height();
    }
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    bool HasAlpha() const override { return false; }
    const TPictureMetadata& Metadata() const override { return meta_; }
    void ReadRows(TRowTarget& target) override {
        TOpaqueTarget opaque(target, width_);
        if (rows_->CanSendRows()) {
            rows_->SendRows(opaque);
            shortData_ = rows_->ShortData();
        } else {
            sendRaster(whole_, opaque);
            shortData_ = whole_.ShortData;
        }
    }
    bool ShortData() const override { return shortData_; }

private:
    TStream* source_ = nullptr;
    int64_t start_ = 0;
    std::optional<TBmpRowReader> rows_;
    TBitmap32 whole_;
    TPictureMetadata meta_;
    int32_t width_ = 0, height_ = 0;
    bool shortData_ = false;
};

class TBmpWriter : public TPictureWriter {
public:
    void Begin(int32_t width, int32_t height, const TPictureMetadata&, const TWriteSettings&, TStream& out) override {
        if (!velmora::PixelCountOk(width, height)) throw EBitmapException("Can't allocate the DIB handle");
        try {
            file_.emplace(width, height);
        } catch (const std::bad_alloc&) {
            throw EBitmapException("Can't allocate the DIB handle");
        }
        out_ = &out;
        width_ = width;
    }
    void WriteRow(const uint32_t* row) override { std::memcpy(file_->Row(y_++), row, size_t(width_) * 4); }
    void End() override {
        const std::vector<uint8_t> bytes = file_->Take();
        out_->WriteBuffer(bytes.data(), bytes.size());
    }

private:
    std::optional<TBmpFileBytes> file_;
    TStream* out_ = nullptr;
    int32_t width_ = 0, y_ = 0;
};

}  // namespace

bool IsJpeg(const uint8_t* head, size_t n) { return n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF; }

bool IsPng(const uint8_t* head, size_t n) {
    return n >= sizeof kPngSignature && std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0;
}

bool IsBmp(const uint8_t* head, size_t n) { return n >= 2 && head[0] == 'B' && head[1] == 'M'; }

std::unique_ptr<TPictureReader> NewJpegReader() { return std::make_unique<TJpegReader>(); }
std::unique_ptr<TPictureReader> NewPngReader() { return std::make_unique<TPngReader>(); }
std::unique_ptr<TPictureReader> NewBmpReader() { return std::make_unique<TBmpReader>(); }
std::unique_ptr<TPictureWriter> NewJpegWriter() { return std::make_unique<TJpegWriter>(); }
std::unique_ptr<TPictureWriter> NewPngWriter() { return std::make_unique<TPngWriter>(); }
std::unique_ptr<TPictureWriter> NewBmpWriter() { return std::make_unique<TBmpWriter>(); }
