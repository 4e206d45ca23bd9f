// The PNG object as the batch uses it: drawn into the raster through its
// picture rule (white fill, alpha reset), written back from a platform bitmap.
#include "PngTestSupport.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint32_t> Pixels(const TBitmap32& b) {
    return std::vector<uint32_t>(b.Bits(), b.Bits() + size_t(b.Width()) * size_t(b.Height()));
}

}  // namespace

TEST(PngPipeline, RasterAssignCompositesOverWhiteWithOpaqueAlpha) {
    for (const char* name : {"basn6a08.png", "basi4a16.png", "tbrn2c08.png", "tp1n3p08.png", "basn3p04.png"}) {
        SCOPED_TRACE(name);
        TPngImage png;
        png.LoadFromFile(SuitePath(name));
        TBitmap32 img;
        img.Assign(static_cast<TGraphic&>(png));
        ASSERT_EQ(img.Width(), png.Width());
        ASSERT_EQ(img.Height(), png.Height());
        std::vector<uint32_t> want = pngref::OverWhite(pngref::Decode(pngref::ReadFile(SuitePath(name))));
        for (uint32_t& p : want) p |= 0xFF000000u;
        EXPECT_EQ(testsupport::FirstDifference(Pixels(img), want, img.Width()), "");
    }
}

TEST(PngPipeline, RasterToBitmapToFile) {
    TPngImage png;
    png.LoadFromFile(SuitePath("basi2c08.png"));
    TBitmap32 img;
    img.Assign(static_cast<TGraphic&>(png));
    TBitmap bmp;
    img.AssignTo(bmp);
    png.Assign(bmp);
    TMemoryStream out;
    png.SaveToStream(out);
    const pngref::Image ref = pngref::Decode(out.Bytes());
    EXPECT_EQ(ref.interlace, 1);  // the interlace method of the file read last
    EXPECT_EQ(ref.colorType, 2);
    EXPECT_EQ(ref.depth, 8);
    std::vector<uint32_t> want = pngref::OverWhite(ref);
    for (uint32_t& p : want) p |= 0xFF000000u;
    EXPECT_EQ(testsupport::FirstDifference(Pixels(img), want, img.Width()), "");
}
