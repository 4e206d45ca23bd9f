// The AVIF writer: rows are collected into one 8-bit interleaved RGB(A)
// picture, which libheif converts to YCbCr 4:2:0 and hands to its AV1 encoder
// (aom) in End. The EXIF block, the XMP packets and the ICC profile are
// carried as HEIF items and a `colr` profile.
#include "codecs/heif/HeifErrors.h"
#include "codecs/heif/HeifFormat.h"

#include <libheif/heif.h>

#include <cstring>
#include <string>

namespace {

// Quality on libheif's scale (0..100) when the settings ask for none.
constexpr int kDefaultQuality = 60;
// aom's speed preset (0 slowest .. 9 fastest): 8 keeps a 3-megapixel
// picture within about a second on one core at little cost in size.
constexpr int kEncoderSpeed = 8;

struct TContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct TImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TEncoderRelease {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct THandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TEncodingOptionsFree {
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};

// Any libheif failure while writing is the writer's one error, with the cause.
void Check(const heif_error& err) {
    if (err.code == heif_error_Ok) return;
    std::string message = kAvifWriteFailed;
    if (err.message != nullptr && err.message[0] != '\0') message += std::string(": ") + err.message;
    throw EHeifError(message);
}

// Carries libheif's output into the stream; a failing stream ends the write
// with libheif's own error instead of an exception crossing the C library.
struct TOutput {
    TStream* stream = nullptr;
    bool failed = false;
};

heif_error WriteOut(heif_context*, const void* data, size_t size, void* user) {
    auto* out = static_cast<TOutput*>(user);
    try {
        out->stream->WriteBuffer(data, size);
    } catch (...) {
        out->failed = true;
        return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "the output could not be written"};
    }
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

class TAvifWriter final : public TPictureWriter {
public:
    void Begin(int32_t width, int32_t height, const TPictureMetadata& metadata, const TWriteSettings& settings,
               TStream& out) override;
    void WriteRow(const uint32_t* row) override;
    void End() override;

private:
    std::unique_ptr<heif_image, TImageRelease> image_;
    uint8_t* plane_ = nullptr;
    int stride_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t row_ = 0;
    TPictureMetadata metadata_;
    TWriteSettings settings_;
    TStream* out_ = nullptr;
};

void TAvifWriter::Begin(int32_t width, int32_t height, const TPictureMetadata& metadata, const TWriteSettings& settings,
                        TStream& out) {
    if (width <= 0 || height <= 0 || int64_t(width) * height > kHeifMaxPixels || width >= kHeifMaxSide ||
        height >= kHeifMaxSide)
        throw EHeifError(std::string(kAvifWriteFailed) + ": the picture size cannot be written");
    heif_image* image = nullptr;
    Check(heif_image_create(width, height, heif_colorspace_RGB,
                            settings.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image));
    image_.reset(image);
    Check(heif_image_add_plane(image, heif_channel_interleaved, width, height, 8));
    plane_ = heif_image_get_plane(image, heif_channel_interleaved, &stride_);
    if (plane_ == nullptr) throw EHeifError(kAvifWriteFailed);
    width_ = width;
    height_ = height;
    row_ = 0;
    metadata_ = metadata;
    settings_ = settings;
    out_ = &out;
}

void TAvifWriter::WriteRow(const uint32_t* row) {
    if (!image_ || row_ >= height_) throw EHeifError(kAvifWriteFailed);
    uint8_t* dst = plane_ + size_t(row_) * size_t(stride_);
    if (settings_.alpha) {
        for (int32_t x = 0; x < width_; ++x, dst += 4) {
            const uint32_t p = row[x];
            dst[0] = uint8_t(p >> 16);
            dst[1] = uint8_t(p >> 8);
            dst[2] = uint8_t(p);
            dst[3] = uint8_t(p >> 24);
        }
    } else {
        for (int32_t x = 0; x < width_; ++x, dst += 3) {
            const uint32_t p = row[x];
            dst[0] = uint8_t(p >> 16);
            dst[1] = uint8_t(p >> 8);
            dst[2] = uint8_t(p);
        }
    }
    ++row_;
}

void TAvifWriter::End() {
    if (!image_ || row_ != height_) throw EHeifError(kAvifWriteFailed);
    std::unique_ptr<heif_context, TContextFree> context(heif_context_alloc());
    if (!context) throw EHeifError(kAvifWriteFailed);
    heif_encoder* encoder = nullptr;
    Check(heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &encoder));
    const std::unique_ptr<heif_encoder, TEncoderRelease> encoderOwner(encoder);
    Check(heif_encoder_set_lossy_quality(encoder, settings_.quality > 0 ? settings_.quality : kDefaultQuality));
    Check(heif_encoder_set_parameter_integer(encoder, "speed", kEncoderSpeed));
    // One thread: the batch runs one picture per core, and the output is the
    // same on every machine.
    Check(heif_encoder_set_parameter_integer(encoder, "threads", 1));

    if (!metadata_.icc.empty())
        Check(heif_image_set_raw_color_profile(image_.get(), "prof", metadata_.icc.data(), metadata_.icc.size()));
    const std::unique_ptr<heif_encoding_options, TEncodingOptionsFree> options(heif_encoding_options_alloc());
    if (!options) throw EHeifError(kAvifWriteFailed);
    options->save_alpha_channel = settings_.alpha ? 1 : 0;
    // With an ICC profile the colour matrix still has to be known to readers.
    options->save_two_colr_boxes_when_ICC_and_nclx_available = 1;

    heif_image_handle* handle = nullptr;
    Check(heif_context_encode_image(context.get(), image_.get(), encoder, options.get(), &handle));
    const std::unique_ptr<heif_image_handle, THandleRelease> handleOwner(handle);
    image_.reset();

    if (!metadata_.exif.empty())
        Check(heif_context_add_exif_metadata(context.get(), handle, metadata_.exif.data(), int(metadata_.exif.size())));
    for (const std::vector<uint8_t>& packet : metadata_.xmp)
        if (!packet.empty())
            Check(heif_context_add_XMP_metadata(context.get(), handle, packet.data(), int(packet.size())));

    TOutput output{out_, false};
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = WriteOut;
    const heif_error written = heif_context_write(context.get(), &writer, &output);
    if (output.failed) throw EWriteError();
    Check(written);
}

}  // namespace

std::unique_ptr<TPictureWriter> NewAvifWriter() { return std::make_unique<TAvifWriter>(); }
