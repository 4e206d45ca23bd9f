#include "codecs/bmp/BmpToBitmap32.h"

#include "codecs/bmp/BmpFile.h"
#include "codecs/bmp/BmpHeader.h"
#include "platform/Exceptions.h"
#include "platform/Picture.h"
#include "raster/Bitmap32.h"

using namespace velmora::bmp;

void LoadBmpFileToBitmap32(TBitmap32& raster, const std::string& fileName) {
    raster.ShortData = false;
    TMemoryStream stream(velmora::ReadWholeFile(fileName));
    uint8_t head[kHeadersSize];
    stream.ReadBuffer(head, sizeof head);
    if (ReadLE16(head) == kSignature) {
        stream.SetPosition(0);
        LoadBmpToBitmap32(raster, stream);
        return;
    }
    RegisterBmpFormat();
    TPicture picture;
    picture.LoadFromFile(fileName);
    raster.Assign(picture);
    raster.ShortData = picture.Graphic() != nullptr && picture.Graphic()->ShortData;
}

void LoadBmpToBitmap32(TBitmap32& raster, TStream& stream) {
    raster.ShortData = false;
    const int64_t start = stream.Position();
    uint8_t head[kHeadersSize];
    stream.ReadBuffer(head, sizeof head);
    const FileHeader file = ParseFileHeader(head);
    const InfoHeader info = ParseInfoHeader(head + kFileHeaderSize, kInfoHeaderSize);

    // The fast route needs an info header (40 bytes or longer): only then are
    // planes, bit count and compression where the parser read them.
    const bool fast = file.signature == kSignature && info.size >= kInfoHeaderSize && info.planes == 1 &&
                      info.bitCount == 32 && info.compression == kRgb;
    if (!fast) {
        stream.SetPosition(start);
        TBitmap picture;
        LoadBmp(picture, stream);
        raster.Assign(picture);
        raster.ShortData = picture.ShortData;
        return;
    }
    Validate(info);

    // The pixel array starts where the file header says, provided that lies
    // past the headers and any colour table; it must be complete.
    const int64_t rows = info.Rows();
    const uint64_t headersEnd = uint64_t(kFileHeaderSize) + info.size + uint64_t(info.clrUsed) * 4;
    const uint64_t fileSize = uint64_t(stream.Size() - start);
    const uint64_t pixelStart = PixelArrayOffset(file.offBits, headersEnd, fileSize);
    const size_t rowBytes = size_t(info.width) * 4;
    const uint64_t needed = uint64_t(rowBytes) * uint64_t(rows);
    if (pixelStart > fileSize || fileSize - pixelStart < needed) throw EReadError();

    raster.SetSize(int32_t(info.width), int32_t(rows));
    stream.SetPosition(start + int64_t(pixelStart));
    if (info.height > 0) {
        // Bottom-up: the first row stored is the bottom row.
        for (int64_t i = 0; i < rows; ++i) stream.ReadBuffer(raster.ScanLine(int32_t(rows - 1 - i)), rowBytes);
    } else {
        stream.ReadBuffer(raster.Bits(), size_t(needed));
    }
    raster.Changed();
}
