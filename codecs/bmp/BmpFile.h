// Reading and writing Windows bitmap files.
#pragma once

#include "platform/Bitmap.h"
#include "platform/Stream.h"

// Reads a whole BMP file from the stream's position into the bitmap.
void LoadBmp(TBitmap& bitmap, TStream& stream);
// Writes the bitmap as a BMP file.
void SaveBmp(const TBitmap& bitmap, TStream& stream);
