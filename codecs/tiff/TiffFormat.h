// TIFF pictures (strips or tiles, any compression and layout libtiff turns
// into RGBA), read through libtiff a band of rows at a time. Only the first
// picture of a multi-page file is read.
#pragma once

#include "platform/Exceptions.h"
#include "platform/PictureIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Bad or unsupported TIFF input. The text is one of the fixed causes below,
// with libtiff's own first error after ": " where it names what broke.
class ETiffError : public EInvalidGraphic {
    using EInvalidGraphic::EInvalidGraphic;
};

inline constexpr const char* kTiffNotTiff = "not a TIFF file";
inline constexpr const char* kTiffDamaged = "the TIFF file is damaged";
inline constexpr const char* kTiffUnsupported = "the TIFF picture's layout is not supported";
inline constexpr const char* kTiffTooLarge = "the picture is larger than 250 megapixels";
inline constexpr const char* kTiffTooWide = "the picture is wider than 262144 pixels";
inline constexpr const char* kTiffDataDamaged = "the TIFF picture data is damaged";

// Pictures declaring more pixels than this, or wider ones, are refused before
// any is read (a single row of the widest takes 1 MiB).
inline constexpr int64_t kTiffMaxPixels = int64_t(250) * 1000 * 1000;
inline constexpr uint32_t kTiffMaxWidth = uint32_t(1) << 18;

// The first bytes of a classic ("II*\0", "MM\0*") or BigTIFF ("II+\0",
// "MM\0+") file; false for fewer than four bytes.
bool IsTiff(const uint8_t* head, size_t n);

// Metadata(): the orientation tag (1..8, 0 when absent) left to the caller,
// the ICC profile when it is an RGB one, the XMP packet; no EXIF. Rows with
// alpha come straight (libtiff's premultiplied values are divided back).
std::unique_ptr<TPictureReader> NewTiffReader();
