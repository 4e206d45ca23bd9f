// Uncompressed and bit-field pictures: every header kind, bit count and row
// order, built by hand, decoded, and compared pixel by pixel with the colours
// the test put in.
#include "tests/support/BmpBuilder.h"
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace bmptest;

namespace {

TBitmap Load(const Bytes& file) {
    TMemoryStream stream(file);
    TBitmap bitmap;
    LoadBmp(bitmap, stream);
    return bitmap;
}

uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

// Distinct colours for palettes: no two entries alike, none black.
uint32_t PaletteColour(int i) {
    return uint32_t((37 * i + 11) & 0xFF) << 16 | uint32_t((91 * i + 200) & 0xFF) << 8 | uint32_t((17 * i + 5) & 0xFF);
}

// ---------------------------------------------------------------------------
// Indexed pictures: bit count x header kind x row order.

using IndexedCase = std::tuple<int /*bpp*/, uint32_t /*header*/, bool /*topDown*/>;

class BmpIndexedRead : public ::testing::TestWithParam<IndexedCase> {};

TEST_P(BmpIndexedRead, EveryPixelComesFromThePalette) {
    const auto [bpp, headerSize, topDown] = GetParam();
    const int width = 13, height = 3;  // 13 pixels: rows end mid-byte and need padding
    const int entries = 1 << bpp;
    BmpLayout s = Shape(width, topDown ? -height : height, uint16_t(bpp));
    s.headerSize = headerSize;
    for (int i = 0; i < entries; ++i) s.palette.push_back(PaletteColour(i));
    auto index = [&](int x, int y) { return uint32_t((x * 7 + y * 3) % entries); };
    s.pixels = PackRows(width, height, bpp, index, topDown);

    const TBitmap b = Load(BuildBmp(s));
    ASSERT_EQ(b.Width(), width);
    ASSERT_EQ(b.Height(), height);
    const TPixelFormat expected = bpp == 1 ? TPixelFormat::pf1bit : bpp == 4 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
    EXPECT_EQ(b.PixelFormat(), expected);
    ASSERT_EQ(b.Palette.size(), size_t(entries));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(b.Pixel(x, y), Opaque(PaletteColour(int(index(x, y))))) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Headers, BmpIndexedRead,
                         ::testing::Combine(::testing::Values(1, 4, 8), ::testing::Values(40u, 108u, 124u),
                                            ::testing::Bool()));
INSTANTIATE_TEST_SUITE_P(Core, BmpIndexedRead,
                         ::testing::Combine(::testing::Values(1, 4, 8), ::testing::Values(12u),
                                            ::testing::Values(false)));

TEST(BmpRead, ShortDeclaredTableIsFollowedDirectlyByPixels) {
    // 8 bits with 16 colours: the table holds 16 entries, then the pixels.
    BmpLayout s = Shape(4, 2, 8);
    s.clrUsed = 16;
    for (int i = 0; i < 16; ++i) s.palette.push_back(PaletteColour(i));
    s.pixels = PackRows(4, 2, 8, [](int x, int y) { return uint32_t(x + 4 * y + 3); });
    const TBitmap b = Load(BuildBmp(s));
    ASSERT_EQ(b.Palette.size(), 16u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), Opaque(PaletteColour(x + 4 * y + 3)));
}

TEST(BmpRead, CoreHeaderTableHasThreeByteEntries) {
    BmpLayout s = Shape(3, 1, 8);
    s.headerSize = 12;
    for (int i = 0; i < 256; ++i) s.palette.push_back(PaletteColour(i));
    s.pixels = {0, 1, 255, 0};
    const Bytes file = BuildBmp(s);
    ASSERT_EQ(file.size(), 14u + 12 + 768 + 4);
    const TBitmap b = Load(file);
    EXPECT_EQ(b.Pixel(0, 0), Opaque(PaletteColour(0)));
    EXPECT_EQ(b.Pixel(1, 0), Opaque(PaletteColour(1)));
    EXPECT_EQ(b.Pixel(2, 0), Opaque(PaletteColour(255)));
    EXPECT_EQ(b.Palette[255].rgbReserved, 0);
}

TEST(BmpRead, IndexPastTheTableIsBlack) {
    BmpLayout s = Shape(2, 1, 8);
    s.clrUsed = 2;
    s.palette = {0xFFFFFF, 0x123456};
    s.pixels = {1, 7, 0, 0};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFF123456u);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF000000u);
}

// ---------------------------------------------------------------------------
// 24 and 32 bits.

using TrueColourCase = std::tuple<int /*bpp*/, int /*width*/, bool /*topDown*/, uint32_t /*header*/>;

class BmpTrueColourRead : public ::testing::TestWithParam<TrueColourCase> {};

TEST_P(BmpTrueColourRead, PixelsAreBlueGreenRed) {
    const auto [bpp, width, topDown, headerSize] = GetParam();
    const int height = 3;
    auto colour = [](int x, int y) { return uint32_t(40 * x + 3) << 16 | uint32_t(80 * y + 7) << 8 | uint32_t(x * 50 + y * 9); };
    auto alpha = [](int x, int y) { return uint32_t(x * 30 + y * 70 + 1) & 0xFF; };
    BmpLayout s = Shape(width, topDown ? -height : height, uint16_t(bpp));
    s.headerSize = headerSize;
    s.pixels = PackRows(width, height, bpp,
                        [&](int x, int y) { return bpp == 32 ? alpha(x, y) << 24 | colour(x, y) : colour(x, y); },
                        topDown);
    const TBitmap b = Load(BuildBmp(s));
    ASSERT_EQ(b.Width(), width);
    ASSERT_EQ(b.Height(), height);
    EXPECT_EQ(b.PixelFormat(), bpp == 24 ? TPixelFormat::pf24bit : TPixelFormat::pf32bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t a = bpp == 32 ? alpha(x, y) : 255;
            ASSERT_EQ(b.Pixel(x, y), a << 24 | colour(x, y)) << "at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(All, BmpTrueColourRead,
                         ::testing::Combine(::testing::Values(24, 32), ::testing::Values(1, 2, 5),
                                            ::testing::Bool(), ::testing::Values(40u, 124u)));

TEST(BmpRead, OnePixelWide24BitRowsArePadded) {
    // Three rows of 3 pixel bytes + 1 padding byte each; the padding bytes
    // hold junk that must not leak into the picture.
    BmpLayout s = Shape(1, 3, 24);
    s.pixels = {0x01, 0x02, 0x03, 0xEE, 0x11, 0x12, 0x13, 0xEE, 0x21, 0x22, 0x23, 0xEE};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 2), 0xFF030201u);  // first stored row is the bottom row
    EXPECT_EQ(b.Pixel(0, 1), 0xFF131211u);
    EXPECT_EQ(b.Pixel(0, 0), 0xFF232221u);
}

// ---------------------------------------------------------------------------
// 16 bits and bit fields. Expected 8-bit values are worked out by hand from
// the widening rule: the channel's bits repeated from the top (5 bits abcde
// -> abcdeabc, 6 bits abcdef -> abcdefab), wider channels keep the top 8.

struct FieldCase {
    const char* name;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t headerSize;
    std::vector<uint32_t> masks;
    TPixelFormat format;
    std::vector<std::pair<uint32_t, uint32_t>> pixels;  // raw value -> expected 0xAARRGGBB
};

class BmpFieldRead : public ::testing::TestWithParam<FieldCase> {};

TEST_P(BmpFieldRead, ChannelsAreWidenedByBitRepetition) {
    const FieldCase& c = GetParam();
    BmpLayout s;
    s.headerSize = c.headerSize;
    s.width = int32_t(c.pixels.size());
    s.height = 2;  // the second row repeats the first reversed
    s.bitCount = c.bitCount;
    s.compression = c.compression;
    s.masks = c.masks;
    const int w = s.width;
    s.pixels = PackRows(w, 2, c.bitCount,
                        [&](int x, int y) { return c.pixels[size_t(y == 0 ? x : w - 1 - x)].first; });
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.PixelFormat(), c.format);
    for (int x = 0; x < w; ++x) {
        EXPECT_EQ(b.Pixel(x, 0), c.pixels[size_t(x)].second) << std::hex << "raw " << c.pixels[size_t(x)].first;
        EXPECT_EQ(b.Pixel(w - 1 - x, 1), c.pixels[size_t(x)].second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, BmpFieldRead,
    ::testing::Values(
        // 5-5-5, the top bit ignored. 10000 -> 10000100 = 0x84, 00001 -> 0x08, 10101 -> 0xAD.
        FieldCase{"rgb555", 16, 0, 40, {}, TPixelFormat::pf15bit,
                  {{0x7FFF, 0xFFFFFFFF}, {0x0000, 0xFF000000}, {0xFFFF, 0xFFFFFFFF}, {0x8000, 0xFF000000},
                   {0x4000 | 0x0020 | 0x0015, 0xFF8408AD}, {0x7C00, 0xFFFF0000}, {0x03E0, 0xFF00FF00}}},
        // Masks inside a 108-byte header but no bit fields: still 5-5-5.
        FieldCase{"rgb555v4", 16, 0, 108, {0xF800, 0x07E0, 0x001F}, TPixelFormat::pf15bit,
                  {{0x7C00, 0xFFFF0000}, {0x001F, 0xFF0000FF}}},
        // 5-6-5. Green 100000 -> 10000010 = 0x82, 000001 -> 0x04.
        FieldCase{"rgb565", 16, 3, 40, {0xF800, 0x07E0, 0x001F}, TPixelFormat::pf16bit,
                  {{0xFFFF, 0xFFFFFFFF}, {0xF800, 0xFFFF0000}, {0x07E0, 0xFF00FF00}, {0x001F, 0xFF0000FF},
                   {0x0400, 0xFF008200}, {0x0020, 0xFF000400}, {0x8000 | 0x0001, 0xFF840008}}},
        FieldCase{"rgb565v5", 16, 3, 124, {0xF800, 0x07E0, 0x001F, 0}, TPixelFormat::pf16bit,
                  {{0xF800, 0xFFFF0000}, {0x0020, 0xFF000400}}},
        // 5-5-5 given as bit fields: decoded, not copied.
        FieldCase{"bf555", 16, 3, 40, {0x7C00, 0x03E0, 0x001F}, TPixelFormat::pfCustom,
                  {{0x7FFF, 0xFFFFFFFF}, {0x4000 | 0x0020 | 0x0015, 0xFF8408AD}, {0x8000, 0xFF000000}}},
        // 4-4-4 (alpha nibble ignored): 0xA -> 0xAA.
        FieldCase{"bf4444", 16, 3, 124, {0x0F00, 0x00F0, 0x000F, 0xF000}, TPixelFormat::pfCustom,
                  {{0xFA5C, 0xFFAA55CC}, {0x0000, 0xFF000000}, {0xF000, 0xFF000000}}},
        // 1, 2 and 3-bit channels: 1 -> 0xFF, 10 -> 10101010, 101 -> 10110110.
        FieldCase{"bf123", 16, 3, 40, {0x0020, 0x0018, 0x0007}, TPixelFormat::pfCustom,
                  {{0x0020 | 0x0010 | 0x0005, 0xFFFFAAB6}, {0x0008 | 0x0001, 0xFF005524}}},
        // A zero mask gives a zero channel.
        FieldCase{"bfNoGreen", 16, 3, 40, {0xF800, 0x0000, 0x001F}, TPixelFormat::pfCustom,
                  {{0xFFFF, 0xFFFF00FF}}},
        // 32-bit bit fields are always decoded; the fourth byte never becomes alpha.
        FieldCase{"bf888", 32, 3, 40, {0x00FF0000, 0x0000FF00, 0x000000FF}, TPixelFormat::pfCustom,
                  {{0x12345678, 0xFF345678}, {0x00000000, 0xFF000000}}},
        FieldCase{"bfBGR", 32, 3, 124, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, TPixelFormat::pfCustom,
                  {{0x80332211, 0xFF112233}}},
        // 10-bit channels keep their top 8 bits: 0x3FF -> 0xFF, 0x200 -> 0x80, 0x0FF -> 0x3F.
        FieldCase{"bf1010102", 32, 3, 40, {0x3FF00000, 0x000FFC00, 0x000003FF}, TPixelFormat::pfCustom,
                  {{0x3FF00000 | (0x200u << 10) | 0x0FF, 0xFFFF803F}, {0xC0000000, 0xFF000000}}},
        // A full 32-bit mask: top 8 bits.
        FieldCase{"bfWide", 32, 3, 40, {0xFFFFFFFF, 0, 0}, TPixelFormat::pfCustom, {{0xAB000000, 0xFFAB0000}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpRead, BitFieldsTopDown) {
    BmpLayout s = Shape(2, -2, 16);
    s.compression = 3;
    s.masks = {0x0F00, 0x00F0, 0x000F};
    s.pixels = PackRows(2, 2, 16, [](int x, int y) { return uint32_t(0x100 * (x + 1) + 0x10 * (y + 1)); }, true);
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFF111100u);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF221100u);
    EXPECT_EQ(b.Pixel(0, 1), 0xFF112200u);
    EXPECT_EQ(b.Pixel(1, 1), 0xFF222200u);
}

// ---------------------------------------------------------------------------
// Short data and refused files.

TEST(BmpRead, ShortPixelArrayLeavesTheRestBlack) {
    // Bottom-up 24-bit 2 x 3 (rows of 8 bytes): 12 bytes present = the bottom
    // row and half of the middle row (its first pixel and one byte more).
    BmpLayout s = Shape(2, 3, 24);
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 2), 0xFF030201u);
    EXPECT_EQ(b.Pixel(1, 2), 0xFF060504u);
    EXPECT_EQ(b.Pixel(0, 1), 0xFF090807u);
    EXPECT_EQ(b.Pixel(1, 1), 0xFF00000Au);
    EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF000000u);
    EXPECT_TRUE(b.ShortData);
    s.pixels.resize(24);
    EXPECT_FALSE(Load(BuildBmp(s)).ShortData);
}

TEST(BmpRead, DataFarTooShortForTheDeclaredPictureIsRefusedUpFront) {
    // 20000 x 20000 at 24 bits declares 1.2 GB of rows; 64 bytes are there.
    BmpLayout s = Shape(20000, 20000, 24);
    s.pixels = Bytes(64, 0);
    TMemoryStream stream(BuildBmp(s));
    TBitmap b;
    EXPECT_THROW(LoadBmp(b, stream), EInvalidGraphic);
    EXPECT_TRUE(b.Empty());
    // Run-length data is bounded the same way: 4 bytes cannot hold it.
    s.bitCount = 8;
    s.compression = 1;
    s.palette = {0xFFFFFF};
    s.clrUsed = 1;
    s.pixels = {0x00, 0x00, 0x00, 0x01};
    TMemoryStream rle(BuildBmp(s));
    EXPECT_THROW(LoadBmp(b, rle), EInvalidGraphic);
    // A small picture with no data at all still reads (all black).
    s.width = 64;
    s.height = 64;
    s.pixels.clear();
    s.compression = 0;
    const TBitmap small = Load(BuildBmp(s));
    EXPECT_EQ(small.Width(), 64);
    EXPECT_TRUE(small.ShortData);
}

TEST(BmpRead, ShortTopDownPixelArrayLeavesTheBottomBlack) {
    BmpLayout s = Shape(1, -2, 8);
    s.palette = std::vector<uint32_t>(256, 0xFFFFFF);
    s.pixels = {5, 0, 0, 0};
    const TBitmap b = Load(BuildBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(b.Pixel(0, 1), 0xFFFFFFFFu);  // index 0 of an all-white table
    BmpLayout c = s;
    c.bitCount = 16;
    c.palette.clear();
    c.pixels = {0xFF, 0x7F, 0, 0};
    const TBitmap d = Load(BuildBmp(c));
    EXPECT_EQ(d.Pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(d.Pixel(0, 1), 0xFF000000u);
}

TEST(BmpRead, EmptyStreamGivesAnEmptyBitmap) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(3, 3);
    TMemoryStream empty;
    LoadBmp(b, empty);
    EXPECT_TRUE(b.Empty());
}

TEST(BmpRead, StreamPositionIsTheFileStart) {
    BmpLayout s;
    s.pixels = {9, 8, 7, 0};
    Bytes data = {0xAA, 0xBB, 0xCC};
    const Bytes file = BuildBmp(s);
    data.insert(data.end(), file.begin(), file.end());
    TMemoryStream stream(data);
    stream.SetPosition(3);
    TBitmap b;
    LoadBmp(b, stream);
    EXPECT_EQ(b.Pixel(0, 0), 0xFF070809u);
}

struct BadCase {
    const char* name;
    std::function<void(BmpLayout&)> change;
    std::function<void(Bytes&)> patch;
    bool readError;  // EReadError, else EInvalidGraphic
};

class BmpBadFile : public ::testing::TestWithParam<BadCase> {};

TEST_P(BmpBadFile, IsRefusedWithItsMessage) {
    BmpLayout s = Shape(4, 4, 8);
    s.palette = std::vector<uint32_t>(256, 0x808080);
    s.pixels = Bytes(16, 1);
    if (GetParam().change) GetParam().change(s);
    Bytes file = BuildBmp(s);
    if (GetParam().patch) GetParam().patch(file);
    TMemoryStream stream(file);
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(2, 2);
    try {
        LoadBmp(b, stream);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_TRUE(GetParam().readError);
        EXPECT_STREQ(e.what(), "Stream read error");
    } catch (const EInvalidGraphic& e) {
        EXPECT_FALSE(GetParam().readError);
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    // A failed read leaves the bitmap as it was.
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
}

INSTANTIATE_TEST_SUITE_P(
    All, BmpBadFile,
    ::testing::Values(
        BadCase{"NotBM", nullptr, [](Bytes& f) { f[0] = 'P'; }, false},
        BadCase{"Planes2", [](BmpLayout& s) { s.planes = 2; }, nullptr, false},
        BadCase{"Planes0", [](BmpLayout& s) { s.planes = 0; }, nullptr, false},
        BadCase{"Header64", [](BmpLayout& s) { s.headerSize = 64; }, nullptr, false},
        BadCase{"Header16", [](BmpLayout& s) { s.headerSize = 16; }, nullptr, false},
        BadCase{"Header0", [](BmpLayout& s) { s.headerSize = 0; }, nullptr, false},
        BadCase{"BitCount2", [](BmpLayout& s) { s.bitCount = 2; }, nullptr, false},
        BadCase{"BitCount0", [](BmpLayout& s) { s.bitCount = 0; }, nullptr, false},
        BadCase{"BitCount64", [](BmpLayout& s) { s.bitCount = 64; }, nullptr, false},
        BadCase{"CompressionJpeg", [](BmpLayout& s) { s.compression = 4; }, nullptr, false},
        BadCase{"CompressionAlphaFields", [](BmpLayout& s) { s.bitCount = 32; s.compression = 6; }, nullptr, false},
        BadCase{"Rle8On4Bits", [](BmpLayout& s) { s.bitCount = 4; s.compression = 1; }, nullptr, false},
        BadCase{"Rle4On8Bits", [](BmpLayout& s) { s.compression = 2; }, nullptr, false},
        BadCase{"FieldsOn8Bits", [](BmpLayout& s) { s.compression = 3; }, nullptr, false},
        BadCase{"FieldsOn24Bits", [](BmpLayout& s) { s.bitCount = 24; s.compression = 3; s.masks = {1, 2, 4}; }, nullptr, false},
        BadCase{"RleTopDown", [](BmpLayout& s) { s.compression = 1; s.height = -4; }, nullptr, false},
        BadCase{"ZeroWidth", [](BmpLayout& s) { s.width = 0; }, nullptr, false},
        BadCase{"NegativeWidth", [](BmpLayout& s) { s.width = -4; }, nullptr, false},
        BadCase{"ZeroHeight", [](BmpLayout& s) { s.height = 0; }, nullptr, false},
        BadCase{"CoreZeroWidth", [](BmpLayout& s) { s.headerSize = 12; s.width = 0; }, nullptr, false},
        BadCase{"MinimumHeight", [](BmpLayout& s) { s.height = INT32_MIN; }, nullptr, false},
        BadCase{"HugeWidth", [](BmpLayout& s) { s.width = INT32_MAX; }, nullptr, false},
        BadCase{"PixelCountOverflow", [](BmpLayout& s) { s.width = 65536; s.height = 65536; }, nullptr, false},
        BadCase{"PixelCountJustOver", [](BmpLayout& s) { s.width = 1 << 15; s.height = (1 << 14) + 1; }, nullptr, false},
        BadCase{"FileHeaderCut", nullptr, [](Bytes& f) { f.resize(10); }, true},
        BadCase{"InfoHeaderCut", nullptr, [](Bytes& f) { f.resize(40); }, true},
        BadCase{"V5HeaderCut", [](BmpLayout& s) { s.headerSize = 124; }, [](Bytes& f) { f.resize(100); }, true},
        BadCase{"TableCut", nullptr, [](Bytes& f) { f.resize(54 + 1000); }, true},
        BadCase{"CoreTableCut", [](BmpLayout& s) { s.headerSize = 12; }, [](Bytes& f) { f.resize(26 + 700); }, true},
        BadCase{"MasksCut",
                [](BmpLayout& s) { s.bitCount = 16; s.compression = 3; s.masks = {0xF800, 0x07E0, 0x001F}; s.palette.clear(); },
                [](Bytes& f) { f.resize(54 + 8); }, true},
        BadCase{"TableLongerThanFile", [](BmpLayout& s) { s.clrUsed = 0xFFFFFFFF; }, nullptr, true},
        BadCase{"TableOfTrueColourLongerThanFile",
                [](BmpLayout& s) { s.bitCount = 24; s.clrUsed = 0x40000000; s.palette.clear(); }, nullptr, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
