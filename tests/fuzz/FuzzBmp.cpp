// The BMP reader from memory: core and info headers, every bit depth, bit
// fields, RLE8 and RLE4, both row orders, through both routes the program
// has (the raster's direct 32-bit copy and the platform bitmap). Small
// pictures are also written back and read again: the copy must hold the same
// colours.
#include "FuzzSupport.h"

#include "codecs/bmp/BmpFile.h"
#include "platform/Bitmap.h"
#include "raster/Bitmap32.h"

#include <vector>

using namespace velmora::fuzz;

namespace {

constexpr int64_t kRoundTripPixels = 1 << 16;

bool SameColours(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (((a.Pixel(x, y) ^ b.Pixel(x, y)) & 0x00FFFFFFu) != 0) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!BmpSizeOk(data, size)) return 0;
    RegisterBmpFormat();  // installs the raster's BMP reader
    const std::vector<uint8_t> bytes(data, data + size);

    // The batch's route: straight into the raster.
    Outcome([&] {
        TMemoryStream stream(bytes);
        TBitmap32 raster;
        raster.LoadFromStream(stream);
    });

    // The platform bitmap, then drawn into a raster and written back.
    return Outcome([&] {
        TMemoryStream stream(bytes);
        TBitmap bitmap;
        LoadBmp(bitmap, stream);
        if (bitmap.Empty()) return;
        TBitmap32 raster;
        raster.Assign(bitmap);
        if (raster.Width() != bitmap.Width() || raster.Height() != bitmap.Height()) Finding("raster size differs");
        if (int64_t(bitmap.Width()) * bitmap.Height() > kRoundTripPixels) return;

        TMemoryStream copy;
        SaveBmp(bitmap, copy);
        copy.SetPosition(0);
        TBitmap32 again;
        again.LoadFromStream(copy);
        if (!SameColours(raster, again)) Finding("a written copy holds other colours");
    });
}
