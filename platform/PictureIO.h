// The two small interfaces every picture format is reached through: a reader
// gives a picture's size, what it says about itself, then its rows; a writer
// takes a size, the metadata to carry and the settings to keep, then rows.
//
// Pixels are 32-bit 0xAARRGGBB values (TColor32's layout: B, G, R, A in
// memory), not premultiplied; an opaque pixel has alpha 255.
#pragma once

#include "platform/Graphic.h"
#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// What a file says about itself that an output may keep or must apply.
struct TPictureMetadata {
    // Orientation 1..8 (EXIF's meaning) that the reader did not apply itself
    // and the caller may apply; 0 when there is none or it cannot be trusted.
    int orientation = 0;
    // The TIFF block of the file's EXIF ("II*\0" or "MM\0*" first); empty
    // when there is none.
    std::vector<uint8_t> exif;
    // XMP packets as UTF-8 XML.
    std::vector<std::vector<uint8_t>> xmp;
    // A complete RGB ICC profile; empty when there is none (or it is not RGB).
    std::vector<uint8_t> icc;
};

class TPictureReader {
public:
    virtual ~TPictureReader() = default;
    // Reads what comes before the pixels from source (from its position on):
    // size, transparency and metadata. The reader may keep reading source in
    // ReadRows, so source must outlive the reader. Bad input raises the
    // codec's exception with a fixed text; a declared size above the codec's
    // limits is refused here, before any pixel memory is taken.
    virtual void ReadHeader(TStream& source) = 0;
    // The stored size (before any orientation is applied).
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // Whether rows may carry alpha below 255.
    virtual bool HasAlpha() const = 0;
    virtual const TPictureMetadata& Metadata() const = 0;
    // Sends Height() rows of Width() pixels, top row first, into target: for
    // each row, NextRow() gives the buffer to fill, Push() hands it over.
    virtual void ReadRows(TRowTarget& target) = 0;
    // Set by ReadRows when the data ended before the picture did and the
    // rest was filled in.
    virtual bool ShortData() const { return false; }
};

// What a writer is asked to keep beyond the pixels.
struct TWriteSettings {
    int quality = 0;        // 1..100; 0: the format's own default
    bool lossless = false;  // formats that have a lossless mode
    bool progressive = false;
    bool interlaced = false;
    bool alpha = false;  // keep the rows' alpha (formats that can hold it)
};

class TPictureWriter {
public:
    virtual ~TPictureWriter() = default;
    // Starts a picture of width x height; metadata is written as far as the
    // format can hold it (an empty field writes nothing).
    virtual void Begin(int32_t width, int32_t height, const TPictureMetadata& metadata,
                       const TWriteSettings& settings, TStream& out) = 0;
    // Row after row, top first, width pixels each, valid during the call only.
    virtual void WriteRow(const uint32_t* row) = 0;
    // Finishes the file in out after the last row. A writer dropped before
    // End may have written part of a file; the caller discards it.
    virtual void End() = 0;
};
