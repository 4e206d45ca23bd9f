#include "codecs/png/PngImage.h"
#include "platform/Picture.h"

#include "codecs/png/PngRows.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Raises the picture's "being created" flag for the life of the scope.
struct CreatingScope {
    bool& flag;
    explicit CreatingScope(bool& f) : flag(f) { flag = true; }
    ~CreatingScope() { flag = false; }
    CreatingScope(const CreatingScope&) = delete;
    CreatingScope& operator=(const CreatingScope&) = delete;
};

bool IsType(const TChunkName& name, const char (&s)[5]) { return name == MakeChunkName(s); }

// Colour key of a bit-transparent picture: pixels that show it keep the canvas.
struct ColourKey {
    bool valid = false;
    bool byIndex = false;  // palette pictures: one palette index
    unsigned index = 0;
    uint32_t rgb = 0;      // 0x00RRGGBB otherwise
};

uint32_t QuadRgb(const TRGBQuad& q) { return uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue; }

}  // namespace

TPngImage::TPngImage() { InitializeGamma(); }

TPngImage::~TPngImage() { ClearChunks(); }

void TPngImage::ClearChunks() { fChunkList.Clear(); }

void TPngImage::InitializeGamma() {
    for (unsigned i = 0; i < 256; ++i) {
        GammaTable[i] = uint8_t(i);
        InverseGamma[i] = uint8_t(i);
    }
}

void TPngImage::ApplyGamma(uint32_t g) {
    // Display gamma 2.2; rounding to nearest, ties to even.
    const long double exponent = 1.0L / ((long double)g / 100000.0L * 2.2L);
    const int savedRound = std::fegetround();
    std::fesetround(FE_TONEAREST);
    for (unsigned i = 0; i < 256; ++i) {
        const long double v = std::pow((long double)i / 255.0L, exponent) * 255.0L;
        const long double r = std::nearbyint(v);
        GammaTable[i] = uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
        InverseGamma[GammaTable[i]] = uint8_t(i);
    }
    std::fesetround(savedRound);
}

void TPngImage::SetCompressionLevel(TCompressionLevel level) { fCompressionLevel = std::clamp(level, 0, 9); }

TChunkIHDR* TPngImage::Header() {
    auto* h = dynamic_cast<TChunkIHDR*>(fChunkList.Item(0));
    if (!h) RaiseError<EPNGHeaderNotPresent>();
    return h;
}

int32_t TPngImage::Width() {
    auto* h = dynamic_cast<TChunkIHDR*>(fChunkList.Item(0));
    return h ? int32_t(h->IHDRData.Width) : 0;
}

int32_t TPngImage::Height() {
    auto* h = dynamic_cast<TChunkIHDR*>(fChunkList.Item(0));
    return h ? int32_t(h->IHDRData.Height) : 0;
}

uint8_t* TPngImage::Scanline(int32_t y) {
    TChunkIHDR* h = Header();
    if (!h->HasImage() || y < 0 || uint32_t(y) >= h->IHDRData.Height) return nullptr;
    return h->ScanLine(uint32_t(y));
}

uint8_t* TPngImage::AlphaScanline(int32_t y) {
    TChunkIHDR* h = Header();
    if (!h->HasImage() || y < 0 || uint32_t(y) >= h->IHDRData.Height) return nullptr;
    return h->AlphaScanLine(uint32_t(y));
}

// ---------------------------------------------------------------- reading

void TPngImage::LoadFromStream(TStream& stream) {
    ShortData = false;
    ClearChunks();
    InitializeGamma();

    uint8_t signature[8] = {};
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, kPngSignature, 8) != 0)
        RaiseError<EPNGInvalidFileHeader>();

    bool hasImageData = false;
    for (;;) {
        uint8_t head[4];
        if (stream.Read(head, 4) != 4) RaiseError<EPngUnexpectedEnd>();
        const uint32_t length = ReadBE32(head);
        TChunkName name;
        if (stream.Read(name.data(), 4) != 4) RaiseError<EPngUnexpectedEnd>();

        if (fChunkList.Count() == 0 && !IsType(name, "IHDR")) RaiseError<EPNGIHDRNotFirst>();
        if ((IsType(name, "IDAT") && hasImageData) || IsType(name, "cHRM")) {
            stream.Seek(int64_t(length) + int64_t(kChunkCrcSize), TSeekOrigin::soCurrent);
            continue;
        }
        // A length the format does not allow, or one that runs past the end of
        // the stream, is a chunk cut short: refused before anything is sized
        // from it.
        if (length > kMaxChunkLength || int64_t(length) > stream.Remaining()) RaiseError<EPngInvalidCRC>();
        if (IsType(name, "IDAT")) hasImageData = true;

        std::unique_ptr<TChunk> chunk = CreateRegisteredChunk(this, name);
        if (!chunk) {
            if ((name[0] & 0x20) == 0) RaiseError<EPNGUnknownCriticalChunk>();
            chunk = std::make_unique<TChunk>(this, name);
        }
        const bool goOn = chunk->LoadFromStream(stream, name, length);
        fChunkList.Append(std::move(chunk));
        if (!goOn || IsType(name, "IEND")) break;
    }
    if (!hasImageData) RaiseError<EPNGNoImageData>();
}

// ---------------------------------------------------------------- writing

void TPngImage::SaveToStream(TStream& stream) {
    TChunkIHDR* h = Header();
    if (h->IHDRData.Width == 0 || h->IHDRData.Height == 0 || !h->HasImage()) RaiseError<EPNGInvalidSize>();
    stream.WriteBuffer(kPngSignature, 8);
    for (int i = 0; i < fChunkList.Count(); ++i) fChunkList.Item(i)->SaveToStream(stream);
}

void TPngImage::Assign(std::nullptr_t) { ClearChunks(); }

void TPngImage::Assign(const TPngImage& source) {
    if (&source == this) return;
    ClearChunks();
    fFilters = source.fFilters;
    fCompressionLevel = source.fCompressionLevel;
    fMaxIdatSize = source.fMaxIdatSize;
    fInterlaceMethod = source.fInterlaceMethod;
    for (int i = 0; i < source.fChunkList.Count(); ++i) fChunkList.Append(source.fChunkList.Item(i)->Clone(this));
    // Both tables: the copy's colour key is formed through GammaTable.
    GammaTable = source.GammaTable;
    InverseGamma = source.InverseGamma;
}

void TPngImage::Assign(const TBitmap& source) {
    // Transparent() is a plain getter of the bitmap's flag.
    const bool transparent = const_cast<TBitmap&>(source).Transparent();
    AssignHandle(source, transparent, source.TransparentColor & 0x00FFFFFFu);
}

void TPngImage::AssignHandle(const TBitmap& bitmap, bool transparent, uint32_t transparentColor) {
    const int32_t width = bitmap.Width(), height = bitmap.Height();
    const int bits = BitsPerPixel(bitmap.PixelFormat());
    ClearChunks();
    InitializeGamma();

    const CreatingScope creating(BeingCreated);

    auto header = std::make_unique<TChunkIHDR>(this);
    TChunkIHDR* h = header.get();
    h->IHDRData.Width = uint32_t(std::max(width, 0));
    h->IHDRData.Height = uint32_t(std::max(height, 0));
    const bool rgb = bits >= 16;
    h->IHDRData.ColorType = rgb ? COLOR_RGB : COLOR_PALETTE;
    h->IHDRData.BitDepth = uint8_t(rgb ? 8 : bits);
    fChunkList.Append(std::move(header));

    // An empty bitmap keeps a header without picture; saving it is refused.
    const bool empty = width <= 0 || height <= 0;
    if (!empty) {
        h->PrepareImageData();
        const TPixelFormat pf = bitmap.PixelFormat();
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* dib = h->ScanLine(uint32_t(y));
            const uint8_t* src = bitmap.ScanLine(y);
            if (!rgb) {
                std::memcpy(dib, src, std::min(h->BytesPerRow, bitmap.Stride()));
            } else if (pf == TPixelFormat::pf24bit) {
                std::memcpy(dib, src, size_t(width) * 3);
            } else if (bits == 32) {
                for (int32_t x = 0; x < width; ++x) std::memcpy(dib + 3 * size_t(x), src + 4 * size_t(x), 3);
            } else {
                for (int32_t x = 0; x < width; ++x) {
                    const uint32_t v = bitmap.Pixel(x, y);
                    dib[3 * size_t(x)] = uint8_t(v);
                    dib[3 * size_t(x) + 1] = uint8_t(v >> 8);
                    dib[3 * size_t(x) + 2] = uint8_t(v >> 16);
                }
            }
        }
        if (!rgb) {
            const uint32_t entries = 1u << bits;
            h->ColorTable.fill(TRGBQuad{});
            for (uint32_t i = 0; i < entries && i < bitmap.Palette.size(); ++i) {
                h->ColorTable[i] = bitmap.Palette[i];
                h->ColorTable[i].rgbReserved = 0;
            }
            h->ColorTableLength = entries;
        }
    }
    if (!rgb) fChunkList.Add<TChunkPLTE>()->SetCount(1u << bits);
    if (transparent && !empty) fChunkList.Add<TChunktRNS>()->SetTransparentColor(transparentColor);
    fChunkList.Add<TChunkIDAT>();
    fChunkList.Add<TChunkIEND>();
}

void TPngImage::AssignWithAlpha(const TBitmap& source) {
    const int32_t width = source.Width(), height = source.Height();
    if (source.PixelFormat() != TPixelFormat::pf32bit || width <= 0 || height <= 0) {
        Assign(source);
        return;
    }
    ClearChunks();
    InitializeGamma();
    const CreatingScope creating(BeingCreated);

    auto header = std::make_unique<TChunkIHDR>(this);
    TChunkIHDR* h = header.get();
    h->IHDRData.Width = uint32_t(width);
    h->IHDRData.Height = uint32_t(height);
    h->IHDRData.ColorType = COLOR_RGBALPHA;
    h->IHDRData.BitDepth = 8;
    fChunkList.Append(std::move(header));
    h->PrepareImageData();
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* dib = h->ScanLine(uint32_t(y));
        uint8_t* alpha = h->AlphaScanLine(uint32_t(y));
        const uint8_t* src = source.ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            std::memcpy(dib + 3 * size_t(x), src + 4 * size_t(x), 3);
            alpha[x] = src[4 * size_t(x) + 3];
        }
    }
    fChunkList.Add<TChunkIDAT>();
    fChunkList.Add<TChunkIEND>();
}

// ---------------------------------------------------------------- transparency

TPNGTransparencyMode TPngImage::TransparencyMode() {
    auto* h = dynamic_cast<TChunkIHDR*>(fChunkList.Item(0));
    if (!h) return TPNGTransparencyMode::ptmNone;
    const TChunktRNS* trns = fChunkList.FindChunk<TChunktRNS>();
    switch (h->IHDRData.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB: return trns ? TPNGTransparencyMode::ptmBit : TPNGTransparencyMode::ptmNone;
    case COLOR_PALETTE:
        if (!trns) return TPNGTransparencyMode::ptmNone;
        return trns->BitTransparency() ? TPNGTransparencyMode::ptmBit : TPNGTransparencyMode::ptmPartial;
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA: return TPNGTransparencyMode::ptmPartial;
    default: return TPNGTransparencyMode::ptmNone;
    }
}

namespace {

// The key of a bit-transparent picture. Samples out of range for the bit
// depth match no pixel. 16-bit samples are matched on their high bytes and
// 2-bit grey on the value the picture holds (5 x sample), since that is what
// the picture keeps of them.
ColourKey MakeKey(TPngImage& image, TChunkIHDR* h, const TChunktRNS* trns) {
    ColourKey key;
    if (!trns) return key;
    const TIHDRData& hd = h->IHDRData;
    const uint8_t* pv = trns->PaletteValues.data();
    const unsigned limit = hd.BitDepth >= 16 ? 0x10000u : 1u << hd.BitDepth;
    switch (hd.ColorType) {
    case COLOR_GRAYSCALE: {
        const unsigned s = ReadBE16(pv);
        if (s >= limit) return key;
        const unsigned index = hd.BitDepth == 16 ? s >> 8 : hd.BitDepth == 2 ? 5 * s : s;
        key.valid = true;
        key.rgb = QuadRgb(h->ColorTable[index & 0xFF]);
        break;
    }
    case COLOR_RGB: {
        const unsigned r = ReadBE16(pv), g = ReadBE16(pv + 2), b = ReadBE16(pv + 4);
        if (r >= limit || g >= limit || b >= limit) return key;
        const unsigned shift = hd.BitDepth == 16 ? 8 : 0;
        const auto& gt = image.GammaTable;
        key.valid = true;
        key.rgb = uint32_t(gt[(r >> shift) & 0xFF]) << 16 | uint32_t(gt[(g >> shift) & 0xFF]) << 8 |
                  gt[(b >> shift) & 0xFF];
        break;
    }
    case COLOR_PALETTE:
        for (uint32_t i = 0; i < std::min<uint32_t>(trns->DataSize(), 256); ++i) {
            if (pv[i] == 0) {
                key.valid = true;
                key.byIndex = true;
                key.index = i;
                key.rgb = QuadRgb(h->ColorTable[i]);
                break;
            }
        }
        break;
    default: break;
    }
    return key;
}

TRect Normalised(const TRect& r) {
    return TRect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                 std::max(r.Top, r.Bottom));
}

unsigned PixelIndex(const uint8_t* row, uint32_t x, int bitCount) {
    return velmora::png::PackedSample(row, x, unsigned(bitCount));
}

// The colour of pixel x of a decoded row (24-bit or indexed); false for a
// pixel that the colour key makes transparent.
bool KeyedRgb(const TChunkIHDR* h, const uint8_t* row, uint32_t x, const ColourKey& key, uint32_t& rgb) {
    if (h->BitCount == 24) {
        const uint8_t* p = row + 3 * size_t(x);
        rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    } else {
        const unsigned index = PixelIndex(row, x, h->BitCount);
        if (key.valid && key.byIndex && index == key.index) return false;
        rgb = QuadRgb(h->ColorTable[index]);
    }
    return !(key.valid && !key.byIndex && rgb == key.rgb);
}

}  // namespace

uint32_t TPngImage::TransparentColor() {
    if (TransparencyMode() != TPNGTransparencyMode::ptmBit) return 0;
    TChunkIHDR* h = Header();
    const ColourKey key = MakeKey(*this, h, fChunkList.FindChunk<TChunktRNS>());
    // Platform colour value: red in the low byte.
    return (key.rgb >> 16 & 0xFF) | (key.rgb & 0xFF00) | (key.rgb & 0xFF) << 16;
}

// ---------------------------------------------------------------- drawing

void TPngImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (Empty()) return;
    TChunkIHDR* h = Header();
    if (!h->HasImage() || h->IHDRData.Width == 0 || h->IHDRData.Height == 0) return;
    const TRect r = Normalised(rect);
    if (r.IsEmpty()) return;
    switch (TransparencyMode()) {
    case TPNGTransparencyMode::ptmNone: DrawCopy(canvas, r, false); break;
    case TPNGTransparencyMode::ptmBit: DrawCopy(canvas, r, true); break;
    case TPNGTransparencyMode::ptmPartial: DrawPartial(canvas, r); break;
    }
}

// Plain copy (keyed = false) or colour-key copy, nearest-pixel stretching.
void TPngImage::DrawCopy(TCanvas& canvas, const TRect& r, bool keyed) {
    TChunkIHDR* h = Header();
    const int64_t w = r.Width(), hgt = r.Height();
    const uint32_t iw = h->IHDRData.Width, ih = h->IHDRData.Height;
    const TRect clip = IntersectRect(r, TRect(0, 0, canvas.Width, canvas.Height));
    if (clip.IsEmpty()) return;
    ColourKey key;
    if (keyed) key = MakeKey(*this, h, fChunkList.FindChunk<TChunktRNS>());
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
        const uint32_t sy = uint32_t(int64_t(y - r.Top) * ih / hgt);
        const uint8_t* row = h->ScanLine(sy);
        uint32_t* out = canvas.Row(y);
        for (int32_t x = clip.Left; x < clip.Right; ++x) {
            const uint32_t sx = uint32_t(int64_t(x - r.Left) * iw / w);
            uint32_t rgb;
            if (KeyedRgb(h, row, sx, key, rgb)) out[x] = 0xFF000000u | rgb;
        }
    }
}

// Per-pixel blending over the canvas.
void TPngImage::DrawPartial(TCanvas& canvas, const TRect& r) {
    TChunkIHDR* h = Header();
    const int32_t w = r.Width(), hgt = r.Height();
    const uint32_t iw = h->IHDRData.Width, ih = h->IHDRData.Height;
    const TRect clip = IntersectRect(r, TRect(0, 0, canvas.Width, canvas.Height));
    if (clip.IsEmpty()) return;
    const bool same = uint32_t(w) == iw && uint32_t(hgt) == ih;
    const double xScale = double(w) / iw, yScale = double(hgt) / ih;
    auto srcX = [&](int32_t x) -> uint32_t {
        const int32_t dx = x - r.Left;
        return same ? uint32_t(dx) : std::min(uint32_t(std::trunc(dx / xScale)), iw - 1);
    };
    auto srcY = [&](int32_t y) -> uint32_t {
        const int32_t dy = y - r.Top;
        return same ? uint32_t(dy) : std::min(uint32_t(std::trunc(dy / yScale)), ih - 1);
    };
    const uint8_t colorType = h->IHDRData.ColorType;

    if (colorType == COLOR_PALETTE) {
        const TChunktRNS* trns = fChunkList.FindChunk<TChunktRNS>();
        const TChunkPLTE* plte = fChunkList.FindChunk<TChunkPLTE>();
        const uint32_t entries = plte ? plte->Count() : h->ColorTableLength;
        // Every index is tested before the canvas is touched.
        for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
            const uint8_t* row = h->ScanLine(srcY(y));
            for (int32_t x = clip.Left; x < clip.Right; ++x)
                if (PixelIndex(row, srcX(x), h->BitCount) >= entries) throw EPngError(kPngNoSuchPaletteEntry);
        }
        for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
            const uint8_t* row = h->ScanLine(srcY(y));
            uint32_t* out = canvas.Row(y);
            for (int32_t x = clip.Left; x < clip.Right; ++x) {
                const unsigned index = PixelIndex(row, srcX(x), h->BitCount);
                const unsigned a = trns ? trns->PaletteValues[index] : 255;
                const TRGBQuad& s = h->ColorTable[index];
                const uint32_t d = out[x];
                const unsigned db = d & 0xFF, dg = d >> 8 & 0xFF, dr = d >> 16 & 0xFF;
                const unsigned nb = (a * s.rgbBlue + (255 - a) * db + 255) >> 8;
                const unsigned ng = (a * s.rgbGreen + (255 - a) * dg + 255) >> 8;
                const unsigned nr = (a * s.rgbRed + (255 - a) * dr + 255) >> 8;
                out[x] = (d & 0xFF000000u) | nr << 16 | ng << 8 | nb;
            }
        }
        return;
    }
    if (colorType != COLOR_RGBALPHA && colorType != COLOR_GRAYSCALEALPHA) return;
    const bool rgba = colorType == COLOR_RGBALPHA;
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
        const uint32_t sy = srcY(y);
        const uint8_t* row = h->ScanLine(sy);
        const uint8_t* alpha = h->AlphaScanLine(sy);
        uint32_t* out = canvas.Row(y);
        for (int32_t x = clip.Left; x < clip.Right; ++x) {
            const uint32_t sx = srcX(x);
            const unsigned a = alpha[sx];
            unsigned sb, sg, sr;
            if (rgba) {
                if (a == 0) continue;
                const uint8_t* p = row + 3 * size_t(sx);
                sb = p[0]; sg = p[1]; sr = p[2];
                if (a == 255) {
                    out[x] = 0xFF000000u | sr << 16 | sg << 8 | sb;
                    continue;
                }
            } else {
                sb = sg = sr = row[sx];  // the stored grey, not its ramp colour
            }
            const uint32_t d = out[x];
            const unsigned db = d & 0xFF, dg = d >> 8 & 0xFF, dr = d >> 16 & 0xFF, d4 = d >> 24;
            const unsigned nb = (db * (255 - a) + sb * a + 127) / 255;
            const unsigned ng = (dg * (255 - a) + sg * a + 127) / 255;
            const unsigned nr = (dr * (255 - a) + sr * a + 127) / 255;
            const unsigned n4 = 255 - ((255 - a) * (255 - d4) + 127) / 255;
            out[x] = n4 << 24 | nr << 16 | ng << 8 | nb;
        }
    }
}

void TPngImage::DrawWithAlpha(TCanvas& canvas) {
    for (int32_t y = 0; y < canvas.Height; ++y) std::fill_n(canvas.Row(y), canvas.Width, 0u);
    if (Empty()) return;
    TChunkIHDR* h = Header();
    if (!h->HasImage() || int64_t(h->IHDRData.Width) != canvas.Width || int64_t(h->IHDRData.Height) != canvas.Height)
        return;
    const TRect r(0, 0, canvas.Width, canvas.Height);
    switch (TransparencyMode()) {
    // Over transparent black the copy leaves keyed pixels at 0 and makes the
    // others opaque.
    case TPNGTransparencyMode::ptmNone: DrawCopy(canvas, r, false); break;
    case TPNGTransparencyMode::ptmBit: DrawCopy(canvas, r, true); break;
    case TPNGTransparencyMode::ptmPartial:
        // Blending over transparent black gives colour x a / 255 rounded and
        // the fourth byte a.
        if (h->IHDRData.ColorType == COLOR_PALETTE)
            DrawPaletteAlpha(canvas);
        else
            DrawPartial(canvas, r);
        break;
    }
}

void TPngImage::DrawPaletteAlpha(TCanvas& canvas) {
    TChunkIHDR* h = Header();
    const TChunktRNS* trns = fChunkList.FindChunk<TChunktRNS>();
    const TChunkPLTE* plte = fChunkList.FindChunk<TChunkPLTE>();
    const uint32_t entries = plte ? plte->Count() : h->ColorTableLength;
    for (int32_t y = 0; y < canvas.Height; ++y) {
        const uint8_t* row = h->ScanLine(uint32_t(y));
        uint32_t* out = canvas.Row(y);
        for (int32_t x = 0; x < canvas.Width; ++x) {
            const unsigned index = PixelIndex(row, uint32_t(x), h->BitCount);
            if (index >= entries) throw EPngError(kPngNoSuchPaletteEntry);
            const unsigned a = trns ? trns->PaletteValues[index] : 255;
            const TRGBQuad& c = h->ColorTable[index];
            const unsigned r = (c.rgbRed * a + 127) / 255, g = (c.rgbGreen * a + 127) / 255,
                           b = (c.rgbBlue * a + 127) / 255;
            out[x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
}

// ---------------------------------------------------------------- rows

namespace {

// Turns decoded lines into the rows Draw paints over white at 1:1, alpha
// reset to 255: the same colours, colour keys and blends, pixel by pixel.
class TOpaqueLines {
public:
    TOpaqueLines(TPngImage& image, TChunkIHDR* h, TRowTarget& target) : image_(image), h_(h), target_(target) {
        const TPNGList& chunks = image.Chunks();
        mode_ = image.TransparencyMode();
        trns_ = chunks.FindChunk<TChunktRNS>();
        const TChunkPLTE* plte = chunks.FindChunk<TChunkPLTE>();
        entries_ = plte ? plte->Count() : h->ColorTableLength;
        if (mode_ == TPNGTransparencyMode::ptmBit) key_ = MakeKey(image, h, trns_);
        const TIHDRData& hd = h->IHDRData;
        direct_ = mode_ == TPNGTransparencyMode::ptmNone && hd.ColorType == COLOR_RGB;
        if (!direct_) {
            dib_.assign(h->BytesPerRow, 0);
            if (hd.ColorType == COLOR_GRAYSCALEALPHA || hd.ColorType == COLOR_RGBALPHA) alpha_.assign(hd.Width, 0);
        }
    }

    static void Line(void* self, uint32_t, const uint8_t* line) { static_cast<TOpaqueLines*>(self)->Convert(line); }

    // A palette index at or beyond the palette's entries was met.
    bool BadIndex() const { return badIndex_; }

private:
    static constexpr uint32_t kWhite = 0xFFFFFFFFu;

    // (s x a + 255 x (255 - a) + 255) / 256, as the palette blend over white.
    static unsigned PaletteOverWhite(unsigned s, unsigned a) { return (a * s + (255 - a) * 255 + 255) >> 8; }
    // (255 x (255 - a) + s x a + 127) / 255, as the alpha blend over white.
    static unsigned AlphaOverWhite(unsigned s, unsigned a) { return (255 * (255 - a) + s * a + 127) / 255; }

    void Convert(const uint8_t* line) {
        uint32_t* out = target_.NextRow();
        const uint32_t width = h_->IHDRData.Width;
        if (direct_) {
            // 8- or 16-bit RGB: the high byte of each sample through the gamma table.
            const auto& g = image_.GammaTable;
            const size_t bytes = h_->IHDRData.BitDepth / 8, step = 3 * bytes;
            for (uint32_t x = 0; x < width; ++x, line += step)
                out[x] = 0xFF000000u | uint32_t(g[line[0]]) << 16 | uint32_t(g[line[bytes]]) << 8 | g[line[2 * bytes]];
        } else {
            TChunkIDAT::StoreLine(&image_, h_, line, dib_.data(), alpha_.empty() ? nullptr : alpha_.data(), 0, 1,
                                  width);
            if (mode_ == TPNGTransparencyMode::ptmPartial)
                Blend(out, width);
            else
                Copy(out, width);
        }
        target_.Push();
    }

    void Copy(uint32_t* out, uint32_t width) const {
        const uint8_t* row = dib_.data();
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t rgb;
            out[x] = KeyedRgb(h_, row, x, key_, rgb) ? 0xFF000000u | rgb : kWhite;
        }
    }

    void Blend(uint32_t* out, uint32_t width) {
        const uint8_t* row = dib_.data();
        switch (h_->IHDRData.ColorType) {
        case COLOR_PALETTE:
            for (uint32_t x = 0; x < width; ++x) {
                const unsigned index = PixelIndex(row, x, h_->BitCount);
                if (index >= entries_) badIndex_ = true;
                const unsigned a = trns_ ? trns_->PaletteValues[index] : 255;
                const TRGBQuad& c = h_->ColorTable[index];
                out[x] = 0xFF000000u | PaletteOverWhite(c.rgbRed, a) << 16 | PaletteOverWhite(c.rgbGreen, a) << 8 |
                         PaletteOverWhite(c.rgbBlue, a);
            }
            break;
        case COLOR_RGBALPHA:
            for (uint32_t x = 0; x < width; ++x) {
                const unsigned a = alpha_[x];
                const uint8_t* p = row + 3 * size_t(x);
                if (a == 0)
                    out[x] = kWhite;
                else if (a == 255)
                    out[x] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
                else
                    out[x] = 0xFF000000u | AlphaOverWhite(p[2], a) << 16 | AlphaOverWhite(p[1], a) << 8 |
                             AlphaOverWhite(p[0], a);
            }
            break;
        case COLOR_GRAYSCALEALPHA:
            for (uint32_t x = 0; x < width; ++x) {
                const unsigned v = AlphaOverWhite(row[x], alpha_[x]);
                out[x] = 0xFF000000u | v << 16 | v << 8 | v;
            }
            break;
        default: std::fill_n(out, width, kWhite); break;
        }
    }

    TPngImage& image_;
    TChunkIHDR* h_;
    TRowTarget& target_;
    TPNGTransparencyMode mode_;
    const TChunktRNS* trns_ = nullptr;
    uint32_t entries_ = 0;
    ColourKey key_;
    bool direct_ = false;
    bool badIndex_ = false;
    std::vector<uint8_t> dib_, alpha_;
};

}  // namespace

bool TPngImage::DrawOpaqueRows(int32_t width, int32_t height, TRowTarget& target) {
    auto* h = dynamic_cast<TChunkIHDR*>(fChunkList.Item(0));
    TChunkIDAT* idat = fChunkList.FindChunk<TChunkIDAT>();
    if (!h || !idat || !idat->HasDeferredData() || !h->HasImage() || h->IHDRData.InterlaceMethod != 0 ||
        int64_t(h->IHDRData.Width) != width || int64_t(h->IHDRData.Height) != height)
        return false;
    TOpaqueLines lines(*this, h, target);
    uint32_t sent = idat->DecodeRows(&TOpaqueLines::Line, &lines);
    // Rows the data never reached are the zero rows of a blank picture.
    const unsigned bpp = unsigned(h->IHDRData.BitDepth) * velmora::png::SamplesPerPixel(h->IHDRData.ColorType);
    const std::vector<uint8_t> zero(velmora::png::RowBytes(h->IHDRData.Width, bpp), 0);
    for (; sent < h->IHDRData.Height; ++sent) TOpaqueLines::Line(&lines, sent, zero.data());
    if (lines.BadIndex()) throw EPngError(kPngNoSuchPaletteEntry);
    return true;
}

TChunkIDAT* TPngImage::ImageDataChunk() {
    TChunkIDAT* idat = fChunkList.FindChunk<TChunkIDAT>();
    if (!idat) RaiseError<EPNGNoImageData>();
    return idat;
}

void TPngImage::PrepareRows(int32_t width, int32_t height) {
    ClearChunks();
    InitializeGamma();
    const CreatingScope creating(BeingCreated);
    auto header = std::make_unique<TChunkIHDR>(this);
    header->IHDRData.Width = uint32_t(std::max(width, 0));
    header->IHDRData.Height = uint32_t(std::max(height, 0));
    header->IHDRData.ColorType = COLOR_RGB;
    header->IHDRData.BitDepth = 8;
    fChunkList.Append(std::move(header));
    fChunkList.Add<TChunkIDAT>();
    fChunkList.Add<TChunkIEND>();
}

void TPngImage::BeginRows(TStream& stream) {
    TChunkIHDR* h = Header();
    if (h->IHDRData.Width == 0 || h->IHDRData.Height == 0) RaiseError<EPNGInvalidSize>();
    TChunkIDAT* idat = ImageDataChunk();
    stream.WriteBuffer(kPngSignature, 8);
    for (int i = 0; i < idat->Index(); ++i) fChunkList.Item(i)->SaveToStream(stream);
    idat->BeginRows(stream);
    fRowStream = &stream;
}

void TPngImage::WriteRow(const uint32_t* row) { ImageDataChunk()->WriteRow(row); }

void TPngImage::EndRows() {
    TChunkIDAT* idat = ImageDataChunk();
    idat->EndRows();
    for (int i = idat->Index() + 1; i < fChunkList.Count(); ++i) fChunkList.Item(i)->SaveToStream(*fRowStream);
    fRowStream = nullptr;
}

void RegisterPngFormat() {
    TPicture::RegisterFileFormat("png", "Portable Network Graphics", [] { return std::make_unique<TPngImage>(); });
}

void UnregisterPngFormat() { TPicture::UnregisterFileFormat("png"); }
