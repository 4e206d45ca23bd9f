#include "codecs/bmp/BmpHeader.h"

#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"

namespace velmora::bmp {

FileHeader ParseFileHeader(const uint8_t* raw) {
    return FileHeader{ReadLE16(raw), ReadLE32(raw + 10)};
}

InfoHeader ParseInfoHeader(const uint8_t* raw, uint32_t available) {
    InfoHeader h;
    h.size = ReadLE32(raw);
    if (h.size == kCoreHeaderSize) {
        h.core = true;
        h.width = ReadLE16(raw + 4);
        h.height = ReadLE16(raw + 6);
        h.planes = ReadLE16(raw + 8);
        h.bitCount = ReadLE16(raw + 10);
        return h;
    }
    h.width = int32_t(ReadLE32(raw + 4));
    h.height = int32_t(ReadLE32(raw + 8));
    h.planes = ReadLE16(raw + 12);
    h.bitCount = ReadLE16(raw + 14);
    h.compression = ReadLE32(raw + 16);
    h.sizeImage = ReadLE32(raw + 20);
    h.clrUsed = ReadLE32(raw + 32);
    if (h.size > kInfoHeaderSize && available >= kInfoHeaderSize + 12)
        for (int i = 0; i < 3; ++i) h.masks[i] = ReadLE32(raw + 40 + 4 * i);
    return h;
}

void NotValid() { throw EInvalidGraphic("Bitmap image is not valid"); }

void Validate(const InfoHeader& h) {
    if (h.planes != 1) NotValid();
    switch (h.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: NotValid();
    }
    switch (h.compression) {
    case kRgb: break;
    case kRle8: if (h.bitCount != 8) NotValid(); break;
    case kRle4: if (h.bitCount != 4) NotValid(); break;
    case kBitFields: if (h.bitCount != 16 && h.bitCount != 32) NotValid(); break;
    default: NotValid();
    }
    if (h.width <= 0 || h.height == 0) NotValid();
    // Run-length data is defined for bottom-up pictures only.
    if (h.height < 0 && (h.compression == kRle8 || h.compression == kRle4)) NotValid();
    if (!velmora::PixelCountOk(h.width, h.Rows())) NotValid();
}

}  // namespace velmora::bmp
