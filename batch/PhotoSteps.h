// The steps the JPEG and PNG pipelines take for photos as cameras and phones
// store them: turning the picture upright by its EXIF orientation, carrying
// EXIF, XMP and the ICC profile into the output on request, and keeping
// transparency on request.
#pragma once

#include <cstdint>
#include <vector>

class TBitmap32;
class TJPEGImage;
class TPngImage;

// What a file says about itself, as far as the output may keep it.
struct TPhotoMetadata {
    // EXIF orientation 1..8; 0 when the file has none or its EXIF cannot be
    // trusted (damaged, or given twice).
    int orientation = 0;
    // The TIFF block of the file's single EXIF segment or chunk; empty when
    // there is none or more than one.
    std::vector<uint8_t> exif;
    // XMP as stored: whole JPEG APP1 payloads, or PNG iTXt chunk data.
    std::vector<std::vector<uint8_t>> xmp;
    // JPEG: the assembled profile; PNG: the iCCP chunk data. Empty unless it
    // is complete, consistent and describes RGB data.
    std::vector<uint8_t> icc;
};

TPhotoMetadata ReadPhotoMetadata(const TJPEGImage& jpg);
TPhotoMetadata ReadPhotoMetadata(TPngImage& png);

// Gives the encoder, which already holds the resized picture of width x
// height, the metadata to write with it. With resetOrientation the copies of
// EXIF and XMP say orientation 1 (the pixels were turned upright); the EXIF
// copy never keeps its thumbnail.
void WritePhotoMetadata(TJPEGImage& jpg, const TPhotoMetadata& meta, bool resetOrientation, int32_t width,
                        int32_t height);
void WritePhotoMetadata(TPngImage& png, const TPhotoMetadata& meta, bool resetOrientation, int32_t width,
                        int32_t height);

// EXIF orientations 5..8 store the picture with width and height exchanged.
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns and mirrors the raster from the stored view of `orientation` into
// the upright view; 0, 1 and values out of range leave it as it is.
void OrientUpright(TBitmap32& img, int orientation);

// PNG pictures with transparency: img becomes the picture premultiplied by
// its alpha and the result is true. False when no pixel of the picture is
// transparent (and always for JPEG): img is then to be assigned as usual.
bool AssignWithAlpha(TBitmap32& img, TPngImage& png);
inline bool AssignWithAlpha(TBitmap32&, TJPEGImage&) { return false; }

// Divides colour by alpha again after resampling (fully transparent pixels
// stay 0).
void Unpremultiply(TBitmap32& img);
