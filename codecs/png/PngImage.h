// TPngImage: reads and writes Portable Network Graphics files and draws the
// decoded picture onto a 32-bit canvas.
#pragma once

#include "codecs/png/PngChunks.h"
#include "codecs/png/PngExceptions.h"
#include "platform/Bitmap.h"
#include "platform/Graphic.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

enum class TFilter { pfNone, pfSub, pfUp, pfAverage, pfPaeth };

// Set of TFilter: bit (1 << filter type).
class TFilters {
public:
    constexpr TFilters() = default;
    constexpr TFilters(std::initializer_list<TFilter> list) {
        for (TFilter f : list) bits_ |= uint8_t(1u << unsigned(f));
    }
    constexpr bool Contains(TFilter f) const { return (bits_ >> unsigned(f)) & 1u; }
    constexpr bool IsEmpty() const { return bits_ == 0; }
    constexpr int Count() const {
        int n = 0;
        for (unsigned i = 0; i < 5; ++i) n += (bits_ >> i) & 1;
        return n;
    }
    friend constexpr bool operator==(const TFilters&, const TFilters&) = default;

private:
    uint8_t bits_ = 0;
};

enum class TInterlaceMethod { imNone, imAdam7 };
enum class TPNGTransparencyMode { ptmNone, ptmBit, ptmPartial };
using TCompressionLevel = int;  // 0..9

class TPngImage : public TGraphic {
public:
    TPngImage();
    ~TPngImage() override;
    TPngImage(const TPngImage&) = delete;
    TPngImage& operator=(const TPngImage&) = delete;

    int32_t Width() override;
    int32_t Height() override;
    bool Empty() override { return fChunkList.Count() == 0; }
    bool Transparent() override { return TransparencyMode() != TPNGTransparencyMode::ptmNone; }

    void LoadFromStream(TStream& stream) override;
    // Raises EPNGHeaderNotPresent for an image without header and
    // EPNGInvalidSize for one of width or height 0; nothing is written then.
    void SaveToStream(TStream& stream) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // The rows Draw paints over white at the picture's own size, alpha 255,
    // decoded one at a time from image data that LoadFromStream deferred
    // (DeferImageData). Every row is sent, also those a short stream never
    // reached (drawn as the zero rows Draw would find there). False, with
    // nothing sent, for Adam7 pictures and without deferred data. An index
    // beyond the palette of a partly transparent picture raises the EPngError
    // of Draw once the image data has been read to its end.
    bool DrawOpaqueRows(int32_t width, int32_t height, TRowTarget& target) override;
    // The picture at its own size (the canvas must be as large) with its
    // transparency: every pixel premultiplied by its alpha (colour x a / 255,
    // rounded), fully transparent ones 0. Opaque pixels get the colours Draw
    // gives them. EPngError for a palette index beyond the palette, as Draw.
    void DrawWithAlpha(TCanvas& canvas);

    // The header chunk; EPNGHeaderNotPresent when the list is empty or does
    // not start with one.
    TChunkIHDR* Header();

    // From a platform bitmap: the chunk list is rebuilt around a copy of its
    // pixels (8-bit RGB for 15 bits per pixel and more, palette otherwise).
    void Assign(const TBitmap& source);
    // From a 32-bit bitmap whose fourth byte is alpha (not premultiplied):
    // an 8-bit RGB + alpha picture. Other bitmaps go the way of Assign.
    void AssignWithAlpha(const TBitmap& source);
    // A copy of another image: writer settings, chunks, gamma tables.
    void Assign(const TPngImage& source);
    // No source: every chunk is freed.
    void Assign(std::nullptr_t);
    // transparentColor: 0x00BBGGRR, used only when transparent.
    void AssignHandle(const TBitmap& bitmap, bool transparent, uint32_t transparentColor);

    TPNGTransparencyMode TransparencyMode();
    // Colour key of a bit-transparent image as 0x00BBGGRR; 0 otherwise.
    uint32_t TransparentColor();

    // Writer settings.
    TFilters Filters() const { return fFilters; }
    void SetFilters(TFilters f) { fFilters = f; }
    TCompressionLevel CompressionLevel() const { return fCompressionLevel; }
    void SetCompressionLevel(TCompressionLevel level);
    int32_t MaxIdatSize() const { return fMaxIdatSize; }
    void SetMaxIdatSize(int32_t size) { fMaxIdatSize = size < 65535 ? 65535 : size; }
    TInterlaceMethod InterlaceMethod() const { return fInterlaceMethod; }
    void SetInterlaceMethod(TInterlaceMethod m) { fInterlaceMethod = m; }

    TPNGList& Chunks() { return fChunkList; }
    // Row y of the picture (top = 0) and its alpha row (nullptr without alpha).
    uint8_t* Scanline(int32_t y);
    uint8_t* AlphaScanline(int32_t y);

    template <class E>
    [[noreturn]] void RaiseError() { throw E(); }
    template <class E>
    [[noreturn]] void RaiseError(const std::string& text) { throw E(text); }

    // File sample -> displayed sample, and back (writing).
    std::array<uint8_t, 256> GammaTable{};
    std::array<uint8_t, 256> InverseGamma{};
    void InitializeGamma();
    // Rebuilds both tables for a gamma value g (gamma x 100000, g != 0).
    void ApplyGamma(uint32_t g);

    // Lifts the chunk-order rules of TPNGList::Add while a picture is built.
    bool BeingCreated = false;

    // LoadFromStream reads every chunk but leaves the image data in the
    // stream, which must then stay open and unchanged until DrawOpaqueRows
    // has decoded it; the picture itself stays blank.
    bool DeferImageData = false;

    // Writing a w x h 8-bit RGB picture row by row, to the bytes that
    // Assign of a 32-bit bitmap with those pixels and SaveToStream would
    // give. PrepareRows builds the chunk list (header, image data, end)
    // without a picture; chunks may be added before BeginRows, which writes
    // the signature and every chunk before the image data. WriteRow takes
    // the rows top first (w pixels 0xAARRGGBB, alpha ignored); EndRows
    // writes the rest of the image data and the chunks after it.
    void PrepareRows(int32_t width, int32_t height);
    void BeginRows(TStream& stream);
    void WriteRow(const uint32_t* row);
    void EndRows();

private:
    void ClearChunks();
    void DrawCopy(TCanvas& canvas, const TRect& rect, bool keyed);
    void DrawPartial(TCanvas& canvas, const TRect& rect);
    void DrawPaletteAlpha(TCanvas& canvas);
    TChunkIDAT* ImageDataChunk();

    TStream* fRowStream = nullptr;  // between BeginRows and EndRows

    TPNGList fChunkList{this};
    TFilters fFilters{TFilter::pfSub};
    TCompressionLevel fCompressionLevel = 7;
    int32_t fMaxIdatSize = 65535;
    TInterlaceMethod fInterlaceMethod = TInterlaceMethod::imNone;
};

// Registers ".png" ("Portable Network Graphics") with the picture holder, and
// takes it out again.
void RegisterPngFormat();
void UnregisterPngFormat();
