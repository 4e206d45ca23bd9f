// The picture holder's format registry and the raster's use of it.
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"
#include "platform/Picture.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// A 2 x 1 picture that paints a half-transparent red and an opaque blue pixel;
// its stream content is ignored except for its length.
class TwoPixels : public TGraphic {
public:
    int32_t Width() override { return 2; }
    int32_t Height() override { return 1; }
    bool Empty() override { return false; }
    void Draw(TCanvas& canvas, const TRect& rect) override {
        canvas.Row(rect.Top)[rect.Left] = 0x80FF0000u;
        canvas.Row(rect.Top)[rect.Left + 1] = 0xFF0000FFu;
    }
    void LoadFromStream(TStream& stream) override {
        loadedBytes = stream.Remaining();
        if (loadedBytes == 0) throw EInvalidGraphic("empty");
    }
    int64_t loadedBytes = -1;
};

std::string TempFile(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return path;
}

class PictureHolder : public ::testing::Test {
protected:
    void SetUp() override {
        TPicture::RegisterFileFormat("TWO", "Two pixels", [] { return std::make_unique<TwoPixels>(); });
    }
    void TearDown() override { TPicture::UnregisterFileFormat("two"); }
};

TEST_F(PictureHolder, ChoosesTheClassByExtensionInAnyLetterCase) {
    TPicture picture;
    picture.LoadFromFile(TempFile("holder.Two", "12345"));
    auto* graphic = dynamic_cast<TwoPixels*>(picture.Graphic());
    ASSERT_NE(graphic, nullptr);
    EXPECT_EQ(graphic->loadedBytes, 5);
    ASSERT_NE(TPicture::FindFileFormat("tWo"), nullptr);
    EXPECT_EQ(TPicture::FindFileFormat("two")->Description, "Two pixels");
}

TEST_F(PictureHolder, UnknownExtensionsAndFailedLoadsKeepThePictureHeld) {
    TPicture picture;
    picture.LoadFromFile(TempFile("kept.two", "x"));
    TGraphic* held = picture.Graphic();
    try {
        picture.LoadFromFile(TempFile("photo.xyz", "x"));
        FAIL() << "an unknown extension must be refused";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
    }
    EXPECT_THROW(picture.LoadFromFile(TempFile("no_extension", "x")), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile(TempFile("empty.two", "")), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), held);
}

TEST_F(PictureHolder, RasterTakesTheHeldPictureOverOpaqueWhite) {
    TPicture picture;
    picture.LoadFromFile(TempFile("raster.two", "x"));
    TBitmap32 raster;
    raster.Assign(picture);
    ASSERT_EQ(raster.Width(), 2);
    ASSERT_EQ(raster.Height(), 1);
    // A decoded picture draws over white and every alpha becomes 255.
    EXPECT_EQ(raster.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(raster.Pixel(1, 0), 0xFF0000FFu);

    TPicture none;
    raster.Assign(none);
    EXPECT_TRUE(raster.Empty());
    EXPECT_EQ(raster.Width(), 0);
}

TEST_F(PictureHolder, RasterLoadsFilesWithoutTheBitmapSignatureThroughTheHolder) {
    RegisterBmpFormat();  // installs the raster's file reader
    TBitmap32 raster;
    raster.LoadFromFile(TempFile("through-holder.two", std::string(60, 'z')));
    EXPECT_EQ(raster.Width(), 2);
    EXPECT_EQ(raster.Pixel(1, 0), 0xFF0000FFu);
    try {
        raster.LoadFromFile(TempFile("not-a-bitmap.bmp", std::string(60, 'z')));
        FAIL() << "a .bmp file without the signature must be refused";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
}

}  // namespace
