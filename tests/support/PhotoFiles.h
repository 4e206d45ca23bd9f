// Builders for photos as cameras write them: TIFF/EXIF blocks in either byte
// order, JPEG files with extra marker segments, PNG files with extra chunks
// and RGBA pictures. Written from the file formats alone, independent of the
// codecs under test.
#pragma once

#include "tests/support/PngReference.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace photofiles {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- TIFF / EXIF

// One IFD entry; `value` holds count x type-size bytes already in the block's
// byte order (see TiffBuilder::Short etc.).
struct TiffEntry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    Bytes value;
};

// Lays out: header, IFD0, [Exif IFD], [IFD1], then every out-of-line value
// and the thumbnail. Offsets are counted from the start of the block.
class TiffBuilder {
public:
    explicit TiffBuilder(bool little) : little_(little) {}

    Bytes U16(uint16_t v) const { return little_ ? Bytes{uint8_t(v), uint8_t(v >> 8)} : Bytes{uint8_t(v >> 8), uint8_t(v)}; }
    Bytes U32(uint32_t v) const {
        Bytes b(4);
        for (int i = 0; i < 4; ++i) b[size_t(i)] = uint8_t(v >> (little_ ? 8 * i : 24 - 8 * i));
        return b;
    }
    TiffEntry Short(uint16_t tag, uint16_t v) const { return {tag, 3, 1, U16(v)}; }
    TiffEntry Long(uint16_t tag, uint32_t v) const { return {tag, 4, 1, U32(v)}; }
    TiffEntry Ascii(uint16_t tag, const std::string& s) const {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        return {tag, 2, uint32_t(b.size()), b};
    }

    std::vector<TiffEntry> ifd0, exif;
    Bytes thumbnail;  // a JPEG thumbnail in IFD1 when not empty

    Bytes Build() const {
        std::vector<TiffEntry> first = ifd0, sub = exif, second;
        if (!sub.empty()) first.push_back(Long(0x8769, 0));  // pointed below
        if (!thumbnail.empty()) {
            second.push_back(Short(0x0103, 6));
            second.push_back(Long(0x0201, 0));  // pointed below
            second.push_back(Long(0x0202, uint32_t(thumbnail.size())));
        }
        auto ifdSize = [](const std::vector<TiffEntry>& e) { return e.empty() ? 0u : uint32_t(2 + 12 * e.size() + 4); };
        const uint32_t exifAt = 8 + ifdSize(first);
        const uint32_t ifd1At = exifAt + ifdSize(sub);
        const uint32_t dataAt = ifd1At + ifdSize(second);
        // Values longer than 4 bytes go to the data area; every entry then
        // holds 4 value bytes (the value itself or its offset).
        Bytes data;
        auto layout = [&](std::vector<TiffEntry>& entries) {
            for (TiffEntry& e : entries) {
                if (e.value.size() > 4) {
                    const uint32_t at = dataAt + uint32_t(data.size());
                    Append(data, e.value);
                    if (data.size() % 2) data.push_back(0);
                    e.value = U32(at);
                }
                e.value.resize(4, 0);
            }
        };
        if (!sub.empty()) first.back().value = U32(exifAt);
        layout(first);
        layout(sub);
        if (!second.empty()) second[1].value = U32(dataAt + uint32_t(data.size()));
        layout(second);

        Bytes out = little_ ? Bytes{'I', 'I', 42, 0} : Bytes{'M', 'M', 0, 42};
        Append(out, U32(8));
        auto writeIfd = [&](const std::vector<TiffEntry>& entries, uint32_t next) {
            if (entries.empty()) return;
            Append(out, U16(uint16_t(entries.size())));
            for (const TiffEntry& e : entries) {
                Append(out, U16(e.tag));
                Append(out, U16(e.type));
                Append(out, U32(e.count));
                Append(out, e.value);
            }
            Append(out, U32(next));
        };
        writeIfd(first, second.empty() ? 0 : ifd1At);
        writeIfd(sub, 0);
        writeIfd(second, 0);
        Append(out, data);
        Append(out, thumbnail);
        return out;
    }

    static void Append(Bytes& out, const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }

private:
    bool little_;
};

// A TIFF block with just an orientation tag in IFD0.
inline Bytes ExifWithOrientation(uint16_t orientation, bool little = true) {
    TiffBuilder t(little);
    t.ifd0.push_back(t.Short(0x0112, orientation));
    return t.Build();
}

// ---------------------------------------------------------------- JPEG

// The file with extra marker segments (code 0xE0..0xEF, payload without
// length) inserted right after the start-of-image marker.
inline Bytes JpegWithSegments(const Bytes& jpeg, const std::vector<std::pair<int, Bytes>>& segments) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (const auto& [code, payload] : segments) {
        const size_t len = payload.size() + 2;
        out.push_back(0xFF);
        out.push_back(uint8_t(code));
        out.push_back(uint8_t(len >> 8));
        out.push_back(uint8_t(len));
        out.insert(out.end(), payload.begin(), payload.end());
    }
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// An APP1 "Exif" payload around a TIFF block.
inline Bytes ExifSegment(const Bytes& tiff) {
    Bytes b{'E', 'x', 'i', 'f', 0, 0};
    b.insert(b.end(), tiff.begin(), tiff.end());
    return b;
}

// An APP2 "ICC_PROFILE" payload: sequence number, count, profile piece.
inline Bytes IccSegment(uint8_t seq, uint8_t count, const Bytes& piece) {
    const char name[] = "ICC_PROFILE";
    Bytes b(name, name + sizeof name);
    b.push_back(seq);
    b.push_back(count);
    b.insert(b.end(), piece.begin(), piece.end());
    return b;
}

// A made-up but well-formed ICC profile of `size` bytes (at least 128) for
// the colour space "RGB " or "GRAY": header fields the readers check, the
// rest a byte pattern.
inline Bytes IccProfile(uint32_t size, const char* space = "RGB ") {
    Bytes p(size);
    for (uint32_t i = 0; i < size; ++i) p[i] = uint8_t(i * 7 + 3);
    for (int i = 0; i < 4; ++i) p[size_t(i)] = uint8_t(size >> (24 - 8 * i));
    std::memcpy(&p[16], space, 4);
    std::memcpy(&p[36], "acsp", 4);
    return p;
}

// ---------------------------------------------------------------- PNG

// An 8-bit RGBA (hasAlpha) or RGB PNG of pixels 0xAARRGGBB, top row first,
// with extra chunks placed right after IHDR.
inline Bytes PngRgba(uint32_t w, uint32_t h, const std::vector<uint32_t>& pixels, bool hasAlpha = true,
                     const std::vector<std::pair<std::string, Bytes>>& extra = {}) {
    pngref::Builder png;
    png.Ihdr(w, h, 8, uint8_t(hasAlpha ? 6 : 2));
    for (const auto& [type, data] : extra) png.Chunk(type, data);
    Bytes raw;
    for (uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t p = pixels[size_t(y) * w + x];
            for (int shift : {16, 8, 0}) raw.push_back(uint8_t(p >> shift));
            if (hasAlpha) raw.push_back(uint8_t(p >> 24));
        }
    }
    return png.Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes;
}

// iCCP chunk data for a profile.
inline Bytes IccpChunk(const Bytes& profile) {
    Bytes b{'i', 'c', 'c', 0, 0};
    const Bytes z = pngref::Deflate(profile);
    b.insert(b.end(), z.begin(), z.end());
    return b;
}

// The chunks of a PNG file in order: type and data (CRCs not checked).
inline std::vector<std::pair<std::string, Bytes>> PngChunks(const Bytes& file) {
    std::vector<std::pair<std::string, Bytes>> chunks;
    for (pngref::RawChunk& c : pngref::Chunks(file)) chunks.emplace_back(c.type, std::move(c.data));
    return chunks;
}

}  // namespace photofiles
