// The WebP reader. ReadHeader walks the RIFF chunks through the stream
// (seeking over the picture data) to find the size, the metadata chunks and
// where the picture ends; ReadRows feeds a still picture to libwebp's
// incremental decoder piece by piece and hands rows on as they come out. An
// animation is read whole and gives its first frame as drawn on its canvas.
#include "codecs/webp/WebpFormat.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Bytes handed to the incremental decoder at a time.
constexpr size_t kFeedPiece = size_t(256) << 10;
// Bytes of a picture chunk's payload the size check needs (the VP8 frame
// header or the VP8L header, with room to spare).
constexpr size_t kImageHeadBytes = 64;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool IsTag(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

std::string StatusText(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_SUSPENDED: return "suspended";
    case VP8_STATUS_USER_ABORT: return "aborted";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "not enough data";
    default: return "error " + std::to_string(int(status));
    }
}

[[noreturn]] void Fail(VP8StatusCode status) {
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) throw EWebpError(kWebpTruncated);
    throw EWebpError(std::string(kWebpDamaged) + ": " + StatusText(status));
}

struct TIdecDelete {
    void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};
struct TAnimDelete {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

class TWebpReader final : public TPictureReader {
public:
    void ReadHeader(TStream& source) override;
    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    bool HasAlpha() const override { return alpha_; }
    const TPictureMetadata& Metadata() const override { return metadata_; }
    void ReadRows(TRowTarget& target) override;

private:
    // Exactly n bytes at pos, or false.
    bool ReadAt(int64_t pos, void* buffer, size_t n);
    void KeepChunk(const uint8_t* tag, int64_t payload, uint32_t size);
    void ReadStill(TRowTarget& target);
    void ReadAnimation(TRowTarget& target);

    TStream* source_ = nullptr;
    int64_t start_ = 0;
    int64_t end_ = 0;       // the end of the RIFF data (or of the stream, when sooner)
    int64_t imageEnd_ = 0;  // the end of a still picture's last chunk
    int32_t width_ = 0, height_ = 0;
    bool alpha_ = false, animated_ = false;
    TPictureMetadata metadata_;
};

bool TWebpReader::ReadAt(int64_t pos, void* buffer, size_t n) {
    if (pos < start_ || pos > end_ || int64_t(n) > end_ - pos) return false;
    source_->SetPosition(pos);
    auto* p = static_cast<uint8_t*>(buffer);
    while (n > 0) {
        const size_t got = source_->Read(p, n);
        if (got == 0) return false;
        p += got;
        n -= got;
    }
    return true;
}

// The first ICCP, EXIF and XMP chunk each; chunks cut off by the end of the
// file are left out.
void TWebpReader::KeepChunk(const uint8_t* tag, int64_t payload, uint32_t size) {
    const bool icc = IsTag(tag, "ICCP"), exif = IsTag(tag, "EXIF"), xmp = IsTag(tag, "XMP ");
    if (!icc && !exif && !xmp) return;
    if ((icc && !metadata_.icc.empty()) || (exif && !metadata_.exif.empty()) || (xmp && !metadata_.xmp.empty())) return;
    if (payload > end_ || int64_t(size) > end_ - payload) return;
    std::vector<uint8_t> bytes(size);
    if (!ReadAt(payload, bytes.data(), size)) return;
    if (icc) {
        if (bytes.size() >= 128 && std::memcmp(bytes.data() + 16, "RGB ", 4) == 0) metadata_.icc = std::move(bytes);
    } else if (exif) {
        if (bytes.size() >= 6 && std::memcmp(bytes.data(), "Exif\0\0", 6) == 0)
            bytes.erase(bytes.begin(), bytes.begin() + 6);
        if (bytes.size() >= 8 &&
            (std::memcmp(bytes.data(), "II*\0", 4) == 0 || std::memcmp(bytes.data(), "MM\0*", 4) == 0)) {
            metadata_.orientation = ExifOrientation(bytes);
            metadata_.exif = std::move(bytes);
        }
    } else if (!bytes.empty()) {
        metadata_.xmp.push_back(std::move(bytes));
    }
}

void TWebpReader::ReadHeader(TStream& source) {
    source_ = &source;
    start_ = source.Position();
    const int64_t available = source.Size() - start_;
    end_ = start_ + std::max<int64_t>(available, 0);
    uint8_t riff[12];
    if (!ReadAt(start_, riff, sizeof riff) || !IsWebp(riff, sizeof riff)) throw EWebpError(kWebpNotWebp);
    end_ = start_ + std::min<int64_t>(int64_t(Le32(riff + 4)) + 8, available);

    // What libwebp needs to tell the size: the RIFF head, the VP8X chunk and
    // the head of the picture chunk, without the chunks between them.
    std::vector<uint8_t> head(riff, riff + sizeof riff);
    const auto keepHead = [&](const uint8_t* chunk, int64_t payload, uint32_t size) {
        head.insert(head.end(), chunk, chunk + 8);
        const size_t n = size_t(std::min<int64_t>({int64_t(size), int64_t(kImageHeadBytes), end_ - payload}));
        const size_t at = head.size();
        head.resize(at + n);
        if (!ReadAt(payload, head.data() + at, n)) head.resize(at);
    };
    bool extended = false, found = false;
    uint32_t flags = 0;
    int64_t pos = start_ + 12;
    for (bool first = true; end_ - pos >= 8; first = false) {
        uint8_t chunk[8];
        if (!ReadAt(pos, chunk, 8)) break;
        const uint32_t size = Le32(chunk + 4);
        const int64_t payload = pos + 8;
        const int64_t next = payload + int64_t(size) + (size & 1);
        const bool image = IsTag(chunk, "VP8 ") || IsTag(chunk, "VP8L");
        if (first && IsTag(chunk, "VP8X")) {
            extended = true;
            keepHead(chunk, payload, size);
            if (head.size() >= 12 + 8 + 1) flags = head[20];
        } else if (image && !found) {
            found = true;
            keepHead(chunk, payload, size);
            imageEnd_ = std::min(next, end_);
            if (!extended) break;  // a simple file holds nothing else
        } else if (first) {
            keepHead(chunk, payload, size);  // libwebp names what is wrong with it
            break;
        } else {
            KeepChunk(chunk, payload, size);
        }
        pos = next;
    }
    // Bit 1 of the VP8X flags: an animation, whose frames come in ANMF chunks.
    if (extended && !(flags & 0x02) && !found) throw EWebpError(kWebpNoPicture);

    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(head.data(), head.size(), &features);
    if (status != VP8_STATUS_OK) Fail(status);
    if (features.width <= 0 || features.height <= 0) throw EWebpError(kWebpNoPicture);
    if (uint64_t(features.width) * uint64_t(features.height) > kWebpMaxPixels) throw EWebpError(kWebpTooLarge);
    width_ = features.width;
    height_ = features.height;
    alpha_ = features.has_alpha != 0;
    animated_ = features.has_animation != 0;
    if (!animated_ && !found) throw EWebpError(kWebpNoPicture);
}

void TWebpReader::ReadRows(TRowTarget& target) {
    if (animated_)
        ReadAnimation(target);
    else
        ReadStill(target);
}

void TWebpReader::ReadStill(TRowTarget& target) {
    // libwebp reads the bytes where they are: the buffer is taken whole at
    // once and filled piece by piece, so it never moves.
    const size_t total = size_t(imageEnd_ - start_);
    std::unique_ptr<uint8_t[]> data(new uint8_t[total]);
    std::unique_ptr<WebPIDecoder, TIdecDelete> decoder(WebPINewRGB(alpha_ ? MODE_BGRA : MODE_BGR, nullptr, 0, 0));
    if (!decoder) throw EWebpError(std::string(kWebpDamaged) + ": " + StatusText(VP8_STATUS_OUT_OF_MEMORY));
    source_->SetPosition(start_);
    size_t filled = 0;
    int32_t sent = 0;
    while (sent < height_) {
        const size_t got =
            filled < total ? source_->Read(data.get() + filled, std::min(kFeedPiece, total - filled)) : 0;
        if (got == 0) throw EWebpError(kWebpTruncated);
        filled += got;
        const VP8StatusCode status = WebPIUpdate(decoder.get(), data.get(), filled);
        if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) Fail(status);
        int lastY = 0, w = 0, h = 0, stride = 0;
        const uint8_t* rgb = WebPIDecGetRGB(decoder.get(), &lastY, &w, &h, &stride);
        if (!rgb) continue;
        if (w != width_ || h != height_)
            throw EWebpError(std::string(kWebpDamaged) + ": " + StatusText(VP8_STATUS_BITSTREAM_ERROR));
        if (status == VP8_STATUS_OK) lastY = height_;
        for (; sent < std::min(lastY, height_); ++sent) {
            const uint8_t* src = rgb + size_t(sent) * size_t(stride);
            uint32_t* row = target.NextRow();
            if (alpha_) {
                std::memcpy(row, src, size_t(width_) * 4);
            } else {
                for (int32_t x = 0; x < width_; ++x, src += 3)
                    row[x] = 0xFF000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
            }
            target.Push();
        }
    }
}

void TWebpReader::ReadAnimation(TRowTarget& target) {
    const size_t total = size_t(end_ - start_);
    std::vector<uint8_t> data(total);
    if (!ReadAt(start_, data.data(), total)) throw EWebpError(kWebpTruncated);
    const WebPData whole{data.data(), data.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, TAnimDelete> decoder(WebPAnimDecoderNew(&whole, &options));
    if (!decoder) {
        if (uint64_t(Le32(data.data() + 4)) + 8 > total) throw EWebpError(kWebpTruncated);
        Fail(VP8_STATUS_BITSTREAM_ERROR);
    }
    WebPAnimInfo info;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != uint32_t(width_) ||
        info.canvas_height != uint32_t(height_) || !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        Fail(VP8_STATUS_BITSTREAM_ERROR);
    for (int32_t y = 0; y < height_; ++y) {
        uint32_t* row = target.NextRow();
        std::memcpy(row, canvas + size_t(y) * size_t(width_) * 4, size_t(width_) * 4);
        if (!alpha_)
            for (int32_t x = 0; x < width_; ++x) row[x] |= 0xFF000000u;
        target.Push();
    }
}

}  // namespace

std::unique_ptr<TPictureReader> NewWebpReader() { return std::make_unique<TWebpReader>(); }
