// The public BMP conformance files: "good" files must decode to the pixels an
// independent decoder produced (tests/data/bmpsuite/ref); "questionable" and
// "bad" files must give a picture or one of our exceptions, never a crash.
#include "codecs/bmp/BmpFile.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"
#include "tests/support/PixelDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kSuite = std::string(VELMORA_TEST_DATA) + "/bmpsuite/";

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
};

Picture Reference(const std::string& name, int width, int height) {
    Picture p{width, height, velmora::ReadWholeFile(kSuite + "ref/" + name + ".rgb")};
    EXPECT_EQ(p.rgb.size(), size_t(width) * size_t(height) * 3) << name;
    return p;
}

// Red, green and blue of every pixel against the reference: "" when equal,
// else the size or the first mismatch.
std::string ColourDifference(const TBitmap32& raster, const Picture& ref) {
    if (raster.Width() != ref.width || raster.Height() != ref.height)
        return "size " + std::to_string(raster.Width()) + "x" + std::to_string(raster.Height());
    std::vector<uint32_t> have, want;
    for (size_t i = 0; i < size_t(ref.width) * size_t(ref.height); ++i) have.push_back(raster.Bits()[i] & 0xFFFFFF);
    for (size_t i = 0; i + 2 < ref.rgb.size(); i += 3)
        want.push_back(uint32_t(ref.rgb[i]) << 16 | uint32_t(ref.rgb[i + 1]) << 8 | ref.rgb[i + 2]);
    return testsupport::FirstDifference(have, want, ref.width);
}

bool AllOpaque(const TBitmap32& raster) {
    const size_t n = size_t(raster.Width()) * size_t(raster.Height());
    return std::all_of(raster.Bits(), raster.Bits() + n, [](TColor32 c) { return (c >> 24) == 255; });
}

struct GoodCase {
    const char* file;  // relative to the suite folder, without ".bmp"
    const char* ref;
    int width, height;
    bool keepsAlpha;  // read by the 32-bit fast route
};

class BmpSuiteFile : public ::testing::TestWithParam<GoodCase> {};

TEST_P(BmpSuiteFile, DecodesToTheReferencePixels) {
    const GoodCase& c = GetParam();
    TBitmap32 raster;
    raster.LoadFromFile(kSuite + c.file + ".bmp");
    EXPECT_EQ(ColourDifference(raster, Reference(c.ref, c.width, c.height)), "");
    if (!c.keepsAlpha) {
        EXPECT_TRUE(AllOpaque(raster));
    }
}

std::string Identifier(std::string n) {
    std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return n;
}

std::string CaseName(const ::testing::TestParamInfo<GoodCase>& info) { return Identifier(info.param.file); }

INSTANTIATE_TEST_SUITE_P(
    Good, BmpSuiteFile,
    ::testing::Values(GoodCase{"g/pal1", "pal1", 127, 64, false}, GoodCase{"g/pal1wb", "pal1", 127, 64, false},
                      GoodCase{"g/pal1bg", "pal1bg", 127, 64, false}, GoodCase{"g/pal4", "pal4", 127, 64, false},
                      GoodCase{"g/pal4gs", "pal4gs", 127, 64, false}, GoodCase{"g/pal4rle", "pal4", 127, 64, false},
                      GoodCase{"g/pal8", "pal8", 127, 64, false}, GoodCase{"g/pal8-0", "pal8", 127, 64, false},
                      GoodCase{"g/pal8gs", "pal8gs", 127, 64, false},
                      GoodCase{"g/pal8nonsquare", "pal8nonsquare", 127, 32, false},
                      GoodCase{"g/pal8os2", "pal8", 127, 64, false}, GoodCase{"g/pal8rle", "pal8", 127, 64, false},
                      GoodCase{"g/pal8topdown", "pal8", 127, 64, false}, GoodCase{"g/pal8v4", "pal8", 127, 64, false},
                      GoodCase{"g/pal8v5", "pal8", 127, 64, false},
                      GoodCase{"g/pal8w124", "pal8w124", 124, 61, false},
                      GoodCase{"g/pal8w125", "pal8w125", 125, 62, false},
                      GoodCase{"g/pal8w126", "pal8w126", 126, 63, false},
                      GoodCase{"g/rgb16", "rgb16", 127, 64, false}, GoodCase{"g/rgb16bfdef", "rgb16", 127, 64, false},
                      GoodCase{"g/rgb16-565", "rgb16-565", 127, 64, false},
                      GoodCase{"g/rgb16-565pal", "rgb16-565", 127, 64, false},
                      GoodCase{"g/rgb24", "rgb24", 127, 64, false}, GoodCase{"g/rgb24pal", "rgb24", 127, 64, false},
                      GoodCase{"g/rgb32", "rgb24", 127, 64, true}, GoodCase{"g/rgb32bf", "rgb24", 127, 64, false},
                      GoodCase{"g/rgb32bfdef", "rgb24", 127, 64, false},
                      // Unusual files this reader handles fully.
                      GoodCase{"q/pal8offs", "pal8", 127, 64, false},  // gap before the pixels
                      GoodCase{"q/rgb24largepal", "rgb24", 127, 64, false},  // 300 table entries
                      GoodCase{"q/rgb24lprof", "rgb24", 127, 64, false},
                      GoodCase{"q/rgb24prof", "rgb24", 127, 64, false},  // profile between table and pixels
                      GoodCase{"q/rgb32-xbgr", "rgb24", 127, 64, false},
                      GoodCase{"q/rgb32fakealpha", "rgb24", 127, 64, true},
                      GoodCase{"q/rgba16-5551", "rgb16", 127, 64, false},
                      GoodCase{"q/rgb16faketrns", "rgb16", 127, 64, false},
                      // Broken fields that play no part in decoding.
                      GoodCase{"b/badbitssize", "pal1", 127, 64, false},
                      GoodCase{"b/baddens1", "pal1", 127, 64, false},
                      GoodCase{"b/baddens2", "pal1", 127, 64, false},
                      GoodCase{"b/badfilesize", "pal1", 127, 64, false}),
    CaseName);

TEST(BmpSuite, FastRouteKeepsTheFourthByte) {
    // rgb32fakealpha stores non-zero fourth bytes; rgb32 stores zeros.
    TBitmap32 raster;
    raster.LoadFromFile(kSuite + "g/rgb32.bmp");
    const std::vector<uint8_t> file = velmora::ReadWholeFile(kSuite + "g/rgb32.bmp");
    // Bottom-up, 127 x 64, pixels from byte 54: the first stored pixel is the
    // bottom-left one.
    for (int x : {0, 1, 126}) {
        const uint8_t* p = &file[54 + 4 * size_t(x)];
        const uint32_t want = uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        EXPECT_EQ(raster.Pixel(x, 63), want);
    }
}

TEST(BmpSuite, OversizedTableUsesTheFirst256Entries) {
    // 300 declared entries: the pixel indices use the first 256; the file
    // header points past the whole table.
    TBitmap bitmap;
    TMemoryStream stream(velmora::ReadWholeFile(kSuite + "q/pal8oversizepal.bmp"));
    LoadBmp(bitmap, stream);
    ASSERT_EQ(bitmap.Palette.size(), 256u);
    EXPECT_EQ(bitmap.Width(), 127);
    EXPECT_EQ(bitmap.Height(), 64);
    TBitmap32 raster;
    raster.Assign(bitmap);
    EXPECT_EQ(ColourDifference(raster, Reference("pal8", 127, 64)), "");
}

struct Refused {
    const char* file;
    bool readError;
};

class BmpSuiteRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(BmpSuiteRefused, RaisesItsError) {
    TBitmap32 raster;
    const std::string path = kSuite + GetParam().file + ".bmp";
    if (GetParam().readError)
        EXPECT_THROW(raster.LoadFromFile(path), EReadError);
    else
        EXPECT_THROW(raster.LoadFromFile(path), EInvalidGraphic);
}

INSTANTIATE_TEST_SUITE_P(Bad, BmpSuiteRefused,
                         ::testing::Values(Refused{"b/badbitcount", false}, Refused{"b/badheadersize", false},
                                           Refused{"b/badplanes", false}, Refused{"b/badwidth", false},
                                           Refused{"b/reallybig", false}, Refused{"b/rletopdown", false},
                                           Refused{"b/badpalettesize", true}, Refused{"q/rgb24jpeg", false},
                                           Refused{"q/rgb24png", false}, Refused{"q/rgba64", false},
                                           Refused{"x/ba-bm", false}),
                         [](const auto& info) { return Identifier(info.param.file); });

TEST(BmpSuite, ShortFileKeepsTheRowsItHas) {
    // 273 bytes of a 1-bit 127 x 64 file: 62 bytes of headers and table, then
    // 211 bytes = 13 full rows of 16 bytes and 3 bytes of the 14th row (from
    // the bottom). Everything above stays black.
    TBitmap32 raster;
    raster.LoadFromFile(kSuite + "b/shortfile.bmp");
    const Picture ref = Reference("pal1", 127, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 127; ++x) {
            const int fromBottom = 63 - y;
            const bool present = fromBottom < 13 || (fromBottom == 13 && x < 24);
            const uint8_t* e = &ref.rgb[(size_t(y) * 127 + size_t(x)) * 3];
            const uint32_t want = present ? (uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2]) : 0;
            ASSERT_EQ(raster.Pixel(x, y) & 0xFFFFFF, want) << x << "," << y;
        }
}

// Every questionable, bad and extra file: a picture or one of our
// exceptions, through both the platform reader and the raster.
class BmpSuiteSurvives : public ::testing::TestWithParam<std::string> {};

TEST_P(BmpSuiteSurvives, PictureOrException) {
    const std::vector<uint8_t> bytes = velmora::ReadWholeFile(GetParam());
    {
        TMemoryStream stream(bytes);
        TBitmap bitmap;
        try {
            LoadBmp(bitmap, stream);
            EXPECT_GT(bitmap.Width(), 0);
            EXPECT_GT(bitmap.Height(), 0);
        } catch (const Exception&) {
        }
    }
    {
        TMemoryStream stream(bytes);
        TBitmap32 raster;
        try {
            raster.LoadFromStream(stream);
            EXPECT_FALSE(raster.Empty());
        } catch (const Exception&) {
        }
    }
}

std::vector<std::string> Files(std::initializer_list<const char*> dirs) {
    std::vector<std::string> out;
    for (const char* d : dirs)
        for (const auto& e : std::filesystem::directory_iterator(kSuite + d))
            if (e.path().extension() == ".bmp") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, BmpSuiteSurvives, ::testing::ValuesIn(Files({"g", "q", "b", "x"})),
                         [](const auto& info) {
                             const std::filesystem::path p(info.param);
                             return Identifier(p.parent_path().filename().string() + "_" + p.stem().string());
                         });

}  // namespace
