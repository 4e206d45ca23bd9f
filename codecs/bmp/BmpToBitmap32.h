// Reading a BMP file straight into a 32-bit raster: the raster's file
// reader, installed by RegisterBmpFormat.
#pragma once

#include "platform/Stream.h"

#include <string>

class TBitmap32;

// Reads a whole BMP file from the stream's position. A 32-bit uncompressed
// file with an info header (40 bytes or longer) takes the fast route: its
// rows are copied into the pixel block and the fourth byte becomes alpha;
// the whole pixel array must be present (EReadError otherwise). Every other
// file is decoded by LoadBmp into a platform bitmap and assigned. Fewer than
// 54 bytes: EReadError.
void LoadBmpToBitmap32(TBitmap32& raster, TStream& stream);

// The same from a file read whole. A file that does not begin with "BM" goes
// to the picture holder, which picks the reader by the file's extension (a
// ".bmp" file without the signature fails there as not valid).
void LoadBmpFileToBitmap32(TBitmap32& raster, const std::string& fileName);
