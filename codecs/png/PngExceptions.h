// Errors of the PNG image object. Every class carries its fixed message;
// EPngError is the common base, so callers may catch the whole family.
#pragma once

#include "platform/Exceptions.h"

#include <string>

class EPngError : public Exception {
public:
    using Exception::Exception;
};

#define VELMORA_PNG_ERROR(Name, Text)                      \
    class Name : public EPngError {                         \
    public:                                                 \
        Name() : EPngError(Text) {}                         \
        explicit Name(const std::string& m) : EPngError(m) {} \
    };

VELMORA_PNG_ERROR(EPNGInvalidFileHeader,
    "The file being read is not a valid \"Portable Network Graphics\" image because it contains an "
    "invalid header. This file may be corrupted, try obtaining it again")
VELMORA_PNG_ERROR(EPngUnexpectedEnd,
    "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end "
    "of the file.")
VELMORA_PNG_ERROR(EPNGIHDRNotFirst,
    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
    "(IHDR chunk is not the first)")
VELMORA_PNG_ERROR(EPngInvalidCRC,
    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of "
    "data (crc error)")
VELMORA_PNG_ERROR(EPngInvalidIHDR,
    "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of "
    "data (ihdr) might be corrupted")
VELMORA_PNG_ERROR(EPNGSizeExceeds,
    "This \"Portable Network Graphics\" image is not supported because either its width or height "
    "exceeds the maximum size of 65535 pixels.")
VELMORA_PNG_ERROR(EPNGUnknownCompression,
    "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which "
    "could not be decoded.")
VELMORA_PNG_ERROR(EPNGUnknownInterlace,
    "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be "
    "decoded.")
VELMORA_PNG_ERROR(EPNGUnknownCriticalChunk,
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not be "
    "decoded.")
VELMORA_PNG_ERROR(EPNGInvalidPalette,
    "The \"Portable Network Graphics\" image contains an invalid palette.")
VELMORA_PNG_ERROR(EPNGMissingMultipleIDAT,
    "This \"Portable Network Graphics\" image is invalid because it has missing image parts.")
// Built with the zlib result text appended (ZlibResultText).
VELMORA_PNG_ERROR(EPNGZLIBError,
    "Could not decompress the image because it contains invalid compressed data.\r\n Description: ")
VELMORA_PNG_ERROR(EPNGNoImageData,
    "This \"Portable Network Graphics\" image contains no data.")
VELMORA_PNG_ERROR(EPNGHeaderNotPresent,
    "This operation is not valid because the current image contains no valid header.")
VELMORA_PNG_ERROR(EPNGOutMemory,
    "Some operation could not be performed because the system is out of resources. Close some "
    "windows and try again.")

// Header values that cannot describe a picture, refused before any pixel
// memory is touched.
VELMORA_PNG_ERROR(EPNGInvalidSize,
    "This \"Portable Network Graphics\" image is invalid because its width or height is zero.")
VELMORA_PNG_ERROR(EPNGInvalidColorFormat,
    "This \"Portable Network Graphics\" image uses a colour type or a bit depth which is not valid "
    "for it.")
// A palette image whose image data comes without a PLTE chunk before it.
VELMORA_PNG_ERROR(EPNGMissingPalette,
    "This \"Portable Network Graphics\" image is invalid because its palette is missing.")

#undef VELMORA_PNG_ERROR

// Texts of EPngError itself.
inline constexpr const char* kPngNoSuchPaletteEntry = "There is no such palette entry.";
inline constexpr const char* kPngIncompatibleChunks = "The chunks must be compatible to be assigned.";
inline constexpr const char* kPngAddExistentChunk =
    "The program tried to add a existent critical chunk to the current image which is not allowed.";
inline constexpr const char* kPngAddToInvalidImage =
    "It's not allowed to add a new chunk because the current image is invalid.";

// "<zlib result text>" for a zlib result code, e.g. "data error (-3)".
std::string ZlibResultText(int code);
