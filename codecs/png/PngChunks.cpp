#include "codecs/png/PngChunks.h"

#include "codecs/png/PngImage.h"
#include "codecs/png/PngRows.h"
#include "platform/CheckedSize.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <typeinfo>

// ---------------------------------------------------------------- TZeroBlock

void TZeroBlock::Allocate(size_t size) {
    Release();
    if (size == 0) return;
    auto* p = static_cast<uint8_t*>(std::calloc(size, 1));
    if (!p) throw EPNGOutMemory();
    data_.reset(p);
    size_ = size;
}

void TZeroBlock::CopyFrom(const TZeroBlock& other) {
    if (this == &other) return;
    Allocate(other.size_);
    if (size_) std::memcpy(data_.get(), other.data_.get(), size_);
}

// ---------------------------------------------------------------- TChunk

TChunk::TChunk(TPngImage* owner, const TChunkName& name) : fOwner(owner), fName(name) {}

void TChunk::ResizeData(uint32_t newSize) {
    try {
        fData.assign(size_t(newSize) + 1, 0);
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory();
    }
    fDataSize = newSize;
}

void TChunk::CopyBase(const TChunk& source) {
    if (typeid(*this) != typeid(source)) throw EPngError(kPngIncompatibleChunks);
    fData = source.fData;
    fDataSize = source.fDataSize;
    fName = source.fName;
}

void TChunk::Assign(const TChunk& source) { CopyBase(source); }

std::unique_ptr<TChunk> TChunk::Clone(TPngImage* owner) const {
    auto c = std::make_unique<TChunk>(owner, fName);
    c->Assign(*this);
    return c;
}

void TChunk::ReadDataAndCheck(TStream& stream, uint32_t size) {
    ResizeData(size);
    // A short stream leaves zeros; the CRC test below then fails.
    stream.Read(fData.data(), size);
    uint8_t crc[kChunkCrcSize] = {0, 0, 0, 0};
    const size_t got = stream.Read(crc, kChunkCrcSize);
    if (got != kChunkCrcSize || ReadBE32(crc) != ChunkCrc(fName, fData.data(), fDataSize))
        fOwner->RaiseError<EPngInvalidCRC>();
}

bool TChunk::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    return true;
}

bool TChunk::SaveData(TStream& stream) {
    WriteChunk(stream, fName, fData.data(), fDataSize);
    return true;
}

bool TChunk::SaveToStream(TStream& stream) { return SaveData(stream); }

int TChunk::Index() const { return fOwner->Chunks().IndexOf(this); }

TChunkIHDR* TChunk::Header() const { return fOwner->Header(); }

// ---------------------------------------------------------------- IEND

// ---------------------------------------------------------------- IHDR

namespace {

bool ValidColorFormat(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
    case COLOR_GRAYSCALE: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case COLOR_RGB:
    case COLOR_GRAYSCALEALPHA:
    case COLOR_RGBALPHA: return depth == 8 || depth == 16;
    case COLOR_PALETTE: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    default: return false;
    }
}

}  // namespace

void TChunkIHDR::FreeImageData() {
    ImageData.Release();
    ImageAlpha.Release();
    BitCount = 0;
    BytesPerRow = 0;
    HasPalette = false;
    ColorTable.fill(TRGBQuad{});
    ColorTableLength = 0;
}

void TChunkIHDR::BuildGreyRamp() {
    const unsigned n = 1u << BitCount;
    for (unsigned i = 0; i < n; ++i) {
        const uint8_t g = fOwner->GammaTable[i * 255 / (n - 1)];
        ColorTable[i] = TRGBQuad{g, g, g, 0};
    }
    ColorTableLength = n;
}

void TChunkIHDR::PrepareImageData() {
    FreeImageData();
    const TIHDRData& h = IHDRData;
    if (h.Width == 0 || h.Height == 0) fOwner->RaiseError<EPNGInvalidSize>();
    if (!ValidColorFormat(h.ColorType, h.BitDepth)) fOwner->RaiseError<EPNGInvalidColorFormat>();
    switch (h.ColorType) {
    case COLOR_RGB:
    case COLOR_RGBALPHA: BitCount = 24; break;
    case COLOR_GRAYSCALEALPHA: BitCount = 8; break;
    default: BitCount = h.BitDepth == 2 ? 4 : h.BitDepth == 16 ? 8 : h.BitDepth; break;
    }
    uint64_t stride = 0;
    size_t total = 0;
    if (!velmora::PixelCountOk(h.Width, h.Height) || !velmora::PaddedRowBytes(h.Width, BitCount, stride) ||
        !velmora::CheckedMul(stride, h.Height, total))
        fOwner->RaiseError<EPNGOutMemory>();
    BytesPerRow = size_t(stride);
    HasPalette = BitCount <= 8;
    if (h.ColorType == COLOR_GRAYSCALE || h.ColorType == COLOR_GRAYSCALEALPHA) {
        BuildGreyRamp();
    } else if (HasPalette) {
        // Until PLTE arrives: black entries.
        ColorTableLength = 1u << BitCount;
    }
    try {
        ImageData.Allocate(total);
        if (h.ColorType == COLOR_GRAYSCALEALPHA || h.ColorType == COLOR_RGBALPHA)
            ImageAlpha.Allocate(size_t(h.Width) * h.Height);
    } catch (...) {
        FreeImageData();
        throw;
    }
}

namespace {

// The bytes of image data the rest of the stream holds: the lengths of the
// IDAT chunks from here to IEND or the end, as far as the stream has them.
// The position is left where it was.
uint64_t ImageDataBytesAhead(TStream& stream) {
    const int64_t start = stream.Position();
    uint64_t total = 0;
    uint8_t head[kChunkHeadSize];
    while (stream.Read(head, kChunkHeadSize) == kChunkHeadSize) {
        const TChunkHead chunk = ParseChunkHead(head);
        const int64_t length = int64_t(chunk.length);
        const int64_t left = stream.Remaining();
        if (chunk.name == MakeChunkName("IDAT")) total += uint64_t(std::min(length, left));
        if (chunk.name == MakeChunkName("IEND") || length + int64_t(kChunkCrcSize) >= left) break;
        stream.Seek(length + int64_t(kChunkCrcSize), TSeekOrigin::soCurrent);
    }
    stream.SetPosition(start);
    return total;
}

}  // namespace

bool TChunkIHDR::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    // A second header would bring a second picture; the image has one.
    if (fOwner->Chunks().Count() > 0) fOwner->RaiseError<EPngInvalidIHDR>();
    ReadDataAndCheck(stream, size);
    if (fDataSize < 13) fOwner->RaiseError<EPngInvalidIHDR>();
    const uint8_t* d = fData.data();
    IHDRData.Width = ReadBE32(d);
    IHDRData.Height = ReadBE32(d + 4);
    IHDRData.BitDepth = d[8];
    IHDRData.ColorType = d[9];
    IHDRData.CompressionMethod = d[10];
    IHDRData.FilterMethod = d[11];
    IHDRData.InterlaceMethod = d[12];
    if (IHDRData.Width > 65535 || IHDRData.Height > 65535) fOwner->RaiseError<EPNGSizeExceeds>();
    if (IHDRData.CompressionMethod != 0) fOwner->RaiseError<EPNGUnknownCompression>();
    if (IHDRData.InterlaceMethod > 1) fOwner->RaiseError<EPNGUnknownInterlace>();
    fOwner->SetInterlaceMethod(IHDRData.InterlaceMethod == 1 ? TInterlaceMethod::imAdam7
                                                             : TInterlaceMethod::imNone);
    // Image data too short to hold the declared rows even at deflate's best
    // ratio: refused before the picture is allocated. (The rows of the
    // non-interlaced layout are the fewest bytes either layout needs.)
    if (ValidColorFormat(IHDRData.ColorType, IHDRData.BitDepth) &&
        velmora::PixelCountOk(IHDRData.Width, IHDRData.Height)) {
        const unsigned bpp = unsigned(IHDRData.BitDepth) * velmora::png::SamplesPerPixel(IHDRData.ColorType);
        const uint64_t raw = uint64_t(IHDRData.Height) * (uint64_t(velmora::png::RowBytes(IHDRData.Width, bpp)) + 1);
        if (!velmora::DataCanHold(raw, ImageDataBytesAhead(stream))) fOwner->RaiseError<EPNGMissingMultipleIDAT>();
    }
    PrepareImageData();
    return true;
}

bool TChunkIHDR::SaveToStream(TStream& stream) {
    ResizeData(13);
    uint8_t* d = fData.data();
    WriteBE32(d, IHDRData.Width);
    WriteBE32(d + 4, IHDRData.Height);
    // The picture holds 4-bit pixels for 2-bit images.
    d[8] = IHDRData.BitDepth == 2 ? 4 : IHDRData.BitDepth;
    d[9] = IHDRData.ColorType;
    d[10] = IHDRData.CompressionMethod;
    d[11] = IHDRData.FilterMethod;
    d[12] = fOwner->InterlaceMethod() == TInterlaceMethod::imAdam7 ? 1 : 0;
    return SaveData(stream);
}

void TChunkIHDR::Assign(const TChunk& source) {
    CopyBase(source);
    const auto& s = static_cast<const TChunkIHDR&>(source);
    IHDRData = s.IHDRData;
    BitCount = s.BitCount;
    BytesPerRow = s.BytesPerRow;
    HasPalette = s.HasPalette;
    ColorTable = s.ColorTable;
    ColorTableLength = s.ColorTableLength;
    ImageData.CopyFrom(s.ImageData);
    ImageAlpha.CopyFrom(s.ImageAlpha);
}

// ---------------------------------------------------------------- PLTE

bool TChunkPLTE::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    if (fDataSize % 3 != 0 || fDataSize / 3 > 256) fOwner->RaiseError<EPNGInvalidPalette>();
    fCount = fDataSize / 3;
    TChunkIHDR* h = Header();
    const auto& g = fOwner->GammaTable;
    for (uint32_t i = 0; i < fCount; ++i) {
        const uint8_t* p = fData.data() + 3 * i;
        h->ColorTable[i] = TRGBQuad{g[p[2]], g[p[1]], g[p[0]], 0};
    }
    h->ColorTableLength = fCount;
    return true;
}

bool TChunkPLTE::SaveToStream(TStream& stream) {
    TChunkIHDR* h = Header();
    const uint32_t count = std::min<uint32_t>(fCount ? fCount : h->ColorTableLength, 256);
    ResizeData(count * 3);
    const auto& inv = fOwner->InverseGamma;
    for (uint32_t i = 0; i < count; ++i) {
        fData[3 * i] = inv[h->ColorTable[i].rgbRed];
        fData[3 * i + 1] = inv[h->ColorTable[i].rgbGreen];
        fData[3 * i + 2] = inv[h->ColorTable[i].rgbBlue];
    }
    return SaveData(stream);
}

void TChunkPLTE::Assign(const TChunk& source) {
    CopyBase(source);
    fCount = static_cast<const TChunkPLTE&>(source).fCount;
}

// ---------------------------------------------------------------- gAMA

uint32_t TChunkgAMA::Gamma() const { return fDataSize == 4 ? ReadBE32(fData.data()) : 1; }

bool TChunkgAMA::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    const uint32_t g = Gamma();
    if (g != 0) fOwner->ApplyGamma(g);
    return true;
}

// ---------------------------------------------------------------- tRNS

TChunktRNS::TChunktRNS(TPngImage* owner) : TChunkOf(owner, MakeChunkName("tRNS")) { PaletteValues.fill(255); }

void TChunktRNS::Parse() {
    PaletteValues.fill(255);
    std::memcpy(PaletteValues.data(), fData.data(), std::min<size_t>(fDataSize, 256));
    const uint8_t colorType = Header()->IHDRData.ColorType;
    if (colorType == COLOR_GRAYSCALE || colorType == COLOR_RGB) {
        fBitTransparency = true;
    } else if (colorType == COLOR_PALETTE) {
        // A colour key only when a single entry is fully transparent and all
        // others are opaque; any partial entry needs blending.
        unsigned below = 0, zero = 0;
        for (uint32_t i = 0; i < fDataSize; ++i) {
            below += PaletteValues[i] < 255;
            zero += PaletteValues[i] == 0;
        }
        fBitTransparency = below == 1 && zero == 1;
    } else {
        fBitTransparency = false;
    }
}

bool TChunktRNS::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    if (fDataSize > 256) fOwner->RaiseError<EPNGInvalidPalette>();
    Parse();
    return true;
}

void TChunktRNS::SetTransparentColor(uint32_t color) {
    TChunkIHDR* h = Header();
    const uint8_t r = uint8_t(color), g = uint8_t(color >> 8), b = uint8_t(color >> 16);
    switch (h->IHDRData.ColorType) {
    case COLOR_GRAYSCALE:
        ResizeData(2);
        fData[1] = r;
        break;
    case COLOR_RGB:
        ResizeData(6);
        fData[1] = r; fData[3] = g; fData[5] = b;
        break;
    case COLOR_PALETTE: {
        uint32_t found = 0;
        bool hit = false;
        for (uint32_t i = 0; i < std::min<uint32_t>(h->ColorTableLength, 256); ++i) {
            const TRGBQuad& q = h->ColorTable[i];
            if (q.rgbRed == r && q.rgbGreen == g && q.rgbBlue == b) { found = i; hit = true; break; }
        }
        ResizeData(hit ? found + 1 : 0);
        if (hit) {
            std::memset(fData.data(), 255, found);
            fData[found] = 0;
        }
        break;
    }
    default: ResizeData(0); break;
    }
    Parse();
}

void TChunktRNS::Assign(const TChunk& source) {
    CopyBase(source);
    const auto& s = static_cast<const TChunktRNS&>(source);
    PaletteValues = s.PaletteValues;
    fBitTransparency = s.fBitTransparency;
}

// ---------------------------------------------------------------- pHYs, tIME

bool TChunkpHYs::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    if (fDataSize == 9) {
        PPUnitX = ReadBE32(fData.data());
        PPUnitY = ReadBE32(fData.data() + 4);
        Unit = fData[8] == 1 ? TUnitType::utMeter : TUnitType::utUnknown;
    }
    return true;
}

void TChunkpHYs::Assign(const TChunk& source) {
    CopyBase(source);
    const auto& s = static_cast<const TChunkpHYs&>(source);
    PPUnitX = s.PPUnitX; PPUnitY = s.PPUnitY; Unit = s.Unit;
}

bool TChunktIME::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    if (fDataSize == 7) {
        const uint8_t* d = fData.data();
        Year = ReadBE16(d);
        Month = d[2]; Day = d[3]; Hour = d[4]; Minute = d[5]; Second = d[6];
    }
    return true;
}

void TChunktIME::Assign(const TChunk& source) {
    CopyBase(source);
    const auto& s = static_cast<const TChunktIME&>(source);
    Year = s.Year; Month = s.Month; Day = s.Day; Hour = s.Hour; Minute = s.Minute; Second = s.Second;
}

// ---------------------------------------------------------------- tEXt, zTXt

bool TChunktEXt::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    const char* d = reinterpret_cast<const char*>(fData.data());
    const size_t key = strnlen(d, fDataSize);
    Keyword.assign(d, key);
    Text.assign(key < fDataSize ? d + key + 1 : d + fDataSize, key < fDataSize ? fDataSize - key - 1 : 0);
    return true;
}

void TChunktEXt::Assign(const TChunk& source) {
    CopyBase(source);
    const auto& s = static_cast<const TChunktEXt&>(source);
    Keyword = s.Keyword;
    Text = s.Text;
}

bool TChunkzTXt::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    ReadDataAndCheck(stream, size);
    const char* d = reinterpret_cast<const char*>(fData.data());
    const size_t key = strnlen(d, fDataSize);
    Keyword.assign(d, key);
    Text.clear();
    // keyword, 0, compression method, compressed text
    if (key + 2 > fDataSize) return true;
    // Nobody reads the text; it is inflated up to a bound so that a
    // compressed bomb cannot take the machine's memory.
    constexpr size_t kMaxText = size_t(1) << 20;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return true;
    z.next_in = fData.data() + key + 2;
    z.avail_in = uInt(fDataSize - key - 2);
    uint8_t buffer[4096];
    int ret = Z_OK;
    while (ret == Z_OK && Text.size() < kMaxText) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        ret = inflate(&z, Z_NO_FLUSH);
        const size_t produced = sizeof buffer - z.avail_out;
        Text.append(reinterpret_cast<const char*>(buffer), produced);
        if (produced == 0 && ret == Z_OK) break;
    }
    inflateEnd(&z);
    return true;
}

// ---------------------------------------------------------------- registry

namespace {

struct Registered {
    TChunkName name;
    std::unique_ptr<TChunk> (*create)(TPngImage*);
};

template <class T>
std::unique_ptr<TChunk> Make(TPngImage* owner) { return std::make_unique<T>(owner); }

const std::vector<Registered>& Registry() {
    static const std::vector<Registered> list = {
        {MakeChunkName("IEND"), &Make<TChunkIEND>}, {MakeChunkName("IHDR"), &Make<TChunkIHDR>},
        {MakeChunkName("IDAT"), &Make<TChunkIDAT>}, {MakeChunkName("PLTE"), &Make<TChunkPLTE>},
        {MakeChunkName("gAMA"), &Make<TChunkgAMA>}, {MakeChunkName("tRNS"), &Make<TChunktRNS>},
        {MakeChunkName("pHYs"), &Make<TChunkpHYs>}, {MakeChunkName("tIME"), &Make<TChunktIME>},
        {MakeChunkName("tEXt"), &Make<TChunktEXt>}, {MakeChunkName("zTXt"), &Make<TChunkzTXt>},
    };
    return list;
}

}  // namespace

std::unique_ptr<TChunk> CreateRegisteredChunk(TPngImage* owner, const TChunkName& name) {
    for (const Registered& r : Registry())
        if (r.name == name) return r.create(owner);
    return nullptr;
}

// ---------------------------------------------------------------- TPNGList

TChunk* TPNGList::Item(int index) const {
    return index >= 0 && index < Count() ? fItems[size_t(index)].get() : nullptr;
}

void TPNGList::SetItem(int index, std::unique_ptr<TChunk> chunk) {
    if (index >= 0 && index < Count()) fItems[size_t(index)] = std::move(chunk);
}

void TPNGList::Append(std::unique_ptr<TChunk> chunk) { fItems.push_back(std::move(chunk)); }

void TPNGList::Insert(std::unique_ptr<TChunk> chunk, int position) {
    position = std::clamp(position, 0, Count());
    fItems.insert(fItems.begin() + position, std::move(chunk));
}

int TPNGList::IndexOf(const TChunk* chunk) const {
    for (size_t i = 0; i < fItems.size(); ++i)
        if (fItems[i].get() == chunk) return int(i);
    return -1;
}

void TPNGList::RemoveChunk(TChunk* chunk) {
    const int i = IndexOf(chunk);
    if (i >= 0) fItems.erase(fItems.begin() + i);
}

void TPNGList::Clear() {
    // Free from the end so the header (and its picture) goes last.
    while (!fItems.empty()) fItems.pop_back();
}

void TPNGList::Place(std::unique_ptr<TChunk> chunk) {
    TChunk* c = chunk.get();
    const bool creating = fOwner->BeingCreated;
    const bool critical = dynamic_cast<TChunkIHDR*>(c) || dynamic_cast<TChunkIDAT*>(c) ||
                          dynamic_cast<TChunkPLTE*>(c) || dynamic_cast<TChunkIEND*>(c);
    if (critical && !creating) throw EPngError(kPngAddExistentChunk);
    if ((dynamic_cast<TChunkgAMA*>(c) && FindChunk<TChunkgAMA>()) ||
        (dynamic_cast<TChunktRNS*>(c) && FindChunk<TChunktRNS>()) ||
        (dynamic_cast<TChunkpHYs*>(c) && FindChunk<TChunkpHYs>()))
        throw EPngError(kPngAddExistentChunk);
    const int ihdr = FindChunk<TChunkIHDR>() ? IndexOf(FindChunk<TChunkIHDR>()) : -1;
    const int iend = FindChunk<TChunkIEND>() ? IndexOf(FindChunk<TChunkIEND>()) : -1;
    if (!creating && (ihdr < 0 || iend < 0)) throw EPngError(kPngAddToInvalidImage);

    int at;
    if (dynamic_cast<TChunkIHDR*>(c)) {
        at = 0;
    } else if (dynamic_cast<TChunkIEND*>(c)) {
        at = Count();
    } else if (dynamic_cast<TChunkgAMA*>(c) || dynamic_cast<TChunkpHYs*>(c) || dynamic_cast<TChunkPLTE*>(c)) {
        at = ihdr + 1;
    } else if (dynamic_cast<TChunktRNS*>(c)) {
        if (auto* plte = FindChunk<TChunkPLTE>()) at = IndexOf(plte) + 1;
        else if (auto* idat = FindChunk<TChunkIDAT>()) at = IndexOf(idat);
        else at = ihdr + 1;
    } else {
        at = iend >= 0 ? iend : Count();
    }
    Insert(std::move(chunk), at);
}
