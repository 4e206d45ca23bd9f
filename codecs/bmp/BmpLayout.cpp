#include "codecs/bmp/BmpLayout.h"

#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"

#include <algorithm>

namespace velmora::bmp {

namespace {

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

}  // namespace

size_t ReadSome(TStream& stream, uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const size_t n = stream.Read(out + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

PixelLayout ReadPixelLayout(TStream& stream) {
    const int64_t start = stream.Position();
    const int64_t end = stream.Size();

    uint8_t rawFileHeader[kFileHeaderSize];
    stream.ReadBuffer(rawFileHeader, sizeof rawFileHeader);
    const FileHeader fileHeader = ParseFileHeader(rawFileHeader);
    if (fileHeader.signature != kSignature) NotValid();

    PixelLayout l;
    InfoHeader& h = l.header;
    h = ReadHeader(stream);
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
    l.palette.resize(size_t(std::min<uint64_t>(declared, 256)));
    {
        std::vector<uint8_t> raw(l.palette.size() * entrySize);
        stream.ReadBuffer(raw.data(), raw.size());
        for (size_t i = 0; i < l.palette.size(); ++i) {
            const uint8_t* e = raw.data() + i * entrySize;
            l.palette[i].rgbBlue = e[0];
            l.palette[i].rgbGreen = e[1];
            l.palette[i].rgbRed = e[2];
            l.palette[i].rgbReserved = h.core ? 0 : e[3];
        }
    }
    const uint64_t headersEnd = uint64_t(stream.Position() - start) + (tableBytes - l.palette.size() * entrySize);
    const uint64_t fileSize = uint64_t(end - start);
    const uint64_t pixelStart = PixelArrayOffset(fileHeader.offBits, headersEnd, fileSize);
    const uint64_t available = pixelStart <= fileSize ? fileSize - pixelStart : 0;
    l.pixelStart = start + int64_t(std::min(pixelStart, fileSize));
    stream.SetPosition(l.pixelStart);

    l.width = h.width;
    l.rows = h.Rows();
    l.bottomUp = h.height > 0;
    l.format = FormatOf(h);
    velmora::PaddedRowBytes(h.width, h.bitCount, l.rowSize);
    // A header that declares far more picture than the data could hold is
    // refused before anything is allocated for it.
    if (!velmora::DataCanHold(l.rowSize * uint64_t(l.rows), available))
        throw EInvalidGraphic("Bitmap data is too short for its size");

    if (l.RunLength()) {
        // A run-length stream may legitimately be longer than the unpacked
        // picture, so without a stated size the rest of the file is decoded.
        l.count = h.sizeImage != 0 ? std::min<uint64_t>(h.sizeImage, available) : available;
    } else {
        const uint64_t imageSize =
            (h.sizeImage == 0 || h.compression == kRgb) ? l.rowSize * uint64_t(l.rows) : h.sizeImage;
        l.count = std::min(imageSize, available);
    }
    return l;
}

bool TakesDirectRoute(const uint8_t* head) {
    const FileHeader file = ParseFileHeader(head);
    const InfoHeader info = ParseInfoHeader(head + kFileHeaderSize, kInfoHeaderSize);
    // Only an info header (40 bytes or longer) has planes, bit count and
    // compression where the parser read them.
    return file.signature == kSignature && info.size >= kInfoHeaderSize && info.planes == 1 && info.bitCount == 32 &&
           info.compression == kRgb;
}

PixelLayout DirectPixelLayout(const uint8_t* head, TStream& stream, int64_t start) {
    const FileHeader file = ParseFileHeader(head);
    PixelLayout l;
    l.header = ParseInfoHeader(head + kFileHeaderSize, kInfoHeaderSize);
    const InfoHeader& info = l.header;
    Validate(info);

    // The pixel array starts where the file header says, provided that lies
    // past the headers and any colour table; it must be complete.
    l.format = TPixelFormat::pf32bit;
    l.width = info.width;
    l.rows = info.Rows();
    l.bottomUp = info.height > 0;
    l.rowSize = uint64_t(info.width) * 4;
    const uint64_t headersEnd = uint64_t(kFileHeaderSize) + info.size + uint64_t(info.clrUsed) * 4;
    const uint64_t fileSize = uint64_t(stream.Size() - start);
    const uint64_t pixelStart = PixelArrayOffset(file.offBits, headersEnd, fileSize);
    l.count = l.rowSize * uint64_t(l.rows);
    if (pixelStart > fileSize || fileSize - pixelStart < l.count) throw EReadError();
    l.pixelStart = start + int64_t(pixelStart);
    return l;
}

}  // namespace velmora::bmp
