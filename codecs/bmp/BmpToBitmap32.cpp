#include "codecs/bmp/BmpToBitmap32.h"

#include "codecs/bmp/BmpFile.h"
#include "codecs/bmp/BmpHeader.h"
#include "codecs/bmp/BmpLayout.h"
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
    if (!TakesDirectRoute(head)) {
        stream.SetPosition(start);
        TBitmap picture;
        LoadBmp(picture, stream);
        raster.Assign(picture);
        raster.ShortData = picture.ShortData;
        return;
    }
    const PixelLayout layout = DirectPixelLayout(head, stream, start);
    const int64_t rows = layout.rows;
    const size_t rowBytes = size_t(layout.rowSize);
    raster.SetSize(int32_t(layout.width), int32_t(rows));
    stream.SetPosition(layout.pixelStart);
    if (layout.bottomUp) {
        // The first row stored is the bottom row.
        for (int64_t i = 0; i < rows; ++i) stream.ReadBuffer(raster.ScanLine(int32_t(rows - 1 - i)), rowBytes);
    } else {
        stream.ReadBuffer(raster.Bits(), size_t(layout.count));
    }
    raster.Changed();
}
