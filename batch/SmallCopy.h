// The bytes of a picture file copied instead of resized: the same picture,
// less the metadata that outputs do not carry.
#pragma once

#include "batch/PictureFormats.h"

#include <cstdint>
#include <optional>
#include <vector>

// The file's bytes as a copy writes them: JPEG keeps every segment but APPn
// (a JFIF APP0 and an Adobe APP14 stay, decoding needs them) and comments;
// PNG keeps the critical chunks and gAMA, cHRM, sRGB and tRNS; BMP stays as
// it is; with keepAll everything stays. Nothing (the file takes the normal
// route) when the file does not end as it should (a JPEG's end marker, a
// PNG's IEND as its last chunk) or its structure is cut short.
std::optional<std::vector<uint8_t>> CopiedPictureBytes(TPictureFormat format, std::vector<uint8_t> bytes, bool keepAll);
