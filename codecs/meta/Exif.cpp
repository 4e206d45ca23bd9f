#include "codecs/meta/Exif.h"

#include <algorithm>
#include <utility>

namespace velmora::meta {

namespace {

constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagPixelXDimension = 0xA002;
constexpr uint16_t kTagPixelYDimension = 0xA003;
constexpr uint16_t kTagStripOffsets = 0x0111;
constexpr uint16_t kTagStripByteCounts = 0x0117;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeIfd = 13;

constexpr size_t kEntrySize = 12;
// Sub-IFDs nest at most this deep (IFD0 -> Exif -> Interop is 2).
constexpr int kMaxDepth = 4;
// Strip tables longer than this are not followed (a thumbnail has a few).
constexpr uint32_t kMaxStrips = 1024;

// Bytes per value of a TIFF field type; 0 for types this reader does not know.
uint64_t TypeSize(uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
    }
}

// Bounds-checked access to a block in its own byte order.
struct Block {
    const uint8_t* p = nullptr;
    size_t size = 0;
    bool little = true;

    // [off, off + len) lies inside the block (64-bit: no wrap).
    bool Holds(uint64_t off, uint64_t len) const { return off <= size && len <= size - off; }
    uint16_t U16(size_t off) const {
        return little ? uint16_t(p[off] | p[off + 1] << 8) : uint16_t(p[off] << 8 | p[off + 1]);
    }
    uint32_t U32(size_t off) const {
        return little ? uint32_t(p[off]) | uint32_t(p[off + 1]) << 8 | uint32_t(p[off + 2]) << 16 |
                            uint32_t(p[off + 3]) << 24
                      : uint32_t(p[off]) << 24 | uint32_t(p[off + 1]) << 16 | uint32_t(p[off + 2]) << 8 |
                            uint32_t(p[off + 3]);
    }
};

// The TIFF header: byte order and the offset of IFD0.
bool OpenBlock(const uint8_t* p, size_t size, Block& b, uint32_t& ifd0) {
    if (p == nullptr || size < 8) return false;
    b.p = p;
    b.size = size;
    if (p[0] == 'I' && p[1] == 'I')
        b.little = true;
    else if (p[0] == 'M' && p[1] == 'M')
        b.little = false;
    else
        return false;
    if (b.U16(2) != 42) return false;
    ifd0 = b.U32(4);
    return true;
}

struct Ifd {
    uint32_t offset = 0;
    uint16_t count = 0;
    bool hasNext = false;  // the 4-byte link after the entries is inside the block
    size_t Entry(uint16_t i) const { return size_t(offset) + 2 + kEntrySize * i; }
    size_t NextPos() const { return Entry(count); }
    uint64_t End() const { return uint64_t(NextPos()) + (hasNext ? 4 : 0); }
};

// An IFD whose entry table lies wholly inside the block, past the header.
bool ReadIfd(const Block& b, uint32_t offset, Ifd& ifd) {
    if (offset < 8 || !b.Holds(offset, 2)) return false;
    ifd.offset = offset;
    ifd.count = b.U16(offset);
    if (!b.Holds(uint64_t(offset) + 2, kEntrySize * uint64_t(ifd.count))) return false;
    ifd.hasNext = b.Holds(ifd.NextPos(), 4);
    return true;
}

struct Field {
    uint16_t tag, type;
    uint32_t count;
    size_t valuePos;   // where the value (inline) or its offset is stored
};

Field FieldAt(const Block& b, const Ifd& ifd, uint16_t i) {
    const size_t e = ifd.Entry(i);
    return Field{b.U16(e), b.U16(e + 2), b.U32(e + 4), e + 8};
}

// The bytes a field's values occupy outside the entry, when they do not fit
// the entry's 4 bytes; false when there are none or they leave the block.
bool OutOfLine(const Block& b, const Field& f, uint64_t& off, uint64_t& len) {
    len = TypeSize(f.type) * uint64_t(f.count);  // < 2^36: no overflow
    if (len <= 4) return false;
    off = b.U32(f.valuePos);
    return b.Holds(off, len);
}

using Range = std::pair<uint64_t, uint64_t>;  // [first, last)

// Patches one byte-order-aware value into the copy.
struct Writer {
    std::vector<uint8_t>& out;
    bool little;
    void U16(size_t off, uint16_t v) {
        out[off] = uint8_t(little ? v : v >> 8);
        out[off + 1] = uint8_t(little ? v >> 8 : v);
    }
    void U32(size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[off + size_t(i)] = uint8_t(v >> (little ? 8 * i : 24 - 8 * i));
    }
    // The entry becomes one value of `type` (SHORT or LONG), stored inline.
    void Inline(const Field& f, uint16_t type, uint32_t value) {
        U16(f.valuePos - 8 + 2, type);
        U32(f.valuePos - 4, 1);
        if (type == kTypeShort) {
            U16(f.valuePos, uint16_t(value));
            U16(f.valuePos + 2, 0);
        } else {
            U32(f.valuePos, value);
        }
    }
};

struct Walk {
    const Block& b;
    Writer w;
    const TExifRewrite& how;
    std::vector<uint32_t> visited;
    std::vector<Range> live;

    // Records an IFD table and its values as in use and applies the patches
    // that belong to it; follows the sub-IFD links it holds.
    void Visit(const Ifd& ifd, int depth, bool isIfd0) {
        visited.push_back(ifd.offset);
        live.emplace_back(ifd.offset, ifd.End());
        for (uint16_t i = 0; i < ifd.count; ++i) {
            const Field f = FieldAt(b, ifd, i);
            uint64_t off = 0, len = 0;
            if (OutOfLine(b, f, off, len)) live.emplace_back(off, off + len);
            if (isIfd0 && f.tag == kTagOrientation && how.resetOrientation) w.Inline(f, kTypeShort, 1);
            if (!isIfd0 && (f.tag == kTagPixelXDimension || f.tag == kTagPixelYDimension)) {
                const uint32_t v = f.tag == kTagPixelXDimension ? how.width : how.height;
                if (v != 0 && f.count == 1 && (f.type == kTypeShort || f.type == kTypeLong))
                    w.Inline(f, f.type == kTypeShort && v <= 0xFFFF ? kTypeShort : kTypeLong, v);
            }
            const bool link = f.tag == kTagExifIfd || f.tag == kTagGpsIfd || f.tag == kTagInteropIfd;
            if (link && depth < kMaxDepth && f.count == 1 && (f.type == kTypeLong || f.type == kTypeIfd)) {
                const uint32_t sub = b.U32(f.valuePos);
                Ifd child;
                if (std::find(visited.begin(), visited.end(), sub) == visited.end() && ReadIfd(b, sub, child))
                    Visit(child, depth + 1, false);
            }
        }
    }
};

// The byte ranges only IFD1 uses: its table, its values, its thumbnail.
std::vector<Range> ThumbnailRanges(const Block& b, const Ifd& ifd1) {
    std::vector<Range> dead;
    dead.emplace_back(ifd1.offset, ifd1.End());
    uint64_t jpegOffset = 0, jpegLength = 0;
    bool haveOffset = false, haveLength = false;
    Field strips{}, stripCounts{};
    bool haveStrips = false, haveCounts = false;
    for (uint16_t i = 0; i < ifd1.count; ++i) {
        const Field f = FieldAt(b, ifd1, i);
        uint64_t off = 0, len = 0;
        if (OutOfLine(b, f, off, len)) dead.emplace_back(off, off + len);
        const bool single = f.count == 1 && (f.type == kTypeShort || f.type == kTypeLong);
        const uint32_t value = f.type == kTypeShort ? b.U16(f.valuePos) : b.U32(f.valuePos);
        if (f.tag == kTagThumbnailOffset && single) jpegOffset = value, haveOffset = true;
        if (f.tag == kTagThumbnailLength && single) jpegLength = value, haveLength = true;
        if (f.tag == kTagStripOffsets) strips = f, haveStrips = true;
        if (f.tag == kTagStripByteCounts) stripCounts = f, haveCounts = true;
    }
    if (haveOffset && haveLength && b.Holds(jpegOffset, jpegLength)) dead.emplace_back(jpegOffset, jpegOffset + jpegLength);
    // An uncompressed thumbnail: strip i at StripOffsets[i], StripByteCounts[i] long.
    if (haveStrips && haveCounts && strips.count == stripCounts.count && strips.count <= kMaxStrips) {
        auto values = [&](const Field& f, std::vector<uint32_t>& v) {
            const uint64_t size = TypeSize(f.type);
            if (f.type != kTypeShort && f.type != kTypeLong) return false;
            uint64_t at = f.valuePos;
            if (size * f.count > 4) at = b.U32(f.valuePos);
            if (!b.Holds(at, size * f.count)) return false;
            for (uint32_t i = 0; i < f.count; ++i)
                v.push_back(size == 2 ? b.U16(size_t(at + 2 * i)) : b.U32(size_t(at + 4 * i)));
            return true;
        };
        std::vector<uint32_t> offs, lens;
        if (values(strips, offs) && values(stripCounts, lens))
            for (size_t i = 0; i < offs.size(); ++i)
                if (b.Holds(offs[i], lens[i])) dead.emplace_back(offs[i], uint64_t(offs[i]) + lens[i]);
    }
    return dead;
}

}  // namespace

int ExifOrientation(const uint8_t* tiff, size_t size) {
    Block b;
    uint32_t first = 0;
    Ifd ifd0;
    if (!OpenBlock(tiff, size, b, first) || !ReadIfd(b, first, ifd0)) return 0;
    int found = 0;
    int value = 0;
    for (uint16_t i = 0; i < ifd0.count; ++i) {
        const Field f = FieldAt(b, ifd0, i);
        if (f.tag != kTagOrientation) continue;
        ++found;
        value = f.type == kTypeShort && f.count == 1 ? b.U16(f.valuePos) : 0;
    }
    return found == 1 && value >= 1 && value <= 8 ? value : 0;
}

std::optional<std::vector<uint8_t>> RewriteExif(const uint8_t* tiff, size_t size, const TExifRewrite& how) {
    Block b;
    uint32_t first = 0;
    Ifd ifd0;
    if (!OpenBlock(tiff, size, b, first) || !ReadIfd(b, first, ifd0)) return std::nullopt;

    std::vector<uint8_t> out(tiff, tiff + size);
    Walk walk{b, Writer{out, b.little}, how, {}, {}};
    walk.live.emplace_back(0, 8);
    walk.Visit(ifd0, 0, true);

    if (!ifd0.hasNext) return out;
    const uint32_t next = b.U32(ifd0.NextPos());
    if (next == 0) return out;
    walk.w.U32(ifd0.NextPos(), 0);  // IFD1 and anything after it are unlinked

    Ifd ifd1;
    if (std::find(walk.visited.begin(), walk.visited.end(), next) != walk.visited.end() || !ReadIfd(b, next, ifd1))
        return out;
    // Clear what only IFD1 used; a byte that something still linked also uses
    // (a lying offset) is left alone. Coverage is counted through difference
    // arrays, so a table of many overlapping ranges costs one pass.
    auto coverage = [size](const std::vector<Range>& ranges) {
        std::vector<int32_t> d(size + 1, 0);
        for (const Range& r : ranges) {
            ++d[size_t(r.first)];
            --d[size_t(r.second)];
        }
        for (size_t i = 1; i <= size; ++i) d[i] += d[i - 1];
        return d;
    };
    const std::vector<int32_t> unused = coverage(ThumbnailRanges(b, ifd1));
    const std::vector<int32_t> used = coverage(walk.live);
    uint64_t liveEnd = 0;
    for (const Range& r : walk.live) liveEnd = std::max(liveEnd, r.second);
    std::vector<bool> dead(size, false);
    for (size_t i = 0; i < size; ++i) {
        dead[i] = unused[i] > 0 && used[i] == 0;
        if (dead[i]) out[i] = 0;
    }
    size_t keep = size;
    while (keep > liveEnd && dead[keep - 1]) --keep;
    out.resize(keep);
    return out;
}

}  // namespace velmora::meta
