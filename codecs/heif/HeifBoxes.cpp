// A small walk over the boxes of a HEIF file that finds the largest picture
// it declares anywhere: every `ispe` property (the primary picture, grid
// tiles, alpha and depth pictures, thumbnails) and the canvas of every grid
// and overlay item, read from the item's own data. libheif sizes its buffers
// by these before it checks them against each other.
#include "codecs/heif/HeifFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct TBytes {
    const uint8_t* p = nullptr;
    size_t n = 0;
};

uint64_t ReadBE(const uint8_t* p, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

// Calls visit(type, payload) for each box inside `span`; stops at the first
// box that does not fit.
template <typename Visit>
void ForEachBox(TBytes span, Visit visit) {
    size_t pos = 0;
    while (pos + 8 <= span.n) {
        uint64_t size = ReadBE(span.p + pos, 4);
        size_t head = 8;
        if (size == 1) {
            if (pos + 16 > span.n) return;
            size = ReadBE(span.p + pos + 8, 8);
            head = 16;
        } else if (size == 0) {
            size = span.n - pos;
        }
        if (size < head || size > span.n - pos) return;
        visit(span.p + pos + 4, TBytes{span.p + pos + head, size_t(size) - head});
        pos += size_t(size);
    }
}

bool Is(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

// Reads fixed-size fields from a payload; once past the end every read gives 0
// and ok() turns false.
class TCursor {
public:
    explicit TCursor(TBytes b) : b_(b) {}
    uint64_t Take(size_t bytes) {
        if (bytes > b_.n - pos_) {
            ok_ = false;
            pos_ = b_.n;
            return 0;
        }
        const uint64_t v = ReadBE(b_.p + pos_, bytes);
        pos_ += bytes;
        return v;
    }
    bool ok() const { return ok_; }

private:
    TBytes b_;
    size_t pos_ = 0;
    bool ok_ = true;
};

struct TLocation {
    uint32_t id = 0;
    int method = 0;
    uint64_t offset = 0;
};

}  // namespace

int64_t HeifDeclaredPixels(const uint8_t* file, size_t n) {
    int64_t largest = 0;
    auto consider = [&](uint64_t w, uint64_t h) {
        if (w > 0xFFFFFFFFu || h > 0xFFFFFFFFu) return;
        largest = std::max(largest, int64_t(w * h));
    };
    TBytes meta{};
    ForEachBox({file, n}, [&](const uint8_t* type, TBytes payload) {
        if (Is(type, "meta") && meta.p == nullptr && payload.n >= 4) meta = {payload.p + 4, payload.n - 4};
    });
    if (meta.p == nullptr) return 0;

    std::vector<uint32_t> canvases;  // grid and overlay items
    std::vector<uint8_t> canvasIsOverlay;
    std::vector<TLocation> locations;
    TBytes idat{};
    ForEachBox(meta, [&](const uint8_t* type, TBytes payload) {
        if (Is(type, "iprp")) {
            ForEachBox(payload, [&](const uint8_t* t, TBytes ipco) {
                if (!Is(t, "ipco")) return;
                ForEachBox(ipco, [&](const uint8_t* pt, TBytes prop) {
                    if (Is(pt, "ispe") && prop.n >= 12) consider(ReadBE(prop.p + 4, 4), ReadBE(prop.p + 8, 4));
                });
            });
        } else if (Is(type, "iinf") && payload.n >= 4) {
            const size_t skip = payload.p[0] == 0 ? 6 : 8;
            if (payload.n < skip) return;
            ForEachBox({payload.p + skip, payload.n - skip}, [&](const uint8_t* t, TBytes infe) {
                if (!Is(t, "infe") || infe.n < 4 || infe.p[0] < 2) return;
                TCursor c(infe);
                const int version = int(c.Take(1));
                c.Take(3);
                const auto id = uint32_t(c.Take(version == 2 ? 2 : 4));
                c.Take(2);
                const uint64_t itemType = c.Take(4);
                if (!c.ok()) return;
                if (itemType == ReadBE(reinterpret_cast<const uint8_t*>("grid"), 4) ||
                    itemType == ReadBE(reinterpret_cast<const uint8_t*>("iovl"), 4)) {
                    canvases.push_back(id);
                    canvasIsOverlay.push_back(itemType == ReadBE(reinterpret_cast<const uint8_t*>("iovl"), 4));
                }
            });
        } else if (Is(type, "idat")) {
            idat = payload;
        } else if (Is(type, "iloc")) {
            TCursor c(payload);
            const int version = int(c.Take(1));
            c.Take(3);
            const uint64_t sizes = c.Take(2);
            const size_t offsetSize = size_t(sizes >> 12), lengthSize = size_t(sizes >> 8 & 15);
            const size_t baseSize = size_t(sizes >> 4 & 15), indexSize = version >= 1 ? size_t(sizes & 15) : 0;
            const uint64_t count = c.Take(version < 2 ? 2 : 4);
            for (uint64_t i = 0; i < count && c.ok(); ++i) {
                TLocation loc;
                loc.id = uint32_t(c.Take(version < 2 ? 2 : 4));
                if (version >= 1) loc.method = int(c.Take(2) & 15);
                c.Take(2);
                const uint64_t base = c.Take(baseSize);
                const uint64_t extents = c.Take(2);
                for (uint64_t e = 0; e < extents && c.ok(); ++e) {
                    c.Take(indexSize);
                    const uint64_t offset = c.Take(offsetSize);
                    c.Take(lengthSize);
                    if (e == 0) loc.offset = base + offset;
                }
                if (c.ok()) locations.push_back(loc);
            }
        }
    });

    for (size_t k = 0; k < canvases.size(); ++k) {
        for (const TLocation& loc : locations) {
            if (loc.id != canvases[k] || (loc.method != 0 && loc.method != 1)) continue;
            const TBytes source = loc.method == 0 ? TBytes{file, n} : idat;
            if (source.p == nullptr || loc.offset >= source.n) continue;
            TCursor c({source.p + loc.offset, source.n - size_t(loc.offset)});
            c.Take(1);
            const uint64_t flags = c.Take(1);
            if (canvasIsOverlay[k])
                c.Take(8);  // the canvas fill colour
            else
                c.Take(2);  // rows and columns
            const size_t field = (flags & 1) ? 4 : 2;
            const uint64_t w = c.Take(field), h = c.Take(field);
            if (c.ok()) consider(w, h);
        }
    }
    return largest;
}
