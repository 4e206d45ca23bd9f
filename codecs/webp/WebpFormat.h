// WebP pictures through libwebp: lossy, lossless, with alpha, and the first
// frame of an animation; the ICC profile, EXIF and XMP chunks of the
// extended format are read and written.
#pragma once

#include "platform/Exceptions.h"
#include "platform/PictureIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Every WebP failure: a short fixed text, sometimes followed by ": " and
// libwebp's own word for what went wrong.
class EWebpError : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

inline constexpr const char* kWebpNotWebp = "not a WebP file";
inline constexpr const char* kWebpNoPicture = "the WebP file has no picture data";
inline constexpr const char* kWebpTooLarge = "the picture is larger than 250 megapixels";
inline constexpr const char* kWebpTruncated = "the WebP file is truncated";
inline constexpr const char* kWebpDamaged = "the WebP file is damaged";
inline constexpr const char* kWebpTooLargeToWrite = "the picture is too large for WebP (16383 pixels per side at most)";
inline constexpr const char* kWebpEncodeFailed = "the picture could not be encoded as WebP";

// Pictures decoded whole are refused above this many pixels, by their
// declared size.
inline constexpr uint64_t kWebpMaxPixels = 250'000'000;

// "RIFF", four bytes of size, "WEBP".
bool IsWebp(const uint8_t* head, size_t n);
std::unique_ptr<TPictureReader> NewWebpReader();
std::unique_ptr<TPictureWriter> NewWebpWriter();

// The orientation (1..8) in IFD0 of a TIFF block, 0 when the block has none
// or it is out of range.
int ExifOrientation(const std::vector<uint8_t>& tiff);
