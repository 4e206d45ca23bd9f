// The HEIC/HEIF and AVIF reader. libheif needs the whole file: it is read into
// memory once and parsed in place; the primary picture is decoded whole, with
// its rotation, mirroring and cropping applied by libheif, straight into 8-bit
// interleaved RGB(A), then handed on row by row.
#include "codecs/heif/HeifErrors.h"
#include "codecs/heif/HeifFormat.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

void ThrowOnHeifError(const heif_error& err) {
    if (err.code == heif_error_Ok) return;
    const char* text = kHeifDamaged;
    switch (err.code) {
    case heif_error_Unsupported_filetype: text = kHeifNotHeif; break;
    case heif_error_Unsupported_feature: text = kHeifUnsupported; break;
    case heif_error_Memory_allocation_error:
        text = err.subcode == heif_suberror_Security_limit_exceeded ? kHeifOverLimit : kHeifNoMemory;
        break;
    case heif_error_Invalid_input:
        switch (err.subcode) {
        case heif_suberror_End_of_data: text = kHeifTruncated; break;
        case heif_suberror_No_ftyp_box: text = kHeifNotHeif; break;
        case heif_suberror_No_meta_box:
        case heif_suberror_No_pitm_box:
        case heif_suberror_No_item_data:
        case heif_suberror_Missing_grid_images:
        case heif_suberror_No_or_invalid_primary_item: text = kHeifNoPicture; break;
        default: break;
        }
        break;
    default: break;
    }
    std::string message = text;
    if (err.message != nullptr && err.message[0] != '\0') message += std::string(": ") + err.message;
    throw EHeifError(message);
}

namespace {

struct TContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TOptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// True when the file's top-level boxes declare more bytes than there are: a
// cut file, whatever part of it libheif then finds missing.
bool BoxesRunPastEnd(const std::vector<uint8_t>& file) {
    const size_t n = file.size();
    size_t pos = 0;
    while (pos + 8 <= n) {
        const uint8_t* p = file.data() + pos;
        uint64_t size = uint64_t(p[0]) << 24 | uint64_t(p[1]) << 16 | uint64_t(p[2]) << 8 | p[3];
        if (size == 0) return false;  // the last box, up to the end
        if (size == 1) {
            if (pos + 16 > n) return true;
            size = 0;
            for (int i = 8; i < 16; ++i) size = size << 8 | p[i];
        }
        if (size < 8) return false;
        if (size > n - pos) return true;
        pos += size_t(size);
    }
    return pos != n;
}

bool StartsTiff(const uint8_t* p, size_t n) {
    return n >= 4 && (std::memcmp(p, "II*\0", 4) == 0 || std::memcmp(p, "MM\0*", 4) == 0);
}

class THeifReader final : public TPictureReader {
public:
    void ReadHeader(TStream& source) override;
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    bool HasAlpha() const override { return alpha_; }
    const TPictureMetadata& Metadata() const override { return metadata_; }
    void ReadRows(TRowTarget& target) override;

private:
    // The bytes of one metadata item, or empty when it is larger than the file
    // (overlapping extents can declare any size) or cannot be read.
    std::vector<uint8_t> MetadataBlock(heif_item_id id) const;
    void ReadMetadata();

    std::vector<uint8_t> bytes_;
    std::unique_ptr<heif_context, TContextFree> context_;
    std::unique_ptr<heif_image_handle, THandleRelease> handle_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool alpha_ = false;
    TPictureMetadata metadata_;
};

void THeifReader::ReadHeader(TStream& source) {
    const int64_t size = source.Remaining();
    if (size < 12) throw EHeifError(kHeifNotHeif);
    if (size > int64_t(INT32_MAX)) throw EHeifError(kHeifOverLimit);
    bytes_.resize(size_t(size));
    source.ReadBuffer(bytes_.data(), bytes_.size());
    if (!IsHeif(bytes_.data(), std::min<size_t>(bytes_.size(), 64))) throw EHeifError(kHeifNotHeif);

    context_.reset(heif_context_alloc());
    if (!context_) throw EHeifError(kHeifNoMemory);
    heif_context_set_maximum_image_size_limit(context_.get(), kHeifMaxSide);
    heif_error err = heif_context_read_from_memory_without_copy(context_.get(), bytes_.data(), bytes_.size(), nullptr);
    if (err.code != heif_error_Ok && BoxesRunPastEnd(bytes_)) {
        err.code = heif_error_Invalid_input;
        err.subcode = heif_suberror_End_of_data;
    }
    ThrowOnHeifError(err);
    heif_image_handle* handle = nullptr;
    ThrowOnHeifError(heif_context_get_primary_image_handle(context_.get(), &handle));
    handle_.reset(handle);

    // The declared size (a grid's whole canvas, after rotation and cropping)
    // decides before anything is decoded; so does the coded size before them.
    const int w = heif_image_handle_get_width(handle), h = heif_image_handle_get_height(handle);
    const int iw = heif_image_handle_get_ispe_width(handle), ih = heif_image_handle_get_ispe_height(handle);
    if (w <= 0 || h <= 0) throw EHeifError(kHeifNoPicture);
    if (int64_t(w) * h > kHeifMaxPixels || int64_t(std::max(iw, 0)) * std::max(ih, 0) > kHeifMaxPixels)
        throw EHeifError(kHeifTooLarge);
    width_ = w;
    height_ = h;
    alpha_ = heif_image_handle_has_alpha_channel(handle) != 0;
    ReadMetadata();
}

std::vector<uint8_t> THeifReader::MetadataBlock(heif_item_id id) const {
    const size_t n = heif_image_handle_get_metadata_size(handle_.get(), id);
    if (n == 0 || n > bytes_.size()) return {};
    std::vector<uint8_t> block(n);
    if (heif_image_handle_get_metadata(handle_.get(), id, block.data()).code != heif_error_Ok) return {};
    return block;
}

void THeifReader::ReadMetadata() {
    heif_image_handle* handle = handle_.get();
    // The EXIF item starts with the big-endian offset of the TIFF header from
    // the end of that field; writers often put "Exif\0\0" in between.
    if (heif_image_handle_get_number_of_metadata_blocks(handle, "Exif") > 0) {
        heif_item_id id = 0;
        heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1);
        const std::vector<uint8_t> block = MetadataBlock(id);
        if (block.size() > 4) {
            const uint64_t skip =
                uint64_t(block[0]) << 24 | uint64_t(block[1]) << 16 | uint64_t(block[2]) << 8 | block[3];
            size_t start = skip <= block.size() - 4 ? size_t(4 + skip) : block.size();
            if (block.size() - start >= 6 && std::memcmp(block.data() + start, "Exif\0\0", 6) == 0) start += 6;
            if (StartsTiff(block.data() + start, block.size() - start))
                metadata_.exif.assign(block.begin() + std::ptrdiff_t(start), block.end());
        }
    }
    const int mimeCount = heif_image_handle_get_number_of_metadata_blocks(handle, "mime");
    if (mimeCount > 0) {
        std::vector<heif_item_id> ids(static_cast<size_t>(mimeCount));
        heif_image_handle_get_list_of_metadata_block_IDs(handle, "mime", ids.data(), mimeCount);
        for (heif_item_id id : ids) {
            const char* type = heif_image_handle_get_metadata_content_type(handle, id);
            if (type == nullptr || std::strcmp(type, "application/rdf+xml") != 0) continue;
            std::vector<uint8_t> packet = MetadataBlock(id);
            if (!packet.empty()) metadata_.xmp.push_back(std::move(packet));
        }
    }
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        const size_t n = heif_image_handle_get_raw_color_profile_size(handle);
        if (n >= 128 && n <= bytes_.size()) {
            std::vector<uint8_t> icc(n);
            if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok &&
                std::memcmp(icc.data() + 16, "RGB ", 4) == 0)
                metadata_.icc = std::move(icc);
        }
    }
}

void THeifReader::ReadRows(TRowTarget& target) {
    if (!handle_) throw EHeifError(kHeifNoPicture);
    std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
    if (!options) throw EHeifError(kHeifNoMemory);
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    ThrowOnHeifError(heif_decode_image(handle_.get(), &decoded, heif_colorspace_RGB,
                                       alpha_ ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                       options.get()));
    const std::unique_ptr<heif_image, TImageRelease> image(decoded);
    if (!image) throw EHeifError(kHeifDamaged);
    // A picture that decodes to another size or depth than it declared is
    // damaged: the size was promised before the rows.
    if (heif_image_get_width(decoded, heif_channel_interleaved) != width_ ||
        heif_image_get_height(decoded, heif_channel_interleaved) != height_ ||
        heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8)
        throw EHeifError(kHeifDamaged);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || stride < width_ * (alpha_ ? 4 : 3)) throw EHeifError(kHeifDamaged);
    const bool premultiplied = alpha_ && heif_image_is_premultiplied_alpha(decoded) != 0;

    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* src = plane + size_t(y) * size_t(stride);
        uint32_t* row = target.NextRow();
        if (alpha_) {
            for (int32_t x = 0; x < width_; ++x, src += 4) {
                uint32_t r = src[0], g = src[1], b = src[2];
                const uint32_t a = src[3];
                if (premultiplied && a != 0 && a != 255) {
                    r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
                    g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
                    b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
                }
                row[x] = a << 24 | r << 16 | g << 8 | b;
            }
        } else {
            for (int32_t x = 0; x < width_; ++x, src += 3)
                row[x] = 0xFF000000u | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
        }
        target.Push();
    }
}

}  // namespace

std::unique_ptr<TPictureReader> NewHeifReader() { return std::make_unique<THeifReader>(); }
