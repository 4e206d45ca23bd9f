// The PNG decoder from memory: chunk list, header, palette, transparency,
// gamma, text chunks, every colour type and bit depth, interlaced or not,
// drawn through the raster as the batch does. Small pictures are also written
// back and read again: the copy must draw exactly the same pixels.
#include "FuzzSupport.h"

#include "codecs/png/PngImage.h"
#include "raster/Bitmap32.h"

#include <cstring>
#include <vector>

using namespace velmora::fuzz;

namespace {

// Pictures up to this size are also written back and compared.
constexpr int64_t kRoundTripPixels = 1 << 16;

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    if (a.Empty()) return b.Empty();
    return std::memcmp(a.Bits(), b.Bits(), size_t(a.Width()) * size_t(a.Height()) * 4) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!PngSizeOk(data, size)) return 0;
    return Outcome([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        TPngImage png;
        png.LoadFromStream(stream);
        (void)png.TransparencyMode();
        (void)png.TransparentColor();

        TBitmap32 raster;
        raster.Assign(static_cast<TGraphic&>(png));
        if (raster.Width() != png.Width() || raster.Height() != png.Height()) Finding("raster size differs");
        if (int64_t(png.Width()) * png.Height() > kRoundTripPixels || raster.Empty()) return;

        TMemoryStream copy;
        png.SaveToStream(copy);
        copy.SetPosition(0);
        TPngImage again;
        again.LoadFromStream(copy);
        TBitmap32 rasterAgain;
        rasterAgain.Assign(static_cast<TGraphic&>(again));
        if (!SamePixels(raster, rasterAgain)) Finding("a written copy draws other pixels");
    });
}
