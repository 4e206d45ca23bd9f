// The WebP writer: rows are collected (RGB, or B, G, R, A as they come when
// the alpha is kept), encoded in one go by libwebp on one thread, and the
// ICC profile, EXIF and XMP are added as chunks of the extended format.
#include "codecs/webp/WebpFormat.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kDefaultQuality = 80;

std::string EncodeErrorText(WebPEncodingError error) {
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "bad dimension";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "partition overflow";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "file too big";
    default: return "error " + std::to_string(int(error));
    }
}

struct TPictureFree {
    void operator()(WebPPicture* p) const { WebPPictureFree(p); }
};
struct TMuxDelete {
    void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};

class TWebpWriter final : public TPictureWriter {
public:
    ~TWebpWriter() override { WebPMemoryWriterClear(&encoded_); }
    void Begin(int32_t width, int32_t height, const TPictureMetadata& metadata, const TWriteSettings& settings,
               TStream& out) override;
    void WriteRow(const uint32_t* row) override;
    void End() override;

private:
    // The encoded picture with the metadata chunks added.
    void WriteWithChunks();

    int32_t width_ = 0, height_ = 0, rows_ = 0;
    TPictureMetadata metadata_;
    TWriteSettings settings_;
    TStream* out_ = nullptr;
    std::vector<uint8_t> pixels_;
    WebPMemoryWriter encoded_{};
};

void TWebpWriter::Begin(int32_t width, int32_t height, const TPictureMetadata& metadata, const TWriteSettings& settings,
                        TStream& out) {
    if (width <= 0 || height <= 0) throw EWebpError(std::string(kWebpEncodeFailed) + ": bad dimension");
    if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION) throw EWebpError(kWebpTooLargeToWrite);
    width_ = width;
    height_ = height;
    rows_ = 0;
    metadata_ = metadata;
    settings_ = settings;
    out_ = &out;
    pixels_.assign(size_t(width) * size_t(height) * (settings.alpha ? 4 : 3), 0);
    WebPMemoryWriterInit(&encoded_);
}

void TWebpWriter::WriteRow(const uint32_t* row) {
    if (rows_ >= height_) return;
    if (settings_.alpha) {
        std::memcpy(pixels_.data() + size_t(rows_) * size_t(width_) * 4, row, size_t(width_) * 4);
    } else {
        uint8_t* p = pixels_.data() + size_t(rows_) * size_t(width_) * 3;
        for (int32_t x = 0; x < width_; ++x, p += 3) {
            p[0] = uint8_t(row[x] >> 16);
            p[1] = uint8_t(row[x] >> 8);
            p[2] = uint8_t(row[x]);
        }
    }
    ++rows_;
}

void TWebpWriter::End() {
    if (!out_ || rows_ != height_) throw EWebpError(std::string(kWebpEncodeFailed) + ": rows missing");
    WebPConfig config;
    if (!WebPConfigInit(&config)) throw EWebpError(kWebpEncodeFailed);
    if (settings_.lossless) {
        // Lossless keeps every value, the colour under transparent pixels too.
        config.lossless = 1;
        config.exact = 1;
    } else {
        config.quality = float(settings_.quality > 0 ? std::min(settings_.quality, 100) : kDefaultQuality);
    }
    config.thread_level = 0;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) throw EWebpError(kWebpEncodeFailed);
    std::unique_ptr<WebPPicture, TPictureFree> owned(&picture);
    picture.width = width_;
    picture.height = height_;
    picture.use_argb = config.lossless;
    const bool imported = settings_.alpha ? WebPPictureImportBGRA(&picture, pixels_.data(), width_ * 4)
                                          : WebPPictureImportRGB(&picture, pixels_.data(), width_ * 3);
    std::vector<uint8_t>().swap(pixels_);
    if (!imported) throw EWebpError(std::string(kWebpEncodeFailed) + ": " + EncodeErrorText(picture.error_code));
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &encoded_;
    if (!WebPEncode(&config, &picture))
        throw EWebpError(std::string(kWebpEncodeFailed) + ": " + EncodeErrorText(picture.error_code));
    owned.reset();
    if (metadata_.icc.empty() && metadata_.exif.empty() && metadata_.xmp.empty())
        out_->WriteBuffer(encoded_.mem, encoded_.size);
    else
        WriteWithChunks();
    WebPMemoryWriterClear(&encoded_);
}

void TWebpWriter::WriteWithChunks() {
    const WebPData image{encoded_.mem, encoded_.size};
    std::unique_ptr<WebPMux, TMuxDelete> mux(WebPMuxCreate(&image, 0));
    if (!mux) throw EWebpError(std::string(kWebpEncodeFailed) + ": metadata");
    const auto set = [&](const char* tag, const std::vector<uint8_t>& bytes) {
        if (bytes.empty()) return;
        const WebPData chunk{bytes.data(), bytes.size()};
        if (WebPMuxSetChunk(mux.get(), tag, &chunk, 0) != WEBP_MUX_OK)
            throw EWebpError(std::string(kWebpEncodeFailed) + ": metadata");
    };
    set("ICCP", metadata_.icc);
    set("EXIF", metadata_.exif);
    // The format holds one XMP packet: the first one.
    for (const auto& packet : metadata_.xmp)
        if (!packet.empty()) {
            set("XMP ", packet);
            break;
        }
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK)
        throw EWebpError(std::string(kWebpEncodeFailed) + ": metadata");
    try {
        out_->WriteBuffer(assembled.bytes, assembled.size);
    } catch (...) {
        WebPDataClear(&assembled);
        throw;
    }
    WebPDataClear(&assembled);
}

}  // namespace

std::unique_ptr<TPictureWriter> NewWebpWriter() { return std::make_unique<TWebpWriter>(); }
