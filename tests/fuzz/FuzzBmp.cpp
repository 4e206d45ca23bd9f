// The BMP reader from memory: core and info headers, every bit depth, bit
// fields, RLE8 and RLE4, both row orders, through both routes the program
// has (the raster's direct 32-bit copy and the platform bitmap), and the row
// reader, which must give the raster's rows or its error. Small
// pictures are also written back and read again: the copy must hold the same
// colours.
#include "FuzzSupport.h"

#include "codecs/bmp/BmpFile.h"
#include "codecs/bmp/BmpRows.h"
#include "platform/Bitmap.h"
#include "raster/Bitmap32.h"

#include <cstring>
#include <string>
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

// Checks each row sent against the raster's row.
class TRowCompare : public TRowTarget {
public:
    explicit TRowCompare(const TBitmap32& raster) : raster_(raster), row_(size_t(raster.Width())) {}
    uint32_t* NextRow() override { return row_.data(); }
    void Push() override {
        if (y_ >= raster_.Height() ||
            std::memcmp(row_.data(), raster_.ScanLine(y_), row_.size() * sizeof(uint32_t)) != 0)
            Finding("the row reader sends other pixels");
        ++y_;
    }
    int32_t Next() const { return y_; }

private:
    const TBitmap32& raster_;
    std::vector<uint32_t> row_;
    int32_t y_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!BmpSizeOk(data, size)) return 0;
    RegisterBmpFormat();  // installs the raster's BMP reader
    const std::vector<uint8_t> bytes(data, data + size);

    // The batch's route: straight into the raster, whole or row by row. Both
    // must refuse the same files with the same text, and give the same rows.
    std::string wholeError = "none";
    TBitmap32 whole;
    try {
        TMemoryStream stream(bytes);
        whole.LoadFromStream(stream);
    } catch (const Exception& e) {
        wholeError = e.what();
    }
    std::string rowsError = "none";
    try {
        TMemoryStream stream(bytes);
        TBmpRowReader reader(stream);
        // Run-length pictures are read whole only.
        if (!reader.CanSendRows()) {
            rowsError = wholeError;
        } else {
            if (wholeError != "none") Finding("the row reader takes a file the whole reader refuses");
            if (reader.Width() != whole.Width() || reader.Height() != whole.Height() ||
                reader.ShortData() != whole.ShortData)
                Finding("the row reader sees another picture");
            TRowCompare rows(whole);
            reader.SendRows(rows);
            if (rows.Next() != whole.Height()) Finding("the row reader sends another number of rows");
        }
    } catch (const Exception& e) {
        rowsError = e.what();
    }
    if (rowsError != wholeError) Finding("the row reader refuses the file otherwise");

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
