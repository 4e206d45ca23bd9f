#include "codecs/bmp/BmpFile.h"

#include "codecs/bmp/BmpHeader.h"
#include "codecs/bmp/BmpLayout.h"
#include "codecs/bmp/BmpToBitmap32.h"
#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"
#include "platform/Picture.h"
#include "raster/Bitmap32.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <mutex>
#include <vector>

using namespace velmora::bmp;

namespace {

// Uncompressed and bit-field pixels: `count` bytes of rows in file order.
// Whatever the data does not cover stays zero.
void ReadRows(TStream& stream, const InfoHeader& h, uint64_t rowSize, uint64_t count, TBitmap& pic) {
    const int32_t rows = pic.Height();
    const bool bottomUp = h.height > 0;
    if (pic.PixelFormat() != TPixelFormat::pfCustom) {
        // The file's rows have the in-memory layout already.
        if (bottomUp) {
            ReadSome(stream, pic.Bits(), size_t(std::min<uint64_t>(count, pic.BitsSize())));
            return;
        }
        for (int32_t y = 0; y < rows && count > 0; ++y) {
            const size_t n = size_t(std::min(rowSize, count));
            if (ReadSome(stream, pic.ScanLine(y), n) < n) return;
            count -= n;
        }
        return;
    }
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    const int32_t width = pic.Width();
    std::vector<uint8_t> row(static_cast<size_t>(rowSize));
    for (int32_t i = 0; i < rows && count > 0; ++i) {
        const size_t n = size_t(std::min(rowSize, count));
        std::fill(row.begin(), row.end(), uint8_t(0));
        const size_t got = ReadSome(stream, row.data(), n);
        uint8_t* out = pic.ScanLine(bottomUp ? rows - 1 - i : i);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = h.bitCount == 16 ? ReadLE16(row.data() + 2 * size_t(x))
                                                : ReadLE32(row.data() + 4 * size_t(x));
            out[4 * size_t(x)] = blue.Extract(v);
            out[4 * size_t(x) + 1] = green.Extract(v);
            out[4 * size_t(x) + 2] = red.Extract(v);
        }
        if (got < n) return;
        count -= n;
    }
}

// Run-length data (RLE8, or RLE4 when `four`) into a pfDevice picture.
// Commands: a run (count > 0, one byte: the index, or two alternating
// nibbles); escape 0 = end of line, 1 = end of bitmap, 2 = delta (dx, dy),
// 3..255 = that many literal indices padded to a 16-bit boundary. Pixels no
// command reaches stay black; everything that would land outside the picture
// is dropped; decoding stops at the end of the data.
// Returns false when the data ends before the picture does (no end-of-bitmap
// escape, and rows left).
bool DecodeRle(const std::vector<uint8_t>& data, bool four, const std::vector<TRGBQuad>& palette, TBitmap& pic) {
    const int64_t width = pic.Width(), height = pic.Height();
    const size_t stride = pic.Stride();
    uint8_t* const bits = pic.Bits();
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    uint8_t* row = bits;
    auto put = [&](unsigned index) {
        if (x < width && index < palette.size()) {
            const TRGBQuad& q = palette[index];
            uint8_t* p = row + 4 * size_t(x);
            p[0] = q.rgbBlue;
            p[1] = q.rgbGreen;
            p[2] = q.rgbRed;
        }
        ++x;
    };
    const size_t size = data.size();
    size_t i = 0;
    while (y < height && i + 1 < size) {
        const unsigned n = data[i];
        const unsigned c = data[i + 1];
        i += 2;
        if (n > 0) {
            if (x >= width) {
                x += n;
            } else if (four) {
                for (unsigned k = 0; k < n; ++k) put((k & 1) ? (c & 15) : (c >> 4));
            } else {
                for (unsigned k = 0; k < n; ++k) put(c);
            }
        } else if (c == 0) {
            x = 0;
            ++y;
            row = bits + size_t(std::min(y, height - 1)) * stride;
        } else if (c == 1) {
            return true;
        } else if (c == 2) {
            if (i + 1 >= size) break;
            x += data[i];
            y += data[i + 1];
            i += 2;
            row = bits + size_t(std::min(y, height - 1)) * stride;
        } else {
            const size_t bytes = four ? (c + 1) / 2 : c;
            const size_t present = std::min(bytes, size - i);
            const unsigned pixels = four ? unsigned(std::min<size_t>(c, 2 * present)) : unsigned(present);
            for (unsigned k = 0; k < pixels; ++k) {
                if (four) {
                    const uint8_t b = data[i + k / 2];
                    put((k & 1) ? (b & 15) : (b >> 4));
                } else {
                    put(data[i + k]);
                }
            }
            if (present < bytes) break;
            i += bytes + (bytes & 1);
        }
    }
    return y >= height;
}

}  // namespace

void LoadBmp(TBitmap& bitmap, TStream& stream) {
    if (stream.Size() <= stream.Position()) {
        bitmap.ShortData = false;
        bitmap.SetSize(0, 0);
        bitmap.Palette.clear();
        return;
    }
    PixelLayout layout = ReadPixelLayout(stream);
    const InfoHeader& h = layout.header;

    // Run-length data is taken before the picture is allocated, bounded by
    // the data actually present.
    std::vector<uint8_t> packed;
    if (layout.RunLength()) {
        packed.resize(static_cast<size_t>(layout.count));
        packed.resize(ReadSome(stream, packed.data(), packed.size()));
    }

    // From here on nothing in the file can make reading fail, so the new
    // picture is built in place (only an allocation failure, EOutOfMemory,
    // leaves the bitmap empty).
    bitmap.SetSize(0, 0);
    bitmap.SetPixelFormat(layout.format);
    bitmap.SetSize(int32_t(layout.width), int32_t(layout.rows));
    bitmap.Palette.clear();
    if (layout.RunLength()) {
        bitmap.ShortData = !DecodeRle(packed, h.compression == kRle4, layout.palette, bitmap);
        bitmap.HandleType = THandleType::bmDDB;
        return;
    }
    bitmap.ShortData = layout.ShortData();
    ReadRows(stream, h, layout.rowSize, layout.count, bitmap);
    if (h.bitCount <= 8) bitmap.Palette = std::move(layout.palette);
    bitmap.HandleType = THandleType::bmDIB;
}

namespace {

// The header bytes of a 32-bit uncompressed bottom-up picture of w x h, and
// the size of its pixel array. Refuses an empty picture and one too large for
// the file's 32-bit sizes.
uint64_t MakeHeaders(int32_t w, int32_t h, uint8_t (&header)[kHeadersSize]) {
    if (w <= 0 || h <= 0) throw EInvalidGraphicOperation("Cannot save an empty bitmap");
    const uint64_t imageSize = uint64_t(w) * uint64_t(h) * 4;
    if (imageSize + kHeadersSize > std::numeric_limits<uint32_t>::max())
        throw EInvalidGraphicOperation("Bitmap too large to save");
    std::fill(std::begin(header), std::end(header), uint8_t(0));
    auto put16 = [&](size_t at, uint32_t v) {
        header[at] = uint8_t(v);
        header[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    put16(0, kSignature);
    put32(2, uint32_t(kHeadersSize + imageSize));
    put32(10, kHeadersSize);
    put32(14, kInfoHeaderSize);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    put16(26, 1);
    put16(28, 32);
    put32(34, uint32_t(imageSize));
    // Compression, resolution and colour counts stay 0.
    return imageSize;
}

}  // namespace

void SaveBmp(const TBitmap& bitmap, TStream& stream) {
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    uint8_t header[kHeadersSize];
    const uint64_t imageSize = MakeHeaders(w, h, header);
    stream.WriteBuffer(header, sizeof header);

    if (bitmap.PixelFormat() == TPixelFormat::pf32bit) {
        // Rows of a 32-bit picture need no padding: memory order is file order.
        stream.WriteBuffer(bitmap.Bits(), size_t(imageSize));
        return;
    }
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int32_t y = h - 1; y >= 0; --y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = bitmap.Pixel(x, y);
            uint8_t* p = row.data() + 4 * size_t(x);
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v >> 16);
            p[3] = uint8_t(v >> 24);
        }
        stream.WriteBuffer(row.data(), row.size());
    }
}

TBmpFileBytes::TBmpFileBytes(int32_t width, int32_t height) : height_(height), rowBytes_(size_t(width) * 4) {
    uint8_t header[kHeadersSize];
    const uint64_t imageSize = MakeHeaders(width, height, header);
    bytes_.resize(kHeadersSize + size_t(imageSize));
    std::copy(std::begin(header), std::end(header), bytes_.begin());
}

uint8_t* TBmpFileBytes::Row(int32_t y) { return bytes_.data() + kHeadersSize + size_t(height_ - 1 - y) * rowBytes_; }

void SaveBmpToFile(const TBitmap& bitmap, const std::string& path) {
    TMemoryStream out;
    SaveBmp(bitmap, out);
    out.SaveToFile(path);
}

void RegisterBmpFormat() {
    static std::once_flag once;
    std::call_once(once, [] {
        TPicture::RegisterFileFormat("bmp", "Bitmaps", [] { return std::make_unique<TBitmapFile>(); });
        static const TBitmap32Reader reader{LoadBmpFileToBitmap32, LoadBmpToBitmap32};
        TBitmap32::SetReader(&reader);
    });
}
