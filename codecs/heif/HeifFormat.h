// HEIC/HEIF and AVIF pictures: telling them by their first bytes, the reader
// (both kinds, through libheif) and the AVIF writer.
#pragma once

#include "platform/Exceptions.h"
#include "platform/PictureIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// True when head (a file's first n bytes) starts with an ISO-BMFF `ftyp` box
// whose major or compatible brands name a HEIF still picture or sequence
// (HEVC or AV1 coded). Plain MP4 and QuickTime videos are not taken.
bool IsHeif(const uint8_t* head, size_t n);

std::unique_ptr<TPictureReader> NewHeifReader();
std::unique_ptr<TPictureWriter> NewAvifWriter();

// Every failure of the unit: one of the fixed texts below, with libheif's own
// message after ": " where it names the cause.
class EHeifError : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

inline constexpr const char* kHeifNotHeif = "not a HEIF file";
inline constexpr const char* kHeifNoPicture = "the HEIF file has no picture data";
inline constexpr const char* kHeifTruncated = "the HEIF file is truncated";
inline constexpr const char* kHeifDamaged = "the HEIF file is damaged";
inline constexpr const char* kHeifUnsupported = "the HEIF file uses a feature that cannot be read";
inline constexpr const char* kHeifTooLarge = "the picture is larger than 250 megapixels";
inline constexpr const char* kHeifOverLimit = "the HEIF file declares a picture beyond the reader's limits";
inline constexpr const char* kHeifNoMemory = "not enough memory to decode the HEIF picture";
inline constexpr const char* kAvifWriteFailed = "the AVIF picture could not be written";

// The largest picture the reader decodes, in pixels, from its declared size.
inline constexpr int64_t kHeifMaxPixels = 250'000'000;
// The longest side libheif is allowed to parse (its own per-side limit).
inline constexpr int kHeifMaxSide = 65536;
