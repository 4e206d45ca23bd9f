#include "codecs/bmp/BmpFile.h"

#include "codecs/bmp/BmpHeader.h"
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

// One colour channel of a bit-field pixel.
struct Channel {
    uint32_t mask = 0;
    unsigned shift = 0;
    unsigned bits = 0;  // span of the mask, lowest to highest set bit

    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = unsigned(std::countr_zero(m));
        bits = unsigned(std::bit_width(m >> shift));
    }

    // The channel as 8 bits: wider channels keep their top 8 bits, narrower
    // ones repeat their bit pattern until 8 bits are filled.
    uint8_t Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        uint32_t r = 0;
        unsigned filled = 0;
        while (filled < 8) {
            r = (r << bits) | v;
            filled += bits;
        }
        return uint8_t(r >> (filled - 8));
    }
};

// Reads a core or info header from the stream (the size field first, then
// as many bytes as it gives).
InfoHeader ReadHeader(TStream& stream) {
    uint8_t raw[kLargestHeaderSize] = {};
    stream.ReadBuffer(raw, 4);
    const uint32_t size = ReadLE32(raw);
    if (size != kCoreHeaderSize && size != 40 && size != 108 && size != kLargestHeaderSize) NotValid();
    stream.ReadBuffer(raw + 4, size - 4);
    return ParseInfoHeader(raw, size);
}

TPixelFormat FormatOf(const InfoHeader& h) {
    if (h.compression == kRle8 || h.compression == kRle4) return TPixelFormat::pfDevice;
    switch (h.bitCount) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 16:
        if (h.compression == kRgb) return TPixelFormat::pf15bit;
        if (h.masks[0] == 0xF800 && h.masks[1] == 0x07E0 && h.masks[2] == 0x001F) return TPixelFormat::pf16bit;
        return TPixelFormat::pfCustom;
    case 24: return TPixelFormat::pf24bit;
    default: return h.compression == kRgb ? TPixelFormat::pf32bit : TPixelFormat::pfCustom;
    }
}

// Reads up to count bytes; stops early at the end of the stream.
size_t ReadSome(TStream& stream, uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const size_t n = stream.Read(out + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

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
    const int64_t start = stream.Position();
    const int64_t end = stream.Size();
    if (end <= start) {
        bitmap.ShortData = false;
        bitmap.SetSize(0, 0);
        bitmap.Palette.clear();
        return;
    }

    uint8_t rawFileHeader[kFileHeaderSize];
    stream.ReadBuffer(rawFileHeader, sizeof rawFileHeader);
    const FileHeader fileHeader = ParseFileHeader(rawFileHeader);
    if (fileHeader.signature != kSignature) NotValid();
    const uint32_t offBits = fileHeader.offBits;

    InfoHeader h = ReadHeader(stream);
    Validate(h);
    if (h.compression == kBitFields && h.size == 40) {
        uint8_t masks[12];
        stream.ReadBuffer(masks, sizeof masks);
        for (int i = 0; i < 3; ++i) h.masks[i] = ReadLE32(masks + 4 * i);
    }

    // Colour table. Only the first 256 entries are kept; the rest of a longer
    // declared table is skipped. A table longer than the data left is a short
    // read, found before anything is read or allocated for it.
    const uint64_t declared = h.clrUsed != 0 ? h.clrUsed : (h.bitCount <= 8 ? uint64_t(1) << h.bitCount : 0);
    const uint64_t entrySize = h.core ? 3 : 4;
    const uint64_t tableBytes = declared * entrySize;
    if (tableBytes > uint64_t(end - stream.Position())) throw EReadError();
    std::vector<TRGBQuad> palette(size_t(std::min<uint64_t>(declared, 256)));
    {
        std::vector<uint8_t> raw(palette.size() * entrySize);
        stream.ReadBuffer(raw.data(), raw.size());
        for (size_t i = 0; i < palette.size(); ++i) {
            const uint8_t* e = raw.data() + i * entrySize;
            palette[i].rgbBlue = e[0];
            palette[i].rgbGreen = e[1];
            palette[i].rgbRed = e[2];
            palette[i].rgbReserved = h.core ? 0 : e[3];
        }
    }
    const uint64_t headersEnd = uint64_t(stream.Position() - start) + (tableBytes - palette.size() * entrySize);
    const uint64_t fileSize = uint64_t(end - start);
    const uint64_t pixelStart = PixelArrayOffset(offBits, headersEnd, fileSize);
    const uint64_t available = pixelStart <= fileSize ? fileSize - pixelStart : 0;
    stream.SetPosition(start + int64_t(std::min(pixelStart, fileSize)));

    const int64_t rows = h.Rows();
    const bool runLength = h.compression == kRle8 || h.compression == kRle4;
    uint64_t rowSize = 0;
    velmora::PaddedRowBytes(h.width, h.bitCount, rowSize);
    // A header that declares far more picture than the data could hold is
    // refused before anything is allocated for it.
    if (!velmora::DataCanHold(rowSize * uint64_t(rows), available))
        throw EInvalidGraphic("Bitmap data is too short for its size");

    // Run-length data is taken before the picture is allocated. A run-length
    // stream may legitimately be longer than the unpacked picture, so without
    // a stated size the rest of the file is decoded. The amount is bounded by
    // the data actually present.
    std::vector<uint8_t> packed;
    if (runLength) {
        const uint64_t count = h.sizeImage != 0 ? std::min<uint64_t>(h.sizeImage, available) : available;
        packed.resize(static_cast<size_t>(count));
        packed.resize(ReadSome(stream, packed.data(), packed.size()));
    }

    // From here on nothing in the file can make reading fail, so the new
    // picture is built in place (only an allocation failure, EOutOfMemory,
    // leaves the bitmap empty).
    bitmap.SetSize(0, 0);
    bitmap.SetPixelFormat(FormatOf(h));
    bitmap.SetSize(int32_t(h.width), int32_t(rows));
    bitmap.Palette.clear();
    if (runLength) {
        bitmap.ShortData = !DecodeRle(packed, h.compression == kRle4, palette, bitmap);
        bitmap.HandleType = THandleType::bmDDB;
        return;
    }
    const uint64_t imageSize = (h.sizeImage == 0 || h.compression == kRgb) ? rowSize * uint64_t(rows) : h.sizeImage;
    const uint64_t count = std::min(imageSize, available);
    bitmap.ShortData = count < rowSize * uint64_t(rows);
    ReadRows(stream, h, rowSize, count, bitmap);
    if (h.bitCount <= 8) bitmap.Palette = std::move(palette);
    bitmap.HandleType = THandleType::bmDIB;
}

void SaveBmp(const TBitmap& bitmap, TStream& stream) {
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    if (w <= 0 || h <= 0) throw EInvalidGraphicOperation("Cannot save an empty bitmap");
    const uint64_t imageSize = uint64_t(w) * uint64_t(h) * 4;
    if (imageSize + kHeadersSize > std::numeric_limits<uint32_t>::max())
        throw EInvalidGraphicOperation("Bitmap too large to save");

    uint8_t header[kHeadersSize] = {};
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
