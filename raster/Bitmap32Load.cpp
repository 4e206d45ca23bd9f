// Loading a raster from a BMP file: 32-bit uncompressed files are copied
// straight into the pixel block (the fourth byte becomes alpha); every other
// file is decoded into a platform bitmap and assigned.
#include "raster/Bitmap32.h"

#include "codecs/bmp/BmpFile.h"
#include "platform/CheckedSize.h"
#include "platform/Exceptions.h"
#include "platform/Picture.h"

#include <cstring>

using velmora::bmp::ReadLE16;
using velmora::bmp::ReadLE32;

void TBitmap32::LoadFromFile(const std::string& FileName) {
    ShortData = false;
    TMemoryStream stream(velmora::ReadWholeFile(FileName));
    uint8_t head[velmora::bmp::kHeadersSize];
    stream.ReadBuffer(head, sizeof head);
    if (ReadLE16(head) == velmora::bmp::kSignature) {
        stream.SetPosition(0);
        LoadFromStream(stream);
        return;
    }
    // Not a bitmap file: the picture holder reads it by its extension (a
    // ".bmp" file without the signature fails there as not valid).
    RegisterBmpFormat();
    TPicture picture;
    picture.LoadFromFile(FileName);
    Assign(picture);
    ShortData = picture.Graphic() != nullptr && picture.Graphic()->ShortData;
}

void TBitmap32::LoadFromStream(TStream& Stream) {
    ShortData = false;
    const int64_t start = Stream.Position();
    uint8_t head[velmora::bmp::kHeadersSize];
    Stream.ReadBuffer(head, sizeof head);

    const uint32_t headerSize = ReadLE32(head + 14);
    // The fast route needs an info header (40 bytes or longer): only then do
    // bytes 26..33 hold the planes, bit count and compression.
    const bool fast = ReadLE16(head) == velmora::bmp::kSignature && headerSize >= velmora::bmp::kInfoHeaderSize &&
                      ReadLE16(head + 26) == 1 && ReadLE16(head + 28) == 32 && ReadLE32(head + 30) == 0;
    if (!fast) {
        Stream.SetPosition(start);
        TBitmap picture;
        LoadBmp(picture, Stream);
        Assign(picture);
        ShortData = picture.ShortData;
        return;
    }

    const int64_t width = int32_t(ReadLE32(head + 18));
    const int64_t height = int32_t(ReadLE32(head + 22));
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || height == 0 || !velmora::PixelCountOk(width, rows))
        throw EInvalidGraphic("Bitmap image is not valid");

    // The pixel array starts where the file header says, provided that lies
    // past the headers and any colour table; it must be complete.
    const uint64_t headersEnd =
        uint64_t(velmora::bmp::kFileHeaderSize) + headerSize + uint64_t(ReadLE32(head + 46)) * 4;
    const uint64_t fileSize = uint64_t(Stream.Size() - start);
    const uint64_t pixelStart = velmora::bmp::PixelArrayOffset(ReadLE32(head + 10), headersEnd, fileSize);
    const size_t rowBytes = size_t(width) * 4;
    const uint64_t needed = uint64_t(rowBytes) * uint64_t(rows);
    if (pixelStart > fileSize || fileSize - pixelStart < needed) throw EReadError();

    SetSize(int32_t(width), int32_t(rows));
    Stream.SetPosition(start + int64_t(pixelStart));
    if (height > 0) {
        // Bottom-up: the first row stored is the bottom row.
        for (int64_t i = 0; i < rows; ++i) Stream.ReadBuffer(ScanLine(int32_t(rows - 1 - i)), rowBytes);
    } else {
        Stream.ReadBuffer(Bits(), size_t(needed));
    }
    Changed();
}
