// The decoded-picture contract shared by TBitmap, TJPEGImage and TPngImage.
#pragma once

#include "platform/Rect.h"
#include "platform/Stream.h"

#include <cstdint>
#include <string>

// A drawing surface: a block of 32-bit pixels (bytes blue, green, red, alpha),
// top row first, stride exactly Width pixels. The raster hands one of these
// over its own pixel block when a picture draws itself into it.
struct TCanvas {
    uint32_t* Bits = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;

    uint32_t* Row(int32_t y) const { return Bits + size_t(y) * size_t(Width); }
};

// Where a picture sends its rows one at a time, top row first: each row
// (Width 32-bit pixels, as in a TCanvas) is written at NextRow, then handed
// over with Push.
class TRowTarget {
public:
    virtual ~TRowTarget() = default;
    virtual uint32_t* NextRow() = 0;
    virtual void Push() = 0;
};

class TGraphic {
public:
    virtual ~TGraphic() = default;

    // Set by a load whose data ended before the picture it declares: the
    // picture was read as far as the data goes and the rest filled in.
    bool ShortData = false;

    virtual int32_t Width() = 0;
    virtual int32_t Height() = 0;
    virtual bool Empty() = 0;
    virtual bool Transparent() { return false; }

    // Draws the whole picture into rect of the canvas, over the pixels there.
    // The raster always passes a rectangle of exactly the picture's size.
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;

    // A shortcut for pictures that can paint every pixel of a canvas of
    // exactly their size with an opaque colour (alpha 255), so the caller can
    // skip filling the canvas first and resetting alpha afterwards. Returns
    // false, with the canvas untouched, when the picture cannot do that; the
    // caller then fills and draws as usual.
    virtual bool DrawOpaque(TCanvas& /*canvas*/) { return false; }

    // DrawOpaque one row at a time, for a picture of width x height: every
    // row holds what DrawOpaque would paint there, and no whole picture is
    // held on the way. Returns false, having sent nothing, when the picture
    // cannot do that. A picture that ends early without an error sends fewer
    // rows (DrawOpaque leaves those canvas rows as they were).
    virtual bool DrawOpaqueRows(int32_t /*width*/, int32_t /*height*/, TRowTarget& /*target*/) { return false; }

    // Default: EInvalidGraphicOperation (the class has no stream format here).
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream);

    // Reads the whole file into memory, then LoadFromStream.
    virtual void LoadFromFile(const std::string& path);
    // SaveToStream into memory, then writes the file through a temporary
    // file renamed over the target (an existing file survives any failure).
    virtual void SaveToFile(const std::string& path);
};
