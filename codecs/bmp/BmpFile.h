// Reading and writing Windows bitmap files.
//
// Reader: core (12-byte) and info (40-, 108- and 124-byte) headers; 1, 4, 8,
// 16, 24 and 32 bits per pixel; uncompressed, bit-field, RLE8 and RLE4
// pictures; bottom-up and top-down row order. The result is a TBitmap whose
// pixel format follows the file:
//   1/4/8 bits uncompressed   pf1bit / pf4bit / pf8bit with Palette
//   16 bits uncompressed      pf15bit (5-5-5, top bit ignored)
//   16-bit fields 5-6-5       pf16bit (masks 0xF800, 0x07E0, 0x001F)
//   24 bits                   pf24bit
//   32 bits uncompressed      pf32bit (the fourth byte is kept)
//   other bit fields          pfCustom, decoded to 32-bit blue, green, red, 0
//   RLE8 / RLE4               pfDevice, decoded to 32-bit blue, green, red, 0
// Channels narrower than 8 bits are widened by repeating their bits from the
// most significant end (5 bits abcde -> abcdeabc); wider ones keep their top
// 8 bits. A pixel index past the colour table is black.
//
// Writer: always 32 bits per pixel, uncompressed, bottom-up, 54 header bytes,
// no colour table, resolution 0.
#pragma once

#include "platform/Bitmap.h"
#include "platform/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads a whole BMP file from the stream's position into the bitmap; an empty
// remainder leaves an empty bitmap. Failures: EReadError ("Stream read
// error") when the headers, masks or colour table are cut short;
// EInvalidGraphic ("Bitmap image is not valid") for a file that is not a
// bitmap this reader supports or whose size is unreasonable. A pixel array
// shorter than the picture is not an error: the missing pixels stay zero.
// Every check of the file comes before the bitmap is touched: a refused file
// leaves it as it was (only EOutOfMemory, for a picture that cannot be
// allocated, leaves it empty). Transparent and TransparentColor are kept.
void LoadBmp(TBitmap& bitmap, TStream& stream);

// Writes the bitmap as a 32-bit uncompressed bottom-up BMP file. An empty
// bitmap raises EInvalidGraphicOperation and writes nothing.
void SaveBmp(const TBitmap& bitmap, TStream& stream);

// The bytes SaveBmp writes for a 32-bit picture of width x height, made one
// row at a time: the headers are in place from the start, and picture row y
// (0 = the top) goes to Row(y) as width x 4 bytes (blue, green, red, alpha);
// rows never written stay 0. Refuses the sizes SaveBmp refuses, with the same
// errors.
class TBmpFileBytes {
public:
    TBmpFileBytes(int32_t width, int32_t height);
    uint8_t* Row(int32_t y);
    // The whole file; the object is empty afterwards.
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    int32_t height_;
    size_t rowBytes_;
    std::vector<uint8_t> bytes_;
};

// SaveBmp into memory, then the file is replaced as a whole: an existing file
// survives any failure (EFCreateError when the file cannot be written).
void SaveBmpToFile(const TBitmap& bitmap, const std::string& path);

// A platform bitmap that reads and writes its stream as a BMP file: the
// class the picture holder uses for ".bmp" files.
class TBitmapFile : public TBitmap {
public:
    void LoadFromStream(TStream& stream) override { LoadBmp(*this, stream); }
    void SaveToStream(TStream& stream) override { SaveBmp(*this, stream); }
};

// Registers ".bmp" with the picture holder and installs the BMP reader as
// the raster's file reader (done once; later calls do nothing).
void RegisterBmpFormat();
