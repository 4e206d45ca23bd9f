#include "codecs/tiff/TiffFormat.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The most libtiff may take in one allocation (a strip or tile buffer, a
// directory's arrays): a picture needing more fails instead of growing.
constexpr tmsize_t kMaxSingleAlloc = tmsize_t(64) << 20;
// The rows handed to libtiff at once fill at most this many bytes, unless a
// single row is larger.
constexpr size_t kBandBytes = size_t(4) << 20;

// Where libtiff reads: the stream, from the position the file starts at.
// Stream failures do not cross libtiff's C frames: they are kept and raised
// once libtiff has returned.
struct TClient {
    TStream* stream = nullptr;
    int64_t base = 0;
    std::exception_ptr failure;
    std::string firstError;
};

tmsize_t ClientRead(thandle_t h, void* buffer, tmsize_t size) {
    auto* c = static_cast<TClient*>(h);
    if (size < 0) return -1;
    try {
        return tmsize_t(c->stream->Read(buffer, size_t(size)));
    } catch (...) {
        if (!c->failure) c->failure = std::current_exception();
        return -1;
    }
}

tmsize_t ClientWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t ClientSeek(thandle_t h, toff_t offset, int whence) {
    auto* c = static_cast<TClient*>(h);
    try {
        int64_t target = 0;
        switch (whence) {
        case SEEK_SET: target = c->base; break;
        case SEEK_CUR: target = c->stream->Position(); break;
        case SEEK_END: target = c->stream->Size(); break;
        default: return toff_t(-1);
        }
        // The offset is unsigned; a move back comes as its two's complement.
        if (__builtin_add_overflow(target, int64_t(offset), &target)) return toff_t(-1);
        if (target < c->base) return toff_t(-1);
        return toff_t(c->stream->Seek(target, TSeekOrigin::soBeginning) - c->base);
    } catch (...) {
        if (!c->failure) c->failure = std::current_exception();
        return toff_t(-1);
    }
}

int ClientClose(thandle_t) { return 0; }

toff_t ClientSize(thandle_t h) {
    auto* c = static_cast<TClient*>(h);
    try {
        return toff_t(std::max<int64_t>(c->stream->Size() - c->base, 0));
    } catch (...) {
        if (!c->failure) c->failure = std::current_exception();
        return 0;
    }
}

int ClientMap(thandle_t, void**, toff_t*) { return 0; }
void ClientUnmap(thandle_t, void*, toff_t) {}

// Keeps libtiff's first error of the file as the cause to show.
int KeepError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* c = static_cast<TClient*>(user);
    if (c->firstError.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        c->firstError = module && *module ? std::string(module) + ": " + text : std::string(text);
    }
    return 1;  // handled: nothing reaches the process-wide handler
}

int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Messages libtiff gives before a file has its own handlers go nowhere too.
void SilenceProcessHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// 0xAABBGGRR with premultiplied colour (libtiff's packing) to straight
// 0xAARRGGBB. Colour under alpha 0 is gone: such pixels become 0.
uint32_t Straight(uint32_t abgr) {
    const uint32_t a = abgr >> 24;
    if (a == 0) return 0;
    uint32_t r = abgr & 0xFF, g = abgr >> 8 & 0xFF, b = abgr >> 16 & 0xFF;
    if (a != 255) {
        r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
        g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
        b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
    }
    return a << 24 | r << 16 | g << 8 | b;
}

uint32_t Opaque(uint32_t abgr) {
    return 0xFF000000u | (abgr & 0xFF) << 16 | (abgr & 0xFF00) | (abgr >> 16 & 0xFF);
}

class TTiffReader : public TPictureReader {
public:
    ~TTiffReader() override { close(); }

    void ReadHeader(TStream& source) override {
        close();
        client_ = TClient{};
        client_.stream = &source;
        client_.base = source.Position();
        uint8_t head[4] = {};
        const size_t got = source.Read(head, sizeof head);
        if (!IsTiff(head, got)) throw ETiffError(kTiffNotTiff);
        source.SetPosition(client_.base);

        SilenceProcessHandlers();
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options) throw EOutOfMemory();
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAlloc);
        TIFFOpenOptionsSetErrorHandlerExtR(options, KeepError, &client_);
        TIFFOpenOptionsSetWarningHandlerExtR(options, DropWarning, &client_);
        // "m": read through the stream, never a mapping of it.
        tif_ = TIFFClientOpenExt("picture", "rm", &client_, ClientRead, ClientWrite, ClientSeek, ClientClose,
                                 ClientSize, ClientMap, ClientUnmap, options);
        TIFFOpenOptionsFree(options);
        if (!tif_) fail(kTiffDamaged);

        uint32_t w = 0, h = 0;
        if (!TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &h) || w == 0 ||
            h == 0)
            fail(kTiffDamaged);
        if (int64_t(w) * int64_t(h) > kTiffMaxPixels) throw ETiffError(kTiffTooLarge);
        if (w > kTiffMaxWidth) throw ETiffError(kTiffTooWide);

        char message[1024] = {};
        if (!TIFFRGBAImageOK(tif_, message)) throw ETiffError(std::string(kTiffUnsupported) + ": " + message);
        if (!TIFFRGBAImageBegin(&image_, tif_, 1, message)) {
            if (client_.failure) std::rethrow_exception(client_.failure);
            throw ETiffError(std::string(kTiffUnsupported) + ": " + message);
        }
        begun_ = true;
        // Rows as they are stored; the orientation goes to the caller.
        image_.req_orientation = image_.orientation;
        width_ = int32_t(w);
        height_ = int32_t(h);
        readMetadata();
    }

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    bool HasAlpha() const override { return begun_ && image_.alpha != 0; }
    const TPictureMetadata& Metadata() const override { return metadata_; }

    void ReadRows(TRowTarget& target) override {
        if (!begun_) throw ETiffError(kTiffDamaged);
        const uint32_t w = uint32_t(width_), h = uint32_t(height_);
        const uint32_t band = bandRows();
        std::vector<uint32_t> raster(size_t(w) * band);
        const bool alpha = HasAlpha();
        client_.firstError.clear();
        // Strips larger than a band are decoded row by row through
        // libtiff's scanline reads (which take the compressed strip in
        // pieces too) and converted by the RGBA reader's own routine for
        // contiguous samples: reading part of such a strip through the RGBA
        // reader would decode it from its start for every band.
        const bool byScanline = largeStrips();
        std::vector<uint8_t> samples;
        if (byScanline) samples.resize(size_t(TIFFScanlineSize(tif_)) * band);
        for (uint32_t y = 0; y < h; y += band) {
            const uint32_t rows = std::min(band, h - y);
            if (byScanline) {
                const size_t stride = samples.size() / band;
                for (uint32_t r = 0; r < rows; ++r)
                    if (TIFFReadScanline(tif_, samples.data() + r * stride, y + r, 0) < 0) fail(kTiffDataDamaged);
                image_.put.contig(&image_, raster.data(), 0, y, w, rows, 0, 0, samples.data());
            } else {
                image_.row_offset = int(y);
                image_.col_offset = 0;
                if (!TIFFRGBAImageGet(&image_, raster.data(), w, rows)) fail(kTiffDataDamaged);
            }
            if (client_.failure) std::rethrow_exception(client_.failure);
            for (uint32_t r = 0; r < rows; ++r) {
                const uint32_t* from = raster.data() + size_t(r) * w;
                uint32_t* to = target.NextRow();
                if (alpha)
                    std::transform(from, from + w, to, Straight);
                else
                    std::transform(from, from + w, to, Opaque);
                target.Push();
            }
        }
    }

private:
    // Rows per call: whole strips (or rows of tiles) so that none is decoded
    // twice, as many as fit in the band; part of one when a single strip
    // holds more than that.
    uint32_t bandRows() const {
        uint32_t unit = 0;
        if (TIFFIsTiled(tif_))
            TIFFGetField(tif_, TIFFTAG_TILELENGTH, &unit);
        else
            TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &unit);
        const uint32_t h = uint32_t(height_);
        unit = std::clamp<uint32_t>(unit, 1, h);
        const size_t fit = std::max<size_t>(1, kBandBytes / (size_t(width_) * 4));
        if (unit > fit) return uint32_t(fit);
        return uint32_t(std::min<size_t>(h, unit * (fit / unit)));
    }

    // Strips of interleaved samples holding more rows than a band, in a
    // layout whose rows the RGBA reader converts one by one (not YCbCr
    // stored in blocks of rows, not old-style JPEG).
    bool largeStrips() const {
        if (TIFFIsTiled(tif_) || !image_.isContig || image_.photometric == PHOTOMETRIC_YCBCR) return false;
        uint16_t compression = 0;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_COMPRESSION, &compression);
        if (compression == COMPRESSION_OJPEG) return false;
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        return std::min(rowsPerStrip, uint32_t(height_)) > bandRows();
    }

    void readMetadata() {
        metadata_ = {};
        uint16_t orientation = 0;
        if (TIFFGetField(tif_, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
            metadata_.orientation = orientation;
        uint32_t count = 0;
        const uint8_t* data = nullptr;
        if (TIFFGetField(tif_, TIFFTAG_ICCPROFILE, &count, &data) && data && count >= 20 &&
            std::memcmp(data + 16, "RGB ", 4) == 0)
            metadata_.icc.assign(data, data + count);
        count = 0;
        data = nullptr;
        if (TIFFGetField(tif_, TIFFTAG_XMLPACKET, &count, &data) && data && count > 0)
            metadata_.xmp.emplace_back(data, data + count);
    }

    [[noreturn]] void fail(const char* cause) {
        if (client_.failure) std::rethrow_exception(client_.failure);
        if (client_.firstError.empty()) throw ETiffError(cause);
        throw ETiffError(std::string(cause) + ": " + client_.firstError);
    }

    void close() {
        if (begun_) TIFFRGBAImageEnd(&image_);
        begun_ = false;
        if (tif_) TIFFClose(tif_);
        tif_ = nullptr;
        width_ = height_ = 0;
        metadata_ = {};
    }

    TClient client_;
    TIFF* tif_ = nullptr;
    TIFFRGBAImage image_{};
    bool begun_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    TPictureMetadata metadata_;
};

}  // namespace

bool IsTiff(const uint8_t* head, size_t n) {
    if (n < 4) return false;
    const bool little = head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0;
    const bool big = head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
    return little || big;
}

std::unique_ptr<TPictureReader> NewTiffReader() { return std::make_unique<TTiffReader>(); }
