#include "batch/PhotoSteps.h"

#include "codecs/jpeg/JPEGImage.h"
#include "codecs/meta/Exif.h"
#include "codecs/meta/IccProfile.h"
#include "codecs/meta/Xmp.h"
#include "codecs/png/PngImage.h"
#include "raster/Bitmap32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>

using namespace velmora::meta;

namespace {

constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;

std::span<const uint8_t> Bytes(const std::vector<uint8_t>& v) { return {v.data(), v.size()}; }

bool HasExifPrefix(std::span<const uint8_t> data) {
    return data.size() >= sizeof kExifPrefix && std::memcmp(data.data(), kExifPrefix, sizeof kExifPrefix) == 0;
}

// Orientation and block of the file's EXIF, given every EXIF block it has.
void TakeExif(TPhotoMetadata& meta, const std::vector<std::span<const uint8_t>>& blocks) {
    // Two blocks may disagree; neither is believed.
    if (blocks.size() != 1) return;
    meta.exif.assign(blocks[0].begin(), blocks[0].end());
    meta.orientation = ExifOrientation(meta.exif.data(), meta.exif.size());
}

bool IsMainXmpSegment(const std::vector<uint8_t>& payload) {
    static constexpr char kMain[] = "http://ns.adobe.com/xap/1.0/";
    return payload.size() >= sizeof kMain && std::memcmp(payload.data(), kMain, sizeof kMain) == 0;
}

const TChunkName kExifChunk = MakeChunkName("eXIf");
const TChunkName kIccChunk = MakeChunkName("iCCP");
const TChunkName kTextChunk = MakeChunkName("iTXt");

}  // namespace

// ---------------------------------------------------------------- JPEG

TPhotoMetadata ReadPhotoMetadata(const TJPEGImage& jpg) {
    TPhotoMetadata meta;
    std::vector<std::span<const uint8_t>> exif, icc;
    for (const TJPEGMarker& m : jpg.Markers()) {
        const std::span<const uint8_t> data = Bytes(m.Data);
        if (m.Code == kApp1 && HasExifPrefix(data))
            exif.push_back(data.subspan(sizeof kExifPrefix));
        else if (m.Code == kApp1 && IsXmpSegment(data))
            meta.xmp.push_back(m.Data);
        else if (m.Code == kApp2 && IsIccSegment(data))
            icc.push_back(data);
    }
    TakeExif(meta, exif);
    if (!icc.empty()) {
        auto profile = AssembleIccSegments(icc);
        if (profile && IccProfileFitsRgb(Bytes(*profile))) meta.icc = std::move(*profile);
    }
    return meta;
}

void WritePhotoMetadata(TJPEGImage& jpg, const TPhotoMetadata& meta, bool resetOrientation, int32_t width,
                        int32_t height) {
    std::vector<TJPEGMarker> markers;
    if (!meta.exif.empty()) {
        const TExifRewrite how{resetOrientation, uint32_t(width), uint32_t(height)};
        if (auto tiff = RewriteExif(meta.exif.data(), meta.exif.size(), how)) {
            TJPEGMarker m{kApp1, std::vector<uint8_t>(kExifPrefix, kExifPrefix + sizeof kExifPrefix)};
            m.Data.insert(m.Data.end(), tiff->begin(), tiff->end());
            markers.push_back(std::move(m));
        }
    }
    for (const auto& packet : meta.xmp) {
        TJPEGMarker m{kApp1, packet};
        // Extension parts carry a digest of the whole extension: left as they are.
        if (resetOrientation && IsMainXmpSegment(packet)) ResetXmpOrientation(m.Data);
        markers.push_back(std::move(m));
    }
    if (!meta.icc.empty())
        for (auto& payload : SplitIccProfile(Bytes(meta.icc))) markers.push_back(TJPEGMarker{kApp2, std::move(payload)});
    jpg.SetExtraMarkers(std::move(markers));
}

// ---------------------------------------------------------------- PNG

TPhotoMetadata ReadPhotoMetadata(TPngImage& png) {
    TPhotoMetadata meta;
    std::vector<std::span<const uint8_t>> exif;
    int profiles = 0;
    std::span<const uint8_t> iccp;
    TPNGList& chunks = png.Chunks();
    for (int i = 0; i < chunks.Count(); ++i) {
        const TChunk* c = chunks.Item(i);
        const std::span<const uint8_t> data(c->Data(), c->DataSize());
        if (c->Name() == kExifChunk) {
            // Some writers keep the JPEG segment's prefix in the chunk.
            exif.push_back(HasExifPrefix(data) ? data.subspan(sizeof kExifPrefix) : data);
        } else if (c->Name() == kTextChunk && IsXmpTextChunk(data)) {
            meta.xmp.emplace_back(data.begin(), data.end());
        } else if (c->Name() == kIccChunk) {
            ++profiles;
            iccp = data;
        }
    }
    TakeExif(meta, exif);
    if (profiles == 1) {
        const auto profile = IccFromPngChunk(iccp);
        if (profile && IccProfileFitsRgb(Bytes(*profile))) meta.icc.assign(iccp.begin(), iccp.end());
    }
    return meta;
}

namespace {

// iTXt: keyword, 0, compression flag, method, language, 0, translated
// keyword, 0, text. Only uncompressed text can be patched in place.
bool TextChunkIsCompressed(const std::vector<uint8_t>& data) {
    const auto zero = std::find(data.begin(), data.end(), uint8_t(0));
    return zero == data.end() || zero + 1 == data.end() || zero[1] != 0;
}

}  // namespace

void WritePhotoMetadata(TPngImage& png, const TPhotoMetadata& meta, bool resetOrientation, int32_t width,
                        int32_t height) {
    // Ancillary chunks go right after the header: iCCP must precede PLTE and
    // IDAT, eXIf must precede IDAT.
    int at = 1;
    auto insert = [&](const TChunkName& name, const std::vector<uint8_t>& data) {
        auto chunk = std::make_unique<TChunk>(&png, name);
        chunk->ResizeData(uint32_t(data.size()));
        if (!data.empty()) std::memcpy(chunk->Data(), data.data(), data.size());
        png.Chunks().Insert(std::move(chunk), at++);
    };
    if (!meta.icc.empty()) insert(kIccChunk, meta.icc);
    if (!meta.exif.empty()) {
        const TExifRewrite how{resetOrientation, uint32_t(width), uint32_t(height)};
        if (auto tiff = RewriteExif(meta.exif.data(), meta.exif.size(), how)) insert(kExifChunk, *tiff);
    }
    for (const auto& text : meta.xmp) {
        std::vector<uint8_t> copy = text;
        if (resetOrientation && !TextChunkIsCompressed(copy)) ResetXmpOrientation(copy);
        insert(kTextChunk, copy);
    }
}

// ---------------------------------------------------------------- pixels

void OrientUpright(TBitmap32& img, int orientation) {
    if (orientation < 2 || orientation > 8 || img.Empty()) return;
    const int32_t w = img.Width(), h = img.Height();
    const size_t count = size_t(w) * size_t(h);
    // The stored pixels, copied without first clearing the copy.
    const std::unique_ptr<TColor32[]> stored(new TColor32[count]);
    std::memcpy(stored.get(), img.Bits(), count * sizeof(TColor32));
    const bool swap = OrientationSwapsSides(orientation);
    const int32_t uw = swap ? h : w, uh = swap ? w : h;
    img.SetSize(uw, uh);
    // Upright pixel (x, y) comes from stored pixel (sx, sy). The quarter
    // turns read the stored picture down its columns, so the work goes in
    // tiles that stay in the cache.
    constexpr int32_t tile = 64;
    for (int32_t ty = 0; ty < uh; ty += tile) {
        for (int32_t tx = 0; tx < uw; tx += tile) {
            const int32_t yEnd = std::min(uh, ty + tile), xEnd = std::min(uw, tx + tile);
            for (int32_t y = ty; y < yEnd; ++y) {
                TColor32* row = img.ScanLine(y);
                for (int32_t x = tx; x < xEnd; ++x) {
                    int32_t sx = x, sy = y;
                    switch (orientation) {
                    case 2: sx = w - 1 - x; break;                  // mirrored left-right
                    case 3: sx = w - 1 - x; sy = h - 1 - y; break;  // turned half round
                    case 4: sy = h - 1 - y; break;                  // mirrored top-bottom
                    case 5: sx = y; sy = x; break;                  // mirrored about the main diagonal
                    case 6: sx = y; sy = h - 1 - x; break;          // stored a quarter turn anticlockwise
                    case 7: sx = w - 1 - y; sy = h - 1 - x; break;  // mirrored about the other diagonal
                    case 8: sx = w - 1 - y; sy = x; break;          // stored a quarter turn clockwise
                    default: break;
                    }
                    row[x] = stored[size_t(sy) * size_t(w) + size_t(sx)];
                }
            }
        }
    }
    img.Changed();
}

bool AssignWithAlpha(TBitmap32& img, TPngImage& png) {
    if (!png.Transparent()) return false;
    img.SetSize(png.Width(), png.Height());
    if (img.Empty()) return false;
    TCanvas canvas = img.Canvas();
    png.DrawWithAlpha(canvas);
    const TColor32* p = img.Bits();
    const size_t n = size_t(img.Width()) * size_t(img.Height());
    const bool transparent = std::any_of(p, p + n, [](TColor32 c) { return c >> 24 != 0xFF; });
    img.Changed();
    return transparent;
}

void Unpremultiply(TBitmap32& img) {
    if (img.Empty()) return;
    TColor32* p = img.Bits();
    const size_t n = size_t(img.Width()) * size_t(img.Height());
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = p[i] >> 24;
        if (a == 0xFF) continue;
        if (a == 0) {
            p[i] = 0;
            continue;
        }
        // Resampling keeps every channel at or below alpha; the limit guards
        // the rounding.
        auto channel = [&](int shift) {
            const uint32_t c = (p[i] >> shift) & 0xFF;
            return std::min<uint32_t>(255, (c * 255 + a / 2) / a) << shift;
        };
        p[i] = a << 24 | channel(16) | channel(8) | channel(0);
    }
    img.Changed();
}
