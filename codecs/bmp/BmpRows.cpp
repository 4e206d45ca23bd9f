#include "codecs/bmp/BmpRows.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace velmora::bmp;

TBmpRowReader::TBmpRowReader(TStream& stream) : stream_(stream) {
    const int64_t start = stream.Position();
    uint8_t head[kHeadersSize];
    stream.ReadBuffer(head, sizeof head);
    if (TakesDirectRoute(head)) {
        layout_ = DirectPixelLayout(head, stream, start);
    } else {
        stream.SetPosition(start);
        layout_ = ReadPixelLayout(stream);
    }
    // An index past the table is black.
    for (size_t i = 0; i < 256; ++i) {
        colours_[i] = 0xFF000000u;
        if (i < layout_.palette.size()) {
            const TRGBQuad& q = layout_.palette[i];
            colours_[i] |= uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue;
        }
    }
    red_ = Channel(layout_.header.masks[0]);
    green_ = Channel(layout_.header.masks[1]);
    blue_ = Channel(layout_.header.masks[2]);
}

void TBmpRowReader::convert(const uint8_t* s, uint32_t* out) const {
    const size_t width = size_t(layout_.width);
    switch (layout_.format) {
    case TPixelFormat::pf1bit:
        for (size_t x = 0; x < width; ++x) out[x] = colours_[(s[x >> 3] >> (7 - (x & 7))) & 1];
        return;
    case TPixelFormat::pf4bit:
        for (size_t x = 0; x < width; ++x) out[x] = colours_[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
        return;
    case TPixelFormat::pf8bit:
        for (size_t x = 0; x < width; ++x) out[x] = colours_[s[x]];
        return;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        for (size_t x = 0; x < width; ++x) out[x] = Pixel16ToArgb(ReadLE16(s + 2 * x), layout_.format);
        return;
    case TPixelFormat::pf24bit: {
        // Four bytes at a time (the fourth is the next pixel's blue, replaced
        // by the opaque alpha), the last pixel alone so as not to read past it.
        size_t x = 0;
        for (; x + 1 < width; ++x, s += 3) out[x] = 0xFF000000u | ReadLE32(s);
        for (; x < width; ++x, s += 3) out[x] = 0xFF000000u | uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
        return;
    }
    case TPixelFormat::pf32bit:
        // Blue, green, red and the fourth byte as alpha, as stored.
        std::memcpy(out, s, width * 4);
        return;
    case TPixelFormat::pfCustom:
        for (size_t x = 0; x < width; ++x) {
            const uint32_t v = layout_.header.bitCount == 16 ? ReadLE16(s + 2 * x) : ReadLE32(s + 4 * x);
            out[x] =
                0xFF000000u | uint32_t(red_.Extract(v)) << 16 | uint32_t(green_.Extract(v)) << 8 | blue_.Extract(v);
        }
        return;
    case TPixelFormat::pfDevice: break;
    }
}

void TBmpRowReader::SendRows(TRowTarget& target) {
    const int64_t rows = layout_.rows;
    const uint64_t rowSize = layout_.rowSize;
    const int64_t block = std::clamp<int64_t>(int64_t(kBlockBytes / rowSize), 1, rows);
    std::vector<uint8_t> stored(size_t(uint64_t(block) * rowSize));
    for (int64_t y0 = 0; y0 < rows; y0 += block) {
        const int64_t y1 = std::min(rows, y0 + block);
        // Picture rows y0 .. y1 - 1 are the stored rows first .. first + (y1 - y0) - 1.
        const int64_t first = layout_.bottomUp ? rows - y1 : y0;
        const uint64_t from = uint64_t(first) * rowSize;
        const uint64_t bytes = uint64_t(y1 - y0) * rowSize;
        // Bytes past the data stay zero, as in the whole reader's picture.
        const uint64_t present = from < layout_.count ? std::min(bytes, layout_.count - from) : 0;
        size_t got = 0;
        if (present > 0) {
            stream_.SetPosition(layout_.pixelStart + int64_t(from));
            got = ReadSome(stream_, stored.data(), size_t(present));
        }
        std::fill(stored.begin() + ptrdiff_t(got), stored.begin() + ptrdiff_t(bytes), uint8_t(0));
        for (int64_t y = y0; y < y1; ++y) {
            const int64_t i = (layout_.bottomUp ? rows - 1 - y : y) - first;
            convert(stored.data() + size_t(i) * rowSize, target.NextRow());
            target.Push();
        }
    }
}
