// Reading a BMP file's picture one row at a time, top row first, without
// holding the file or the picture whole. The rows are those of the 32-bit
// raster that reading the whole file gives (LoadBmpToBitmap32), pixel for
// pixel: 32-bit uncompressed files keep their fourth byte as alpha, every
// other kind is opaque, and rows the data does not reach are what the whole
// reader leaves there.
#pragma once

#include "codecs/bmp/BmpLayout.h"
#include "platform/Graphic.h"
#include "platform/Stream.h"

#include <cstdint>

class TBmpRowReader {
public:
    // Reads and checks the headers at the stream's position as
    // LoadBmpToBitmap32 does, with the same errors (EReadError when the file
    // has fewer than 54 bytes, ...). The stream must stay open, and may be
    // moved anywhere between calls: every read seeks first.
    explicit TBmpRowReader(TStream& stream);

    // Run-length pictures are read whole only: false, and SendRows is not to
    // be called.
    bool CanSendRows() const { return !layout_.RunLength(); }
    int32_t Width() const { return int32_t(layout_.width); }
    int32_t Height() const { return int32_t(layout_.rows); }
    // The data ends before the picture does (the rest is sent as the whole
    // reader fills it).
    bool ShortData() const { return layout_.ShortData(); }

    // Sends every row, top first, Width() pixels each. The stored rows are
    // read in blocks of a few hundred kilobytes: forwards for a top-down
    // file, from the end of the pixel array backwards for a bottom-up one.
    void SendRows(TRowTarget& target);

private:
    // One stored row (rowSize bytes) into Width() raster pixels.
    void convert(const uint8_t* stored, uint32_t* out) const;

    static constexpr uint64_t kBlockBytes = uint64_t(1) << 18;

    TStream& stream_;
    velmora::bmp::PixelLayout layout_;
    uint32_t colours_[256] = {};  // indexed pictures: the table as opaque pixels
    velmora::bmp::Channel red_{0}, green_{0}, blue_{0};
};
