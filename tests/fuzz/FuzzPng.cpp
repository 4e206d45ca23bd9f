// The PNG decoder from memory: chunk list, header, palette, transparency,
// gamma, text chunks, every colour type and bit depth, interlaced or not,
// drawn through the raster as the batch does. Small pictures are also written
// back and read again: the copy must draw exactly the same pixels, and read
// row by row from deferred image data they must draw as the whole picture
// does, or fail with the same message.
#include "FuzzSupport.h"

#include "codecs/png/PngImage.h"
#include "raster/Bitmap32.h"

#include <cstring>
#include <string>
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

struct RowCollector : TRowTarget {
    std::vector<uint32_t> row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pixels.insert(pixels.end(), row.begin(), row.end()); }
};

// Where the deferred load succeeds, the rows sent one at a time are the
// whole picture drawn over white, with the same short data, or both routes
// fail with the same message.
void CompareRoutes(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    TMemoryStream rowStream(bytes);
    TPngImage byRows;
    byRows.DeferImageData = true;
    try {
        byRows.LoadFromStream(rowStream);
    } catch (const Exception&) {
        return;  // the caller reads such a file whole
    }
    const int32_t w = byRows.Width(), h = byRows.Height();
    if (w <= 0 || h <= 0 || int64_t(w) * h > kRoundTripPixels) return;
    RowCollector rows;
    rows.row.resize(size_t(w));
    std::string rowMessage;
    try {
        if (!byRows.DrawOpaqueRows(w, h, rows)) return;
    } catch (const Exception& e) {
        rowMessage = e.Message();
    }
    TMemoryStream wholeStream(bytes);
    TPngImage whole;
    std::vector<uint32_t> pixels(size_t(w) * size_t(h), 0xFFFFFFFFu);
    std::string wholeMessage;
    try {
        whole.LoadFromStream(wholeStream);
        TCanvas canvas{pixels.data(), w, h};
        whole.Draw(canvas, TRect(0, 0, w, h));
    } catch (const Exception& e) {
        wholeMessage = e.Message();
    }
    if (rowMessage != wholeMessage) Finding("row by row and whole, the picture fails differently");
    if (!rowMessage.empty()) return;
    if (byRows.ShortData != whole.ShortData) Finding("row by row and whole, the short data differs");
    if (rows.pixels.size() != pixels.size()) Finding("row by row, not every row was sent");
    for (size_t i = 0; i < pixels.size(); ++i)
        if ((pixels[i] ^ rows.pixels[i]) & 0xFFFFFFu) Finding("row by row and whole, the pixels differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!PngSizeOk(data, size)) return 0;
    CompareRoutes(data, size);
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
