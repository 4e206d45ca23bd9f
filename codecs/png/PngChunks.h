// The chunk model of the PNG image object: one object per chunk of the file,
// in file order. The header chunk also owns the decoded picture.
#pragma once

#include "codecs/png/PngExceptions.h"
#include "codecs/png/PngFormat.h"
#include "platform/Bitmap.h"
#include "platform/Stream.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class TPngImage;
class TChunkIHDR;

// A zero-filled heap block that is not touched until written: large pictures
// cost address space, not memory, until their rows are decoded.
class TZeroBlock {
public:
    TZeroBlock() = default;
    // EPNGOutMemory when the block cannot be had.
    void Allocate(size_t size);
    void Release() { data_.reset(); size_ = 0; }
    void CopyFrom(const TZeroBlock& other);
    uint8_t* Data() const { return data_.get(); }
    size_t Size() const { return size_; }

private:
    struct Free { void operator()(uint8_t* p) const { std::free(p); } };
    std::unique_ptr<uint8_t, Free> data_;
    size_t size_ = 0;
};

class TChunk {
public:
    TChunk(TPngImage* owner, const TChunkName& name);
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    // Copies the chunk's content; EPngError when the classes differ.
    virtual void Assign(const TChunk& source);
    // The stream stands at the chunk data; reads data and CRC (EPngInvalidCRC
    // on mismatch), then parses. Returns false to end the chunk loop.
    virtual bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size);
    // Serialises the chunk (length, type, data, CRC).
    virtual bool SaveToStream(TStream& stream);
    // A new chunk of the same class owned by `owner`, assigned from this one.
    virtual std::unique_ptr<TChunk> Clone(TPngImage* owner) const;

    void ResizeData(uint32_t newSize);
    bool SaveData(TStream& stream);
    int Index() const;
    TChunkIHDR* Header() const;

    const TChunkName& Name() const { return fName; }
    std::string NameString() const { return std::string(fName.data(), 4); }
    uint8_t* Data() { return fData.data(); }
    const uint8_t* Data() const { return fData.data(); }
    uint32_t DataSize() const { return fDataSize; }
    TPngImage* Owner() const { return fOwner; }

protected:
    // Data and CRC of a chunk being read (every class but IDAT).
    void ReadDataAndCheck(TStream& stream, uint32_t size);
    void CopyBase(const TChunk& source);

    std::vector<uint8_t> fData = std::vector<uint8_t>(1);  // always fDataSize + 1 bytes
    uint32_t fDataSize = 0;
    TPngImage* fOwner;
    TChunkName fName;
};

// The chunk classes derive through TChunkOf<Self, Base>, which gives each
// one the Clone of its own class.
template <class Self, class Base = TChunk>
class TChunkOf : public Base {
public:
    using Base::Base;
    std::unique_ptr<TChunk> Clone(TPngImage* owner) const override {
        auto c = std::make_unique<Self>(owner);
        c->Assign(static_cast<const Self&>(*this));
        return c;
    }
};

class TChunkIEND : public TChunkOf<TChunkIEND> {
public:
    explicit TChunkIEND(TPngImage* owner) : TChunkOf(owner, MakeChunkName("IEND")) {}
};

struct TIHDRData {
    uint32_t Width = 0, Height = 0;
    uint8_t BitDepth = 0, ColorType = 0, CompressionMethod = 0, FilterMethod = 0, InterlaceMethod = 0;
};

// Header chunk and owner of the picture: a device-independent bitmap (rows
// bottom-up, each padded to 4 bytes; 1-, 4- and 8-bit indices into ColorTable
// packed from the most significant bit, 24-bit blue, green, red) plus, for
// colour types 4 and 6, an alpha plane of Width x Height bytes, top row first.
class TChunkIHDR : public TChunkOf<TChunkIHDR> {
public:
    explicit TChunkIHDR(TPngImage* owner) : TChunkOf(owner, MakeChunkName("IHDR")) {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;

    // Checks IHDRData and allocates a zero picture for it (any earlier one is
    // released). Refuses with an EPNG... error before allocating anything.
    void PrepareImageData();
    void FreeImageData();

    TIHDRData IHDRData;
    int BitCount = 0;            // DIB bits per pixel: 1, 4, 8 or 24
    size_t BytesPerRow = 0;      // DIB row length
    bool HasPalette = false;     // the DIB has a colour table
    std::array<TRGBQuad, 256> ColorTable{};
    uint32_t ColorTableLength = 0;
    TZeroBlock ImageData;
    TZeroBlock ImageAlpha;       // empty unless colour type 4 or 6

    bool HasImage() const { return ImageData.Data() != nullptr; }
    // Row y of the picture, counted from the top.
    uint8_t* ScanLine(uint32_t y) const { return ImageData.Data() + BytesPerRow * (IHDRData.Height - 1 - y); }
    uint8_t* AlphaScanLine(uint32_t y) const {
        return ImageAlpha.Data() ? ImageAlpha.Data() + size_t(IHDRData.Width) * y : nullptr;
    }
    // Grey ramp of 2^BitCount entries through the owner's gamma table.
    void BuildGreyRamp();
};

class TPngLineEncoder;

// Image data. Reading decodes the whole zlib stream (spanning consecutive
// IDAT chunks) into the header's picture; writing encodes the picture.
//
// When the owner defers its image data, reading only notes where the data
// starts and steps over the chunk; DecodeRows later reads it from there, one
// row at a time. Writing can also take the rows one at a time (BeginRows,
// WriteRow, EndRows) instead of encoding a picture.
class TChunkIDAT : public TChunkOf<TChunkIDAT> {
public:
    explicit TChunkIDAT(TPngImage* owner);
    ~TChunkIDAT() override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;

    // Receives row y of the picture as unfiltered file samples (valid during
    // the call only).
    using TLineSink = void (*)(void* context, uint32_t y, const uint8_t* line);
    // Whether deferred image data waits in a stream for DecodeRows.
    bool HasDeferredData() const { return fDeferredStream != nullptr; }
    // Decodes the deferred data of a non-interlaced picture, handing each row
    // to sink in order, with the checks and errors of a whole read; sets the
    // owner's ShortData. Returns the rows handed over (fewer than the height
    // when the data ends early). The deferred data is used up.
    uint32_t DecodeRows(TLineSink sink, void* context);
    // Stores one unfiltered line of `count` pixels into a picture row (dib,
    // and alpha for colour types 4 and 6), pixel k at column x0 + k * dx.
    static void StoreLine(TPngImage* owner, const TChunkIHDR* h, const uint8_t* line, uint8_t* dib, uint8_t* alpha,
                          uint32_t x0, uint32_t dx, uint32_t count);

    // Image data of a picture of the header's size (8-bit RGB) from rows of
    // 32-bit pixels (0xAARRGGBB, alpha ignored) written as they come: the
    // chunks go to stream as their data fills up.
    void BeginRows(TStream& stream);
    void WriteRow(const uint32_t* row);
    void EndRows();

private:
    TStream* fDeferredStream = nullptr;
    int64_t fDeferredStart = 0;
    uint32_t fDeferredSize = 0;
    std::unique_ptr<TPngLineEncoder> fRowEncoder;
};

class TChunkPLTE : public TChunkOf<TChunkPLTE> {
public:
    explicit TChunkPLTE(TPngImage* owner) : TChunkOf(owner, MakeChunkName("PLTE")) {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;

    uint32_t Count() const { return fCount; }
    void SetCount(uint32_t count) { fCount = count; }

private:
    uint32_t fCount = 0;
};

class TChunkgAMA : public TChunkOf<TChunkgAMA> {
public:
    explicit TChunkgAMA(TPngImage* owner) : TChunkOf(owner, MakeChunkName("gAMA")) {}
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    // Gamma times 100000; 1 when the chunk data is not 4 bytes long.
    uint32_t Gamma() const;
};

class TChunktRNS : public TChunkOf<TChunktRNS> {
public:
    explicit TChunktRNS(TPngImage* owner);
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;

    // Builds the chunk data from a colour 0x00BBGGRR for the header's colour type.
    void SetTransparentColor(uint32_t color);
    // Chunk data, the rest 255.
    std::array<uint8_t, 256> PaletteValues;
    bool BitTransparency() const { return fBitTransparency; }

private:
    void Parse();
    bool fBitTransparency = false;
};

enum class TUnitType { utUnknown, utMeter };

class TChunkpHYs : public TChunkOf<TChunkpHYs> {
public:
    explicit TChunkpHYs(TPngImage* owner) : TChunkOf(owner, MakeChunkName("pHYs")) {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    uint32_t PPUnitX = 0, PPUnitY = 0;
    TUnitType Unit = TUnitType::utUnknown;
};

class TChunktIME : public TChunkOf<TChunktIME> {
public:
    explicit TChunktIME(TPngImage* owner) : TChunkOf(owner, MakeChunkName("tIME")) {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

class TChunktEXt : public TChunkOf<TChunktEXt> {
public:
    explicit TChunktEXt(TPngImage* owner) : TChunkOf(owner, MakeChunkName("tEXt")) {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
    std::string Keyword, Text;

protected:
    TChunktEXt(TPngImage* owner, const TChunkName& name) : TChunkOf(owner, name) {}
};

class TChunkzTXt : public TChunkOf<TChunkzTXt, TChunktEXt> {
public:
    explicit TChunkzTXt(TPngImage* owner) : TChunkOf(owner, MakeChunkName("zTXt")) {}
    bool LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) override;
};

// The registered chunk classes, by type name; nullptr for an unregistered type.
std::unique_ptr<TChunk> CreateRegisteredChunk(TPngImage* owner, const TChunkName& name);

// The chunks of an image in file order.
class TPNGList {
public:
    explicit TPNGList(TPngImage* owner) : fOwner(owner) {}

    int Count() const { return int(fItems.size()); }
    TChunk* Item(int index) const;                  // nullptr out of range
    void SetItem(int index, std::unique_ptr<TChunk> chunk);  // ignored out of range
    void Append(std::unique_ptr<TChunk> chunk);
    void Insert(std::unique_ptr<TChunk> chunk, int position);
    int IndexOf(const TChunk* chunk) const;
    void RemoveChunk(TChunk* chunk);                // removes and frees
    void Clear();

    template <class T>
    T* FindChunk() const {
        for (const auto& c : fItems)
            if (auto* p = dynamic_cast<T*>(c.get())) return p;
        return nullptr;
    }

    // Creates a chunk of class T and places it by the chunk-order rules;
    // EPngError when the image may not take it.
    template <class T>
    T* Add() {
        auto chunk = std::make_unique<T>(fOwner);
        T* raw = chunk.get();
        Place(std::move(chunk));
        return raw;
    }

private:
    void Place(std::unique_ptr<TChunk> chunk);

    TPngImage* fOwner;
    std::vector<std::unique_ptr<TChunk>> fItems;
};
