// The JPEG decoder from memory: header parse, then every decoding route the
// program uses, chosen from the input's length so that a file stays a valid
// seed as it is (full and reduced scales, 24- and 8-bit output, grey output,
// fast and best quality, smoothing, progressive display, and the raster's
// opaque drawing shortcut).
#include "FuzzSupport.h"

#include "codecs/jpeg/JPEGImage.h"
#include "platform/Bitmap.h"
#include "raster/Bitmap32.h"

#include <vector>

using namespace velmora::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return Outcome([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        TJPEGImage jpeg;
        jpeg.LoadFromStream(stream);
        if (!FuzzPixelsOk(jpeg.Width(), jpeg.Height())) return;

        const unsigned choice = unsigned(size);
        jpeg.SetScale(static_cast<TJPEGScale>(choice & 3));
        jpeg.SetPixelFormat((choice & 4) ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit);
        jpeg.SetGrayscale(choice & 8);
        jpeg.SetPerformance((choice & 16) ? TJPEGPerformance::jpBestSpeed : TJPEGPerformance::jpBestQuality);
        jpeg.SetSmoothing(choice & 32);
        jpeg.SetProgressiveDisplay(choice & 64);
        // A watcher that gives up after a while, as a user pressing Cancel.
        int reports = 0;
        if (choice & 128)
            jpeg.OnProgress = [&reports](TJPEGImage&, TProgressStage, uint8_t, bool, const TRect&,
                                         const std::string&) {
                if (++reports > 64) throw EAbort();
            };
        const int32_t width = jpeg.Width();
        const int32_t height = jpeg.Height();

        // The batch's route: the raster draws the picture (the opaque
        // shortcut where it applies).
        TBitmap32 raster;
        raster.Assign(static_cast<TGraphic&>(jpeg));
        if (raster.Width() != width || raster.Height() != height) Finding("raster size differs from the header's");

        // The decoded bitmap, as a viewer would take it.
        TBitmap bitmap;
        jpeg.AssignTo(bitmap);
        if (bitmap.Width() != width || bitmap.Height() != height) Finding("bitmap size differs from the header's");
    });
}
