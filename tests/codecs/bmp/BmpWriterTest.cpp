// The writer's exact bytes, and the empty-bitmap refusal.
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Save(const TBitmap& b) {
    TMemoryStream out;
    SaveBmp(b, out);
    return out.Bytes();
}

uint32_t Le32(const std::vector<uint8_t>& f, size_t at) {
    return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24;
}

TEST(BmpWriter, TwoByTwoIsSeventyBytesExactly) {
    // The pipeline hands over a raster converted into a pf32bit bitmap.
    TBitmap32 raster;
    raster.SetSize(2, 2);
    raster.Pixel(0, 0) = 0x11223344;  // top left: bytes 44 33 22 11
    raster.Pixel(1, 0) = 0x55667788;
    raster.Pixel(0, 1) = 0x99AABBCC;  // bottom left
    raster.Pixel(1, 1) = 0xDDEEFF00;
    TBitmap bitmap;
    raster.AssignTo(bitmap);

    const std::vector<uint8_t> expected = {
        'B', 'M', 70, 0, 0, 0,  // bfSize
        0, 0, 0, 0,             // reserved
        54, 0, 0, 0,            // bfOffBits
        40, 0, 0, 0,            // biSize
        2, 0, 0, 0,             // biWidth
        2, 0, 0, 0,             // biHeight, positive: bottom-up
        1, 0,                   // planes
        32, 0,                  // bit count
        0, 0, 0, 0,             // compression
        16, 0, 0, 0,            // biSizeImage
        0, 0, 0, 0, 0, 0, 0, 0,  // resolution
        0, 0, 0, 0, 0, 0, 0, 0,  // colours used, important
        0xCC, 0xBB, 0xAA, 0x99, 0x00, 0xFF, 0xEE, 0xDD,  // bottom row
        0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55,  // top row
    };
    const std::vector<uint8_t> file = Save(bitmap);
    ASSERT_EQ(file.size(), 70u);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(file[i], expected[i]) << "byte " << i;
}

TEST(BmpWriter, SizesFollowTheBitmap) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 5}, std::pair{7, 2}, std::pair{300, 1}}) {
        TBitmap b;
        b.SetPixelFormat(TPixelFormat::pf32bit);
        b.SetSize(w, h);
        const std::vector<uint8_t> f = Save(b);
        const uint32_t image = uint32_t(w * h * 4);
        ASSERT_EQ(f.size(), 54 + image);
        EXPECT_EQ(Le32(f, 2), 54 + image);
        EXPECT_EQ(Le32(f, 10), 54u);
        EXPECT_EQ(Le32(f, 18), uint32_t(w));
        EXPECT_EQ(Le32(f, 22), uint32_t(h));
        EXPECT_EQ(Le32(f, 34), image);
        EXPECT_EQ(Le32(f, 38), 0u);
        EXPECT_EQ(Le32(f, 42), 0u);
    }
}

TEST(BmpWriter, OtherPixelFormatsAreWrittenAsOpaque32Bit) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(2, 2);
    uint8_t* top = b.ScanLine(0);
    top[0] = 1; top[1] = 2; top[2] = 3; top[3] = 4; top[4] = 5; top[5] = 6;
    uint8_t* bottom = b.ScanLine(1);
    bottom[0] = 7; bottom[1] = 8; bottom[2] = 9;
    const std::vector<uint8_t> f = Save(b);
    ASSERT_EQ(f.size(), 70u);
    EXPECT_EQ(f[28], 32);
    const std::vector<uint8_t> pixels(f.begin() + 54, f.end());
    EXPECT_EQ(pixels, (std::vector<uint8_t>{7, 8, 9, 255, 0, 0, 0, 255, 1, 2, 3, 255, 4, 5, 6, 255}));
}

TEST(BmpWriter, EmptyBitmapIsRefusedAndWritesNothing) {
    for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
        TBitmap b;
        b.SetPixelFormat(TPixelFormat::pf32bit);
        b.SetSize(w, h);
        TMemoryStream out;
        EXPECT_THROW(SaveBmp(b, out), EInvalidGraphicOperation);
        EXPECT_EQ(out.Size(), 0);
    }
}

TEST(BmpWriter, FileIsNeverLeftEmpty) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("velmora_bmp_writer_" + std::to_string(::getpid()) + ".bmp")).string();
    std::filesystem::remove(path);
    TBitmap empty;
    EXPECT_THROW(SaveBmpToFile(empty, path), Exception);
    EXPECT_FALSE(std::filesystem::exists(path));

    TBitmap one;
    one.SetPixelFormat(TPixelFormat::pf32bit);
    one.SetSize(1, 1);
    SaveBmpToFile(one, path);
    EXPECT_EQ(std::filesystem::file_size(path), 58u);
    // A later failure leaves the earlier file as it was.
    EXPECT_THROW(SaveBmpToFile(empty, path), Exception);
    EXPECT_EQ(std::filesystem::file_size(path), 58u);
    std::filesystem::remove(path);
}

TEST(BmpWriter, RoundTripThroughTheFastRouteKeepsEveryByte) {
    TBitmap32 raster;
    raster.SetSize(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) raster.Pixel(x, y) = 0x01000000u * uint32_t(x * 40 + y) + uint32_t(x * 0x10203 + y * 0x30201);
    TBitmap bitmap;
    raster.AssignTo(bitmap);
    TMemoryStream file;
    SaveBmp(bitmap, file);
    file.SetPosition(0);
    TBitmap32 back;
    back.LoadFromStream(file);
    ASSERT_EQ(back.Width(), 5);
    ASSERT_EQ(back.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(back.Pixel(x, y), raster.Pixel(x, y));
}

}  // namespace
