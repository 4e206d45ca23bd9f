// Loading and decoding: header values before decoding, decoded pixels against
// a straight libjpeg decode, grey, CMYK/YCCK, scaling, drawing.
#include "codecs/jpeg/JPEGImage.h"
#include "tests/support/JpegTestKit.h"
#include "tests/support/PixelDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include <jerror.h>

using jpegkit::Bytes;
using jpegkit::Picture;
using jpegkit::Recipe;

namespace {

void Load(TJPEGImage& jpg, const Bytes& bytes) {
    TMemoryStream stream(bytes);
    jpg.LoadFromStream(stream);
}

// A bitmap's pixels as 0xAARRGGBB values, top row first.
std::vector<uint32_t> PixelsOf(const TBitmap& b) {
    std::vector<uint32_t> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) out.push_back(b.Pixel(x, y));
    return out;
}

std::string JpegErrorText(int code) { return "JPEG error #" + std::to_string(code); }

struct FileCase {
    const char* name;
    Recipe recipe;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

Recipe Make(Recipe::Kind kind, int w, int h, bool subsample = true, bool progressive = false, int restart = 0) {
    Recipe s;
    s.kind = kind;
    s.width = w;
    s.height = h;
    s.subsample = subsample;
    s.progressive = progressive;
    s.restartRows = restart;
    return s;
}

const FileCase kColourFiles[] = {
    {"Colour420", Make(Recipe::Colour, 37, 23)},
    {"Colour444", Make(Recipe::Colour, 37, 23, false)},
    {"Progressive", Make(Recipe::Colour, 41, 30, true, true)},
    {"Restarts", Make(Recipe::Colour, 50, 40, true, false, 1)},
    {"OnePixel", Make(Recipe::Colour, 1, 1)},
    {"TallThin", Make(Recipe::Colour, 3, 70)},
};

class JpegColourDecode : public ::testing::TestWithParam<FileCase> {};

TEST_P(JpegColourDecode, HeaderSizeIsKnownBeforeDecoding) {
    const Recipe& recipe = GetParam().recipe;
    TJPEGImage jpg;
    Load(jpg, jpegkit::MakeJpeg(recipe));
    EXPECT_EQ(jpg.Width(), recipe.width);
    EXPECT_EQ(jpg.Height(), recipe.height);
    EXPECT_EQ(jpg.Bitmap(), nullptr) << "loading must not decode";
    EXPECT_EQ(jpg.ProgressiveEncoding(), recipe.progressive);
    EXPECT_FALSE(jpg.Grayscale());
    EXPECT_FALSE(jpg.Empty());
}

TEST_P(JpegColourDecode, Rgb24EqualsStraightLibjpegDecode) {
    const Bytes file = jpegkit::MakeJpeg(GetParam().recipe);
    const Picture ref = jpegkit::ReferenceDecode(file, JCS_RGB);
    TJPEGImage jpg;
    Load(jpg, file);
    jpg.DIBNeeded();
    const TBitmap* bmp = jpg.Bitmap();
    ASSERT_NE(bmp, nullptr);
    ASSERT_EQ(bmp->PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(bmp->Width(), ref.width);
    ASSERT_EQ(bmp->Height(), ref.height);
    EXPECT_EQ(testsupport::FirstDifference(PixelsOf(*bmp), jpegkit::OpaqueArgb(ref), ref.width), "");
}

TEST_P(JpegColourDecode, DrawCopiesTheDecodedPixelsOpaque) {
    const Bytes file = jpegkit::MakeJpeg(GetParam().recipe);
    const Picture ref = jpegkit::ReferenceDecode(file, JCS_RGB);
    TJPEGImage jpg;
    Load(jpg, file);
    // A canvas larger than the picture, drawn at an offset: the border stays.
    const int W = ref.width + 3, H = ref.height + 2;
    std::vector<uint32_t> pixels(size_t(W) * H, 0x12345678u);
    TCanvas canvas{pixels.data(), W, H};
    jpg.Draw(canvas, TRect(2, 1, 2 + ref.width, 1 + ref.height));
    std::vector<uint32_t> want(size_t(W) * H, 0x12345678u);
    const std::vector<uint32_t> picture = jpegkit::OpaqueArgb(ref);
    for (int y = 0; y < ref.height; ++y)
        std::copy_n(&picture[size_t(y) * ref.width], ref.width, &want[size_t(y + 1) * W + 2]);
    EXPECT_EQ(testsupport::FirstDifference(pixels, want, W), "");
}

TEST_P(JpegColourDecode, OpaqueShortcutPaintsEveryPixelLikeTheDecode) {
    const Bytes file = jpegkit::MakeJpeg(GetParam().recipe);
    const Picture ref = jpegkit::ReferenceDecode(file, JCS_RGB);
    TJPEGImage jpg;
    Load(jpg, file);
    std::vector<uint32_t> pixels(size_t(ref.width) * ref.height, 0x00ABCDEFu);
    TCanvas canvas{pixels.data(), ref.width, ref.height};
    ASSERT_TRUE(jpg.DrawOpaque(canvas));
    EXPECT_EQ(jpg.Bitmap(), nullptr) << "the shortcut builds no cached bitmap";
    EXPECT_EQ(testsupport::FirstDifference(pixels, jpegkit::OpaqueArgb(ref), ref.width), "");
    // A canvas of another size is not painted.
    std::vector<uint32_t> other(size_t(ref.width + 1) * ref.height, 7u);
    TCanvas wider{other.data(), ref.width + 1, ref.height};
    EXPECT_FALSE(jpg.DrawOpaque(wider));
    EXPECT_EQ(other[0], 7u);
}

// Grey pictures decode through the dithering palette, which the shortcut
// does not take.
TEST(JpegOpaqueShortcut, DeclinesGreyPictures) {
    for (auto kind : {Recipe::Grey}) {
        Recipe r;
        r.kind = kind;
        TJPEGImage jpg;
        Load(jpg, jpegkit::MakeJpeg(r));
        std::vector<uint32_t> pixels(size_t(r.width) * r.height, 7u);
        TCanvas canvas{pixels.data(), r.width, r.height};
        EXPECT_FALSE(jpg.DrawOpaque(canvas));
        EXPECT_EQ(pixels[0], 7u);
    }
}

TEST_P(JpegColourDecode, ProgressiveDisplayEndsWithTheSamePicture) {
    const Bytes file = jpegkit::MakeJpeg(GetParam().recipe);
    const Picture ref = jpegkit::ReferenceDecode(file, JCS_RGB);
    TJPEGImage jpg;
    jpg.SetProgressiveDisplay(true);
    Load(jpg, file);
    TBitmap out;
    jpg.AssignTo(out);
    ASSERT_EQ(out.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(out.Width(), ref.width);
    EXPECT_EQ(testsupport::FirstDifference(PixelsOf(out), jpegkit::OpaqueArgb(ref), ref.width), "");
}

INSTANTIATE_TEST_SUITE_P(JpegFiles, JpegColourDecode, ::testing::ValuesIn(kColourFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// Scale: output size 1/2, 1/4, 1/8 (rounded up), reported before decoding.
class JpegScaledDecode : public ::testing::TestWithParam<TJPEGScale> {};

TEST_P(JpegScaledDecode, SizeAndPixelsFollowTheScale) {
    const Bytes file = jpegkit::MakeJpeg(Make(Recipe::Colour, 45, 29));
    const int denom = 1 << int(GetParam());
    const Picture ref = jpegkit::ReferenceDecode(file, JCS_RGB, denom);
    TJPEGImage jpg;
    Load(jpg, file);
    jpg.SetScale(GetParam());
    EXPECT_EQ(jpg.Width(), (45 + denom - 1) / denom);
    EXPECT_EQ(jpg.Height(), (29 + denom - 1) / denom);
    EXPECT_EQ(jpg.Bitmap(), nullptr);
    jpg.DIBNeeded();
    const TBitmap* bmp = jpg.Bitmap();
    ASSERT_NE(bmp, nullptr);
    ASSERT_EQ(bmp->Width(), ref.width);
    ASSERT_EQ(bmp->Height(), ref.height);
    EXPECT_EQ(testsupport::FirstDifference(PixelsOf(*bmp), jpegkit::OpaqueArgb(ref), ref.width), "");
}

INSTANTIATE_TEST_SUITE_P(JpegScales, JpegScaledDecode,
                         ::testing::Values(TJPEGScale::jsFullSize, TJPEGScale::jsHalf, TJPEGScale::jsQuarter,
                                           TJPEGScale::jsEighth));

// Grey output: an 8-bit bitmap whose 236 palette entries are grey levels
// from black to white, its pixels a dithered version of the grey picture.
void ExpectGreyPalettedNear(const TBitmap& bmp, const Picture& grey) {
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(bmp.Palette.size(), 236u);
    std::set<int> levels;
    for (const TRGBQuad& q : bmp.Palette) {
        EXPECT_EQ(q.rgbRed, q.rgbGreen);
        EXPECT_EQ(q.rgbRed, q.rgbBlue);
        levels.insert(q.rgbRed);
    }
    EXPECT_EQ(levels.size(), 236u);
    EXPECT_EQ(*levels.begin(), 0);
    EXPECT_EQ(*levels.rbegin(), 255);
    ASSERT_EQ(bmp.Width(), grey.width);
    ASSERT_EQ(bmp.Height(), grey.height);
    // 236 levels are about 1.09 apart: every dithered pixel lies within a
    // couple of steps of the true grey value.
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) {
            const int have = int(bmp.Pixel(x, y) & 0xFF);
            ASSERT_LE(std::abs(have - int(*grey.At(x, y))), 3) << "at " << x << "," << y;
        }
}

TEST(JpegGreyDecode, SingleComponentFileGivesGreyPalettedBitmap) {
    for (const bool progressive : {false, true}) {
        Recipe recipe = Make(Recipe::Grey, 33, 21, true, progressive);
        const Bytes file = jpegkit::MakeJpeg(recipe);
        TJPEGImage jpg;
        Load(jpg, file);
        EXPECT_TRUE(jpg.Grayscale());
        EXPECT_EQ(jpg.Width(), 33);
        jpg.DIBNeeded();
        ASSERT_NE(jpg.Bitmap(), nullptr);
        ExpectGreyPalettedNear(*jpg.Bitmap(), jpegkit::ReferenceDecode(file, JCS_GRAYSCALE));
        EXPECT_TRUE(jpg.PaletteModified());
    }
}

TEST(JpegGreyDecode, GrayscalePropertyTurnsColourIntoGrey) {
    const Bytes file = jpegkit::MakeJpeg(Make(Recipe::Colour, 30, 20));
    TJPEGImage jpg;
    Load(jpg, file);
    jpg.SetGrayscale(true);
    jpg.DIBNeeded();
    ASSERT_NE(jpg.Bitmap(), nullptr);
    ExpectGreyPalettedNear(*jpg.Bitmap(), jpegkit::ReferenceDecode(file, JCS_GRAYSCALE));
}

TEST(JpegGreyDecode, DrawGoesThroughThePalette) {
    const Bytes file = jpegkit::MakeJpeg(Make(Recipe::Grey, 9, 7));
    TJPEGImage jpg;
    Load(jpg, file);
    std::vector<uint32_t> pixels(9 * 7, 0);
    TCanvas canvas{pixels.data(), 9, 7};
    jpg.Draw(canvas, TRect(0, 0, 9, 7));
    const TBitmap& bmp = *jpg.Bitmap();
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const TRGBQuad& q = bmp.Palette.at(bmp.ScanLine(y)[x]);
            EXPECT_EQ(pixels[size_t(y) * 9 + x], 0xFF000000u | uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue);
        }
}

TEST(JpegEightBitDecode, ColourFileWithEightBitFormatGetsAPalette) {
    const Bytes file = jpegkit::MakeJpeg(Make(Recipe::Colour, 40, 30));
    const Picture ref = jpegkit::ReferenceDecode(file, JCS_RGB);
    TJPEGImage jpg;
    jpg.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
    Load(jpg, file);
    jpg.DIBNeeded();
    const TBitmap& bmp = *jpg.Bitmap();
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_GE(bmp.Palette.size(), 2u);
    ASSERT_LE(bmp.Palette.size(), 236u);
    // Quantised colours stay near the true ones on average.
    double error = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            ASSERT_LT(bmp.ScanLine(y)[x], bmp.Palette.size());
            const uint32_t v = bmp.Pixel(x, y);
            const uint8_t* p = ref.At(x, y);
            error += std::abs(int((v >> 16) & 0xFF) - p[0]) + std::abs(int((v >> 8) & 0xFF) - p[1]) +
                     std::abs(int(v & 0xFF) - p[2]);
        }
    EXPECT_LT(error / (3.0 * ref.width * ref.height), 12.0);
}

// CMYK and YCCK files: libjpeg's CMYK output, then blue = Y*K/255,
// green = M*K/255, red = C*K/255 (truncating), fourth byte 255.
class JpegCmykDecode : public ::testing::TestWithParam<Recipe::Kind> {};

TEST_P(JpegCmykDecode, ConvertsStoredBytesWithTheKFormula) {
    const Bytes file = jpegkit::MakeJpeg(Make(GetParam(), 26, 19));
    const Picture cmyk = jpegkit::ReferenceDecode(file, JCS_CMYK);
    ASSERT_EQ(cmyk.components, 4);
    TJPEGImage jpg;
    Load(jpg, file);
    EXPECT_EQ(jpg.Width(), 26);
    TBitmap out;
    jpg.AssignTo(out);
    ASSERT_EQ(out.PixelFormat(), TPixelFormat::pf32bit);
    ASSERT_EQ(out.Width(), 26);
    ASSERT_EQ(out.Height(), 19);
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 26; ++x) {
            const uint8_t* p = cmyk.At(x, y);
            const unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
            const uint32_t expected = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (ye * k / 255);
            ASSERT_EQ(out.Pixel(x, y), expected) << "at " << x << "," << y;
        }
    // Drawn into a canvas, the same words arrive.
    std::vector<uint32_t> pixels(26 * 19, 0);
    TCanvas canvas{pixels.data(), 26, 19};
    jpg.Draw(canvas, TRect(0, 0, 26, 19));
    EXPECT_EQ(pixels[5 * 26 + 7], out.Pixel(7, 5));
}

// Without a decoded bitmap, the opaque shortcut and the row-by-row decode
// give the same words as the formula, every pixel.
TEST_P(JpegCmykDecode, OpaqueShortcutAndRowsConvertLikeTheBitmap) {
    const Bytes file = jpegkit::MakeJpeg(Make(GetParam(), 26, 19));
    const Picture cmyk = jpegkit::ReferenceDecode(file, JCS_CMYK);
    std::vector<uint32_t> want;
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 26; ++x) {
            const uint8_t* p = cmyk.At(x, y);
            const unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
            want.push_back(0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (ye * k / 255));
        }
    TJPEGImage jpg;
    Load(jpg, file);
    std::vector<uint32_t> pixels(26 * 19, 7u);
    TCanvas canvas{pixels.data(), 26, 19};
    ASSERT_TRUE(jpg.DrawOpaque(canvas));
    EXPECT_EQ(jpg.Bitmap(), nullptr);
    EXPECT_EQ(testsupport::FirstDifference(pixels, want, 26), "");

    struct Rows : TRowTarget {
        std::vector<uint32_t> all, row = std::vector<uint32_t>(26);
        uint32_t* NextRow() override { return row.data(); }
        void Push() override { all.insert(all.end(), row.begin(), row.end()); }
    } rows;
    ASSERT_TRUE(jpg.DrawOpaqueRows(26, 19, rows));
    EXPECT_EQ(testsupport::FirstDifference(rows.all, want, 26), "");
}

INSTANTIATE_TEST_SUITE_P(JpegKinds, JpegCmykDecode, ::testing::Values(Recipe::Cmyk, Recipe::Ycck),
                         [](const auto& info) { return info.param == Recipe::Cmyk ? "Cmyk" : "Ycck"; });

// Truncated data decodes as far as it goes: exactly what libjpeg itself gives
// for the same bytes, with no error.
TEST(JpegTruncatedDecode, MatchesLibjpegOnTheSameBytes) {
    for (const bool progressive : {false, true}) {
        const Bytes full = jpegkit::MakeJpeg(Make(Recipe::Colour, 48, 40, true, progressive));
        for (const size_t keep : {full.size() * 2 / 3, full.size() - 2, full.size() / 2}) {
            const Bytes cut(full.begin(), full.begin() + long(keep));
            const Picture ref = jpegkit::ReferenceDecode(cut, JCS_RGB);
            TJPEGImage jpg;
            Load(jpg, cut);
            EXPECT_EQ(jpg.Width(), 48);
            std::vector<uint32_t> pixels(48 * 40, 0);
            TCanvas canvas{pixels.data(), 48, 40};
            ASSERT_NO_THROW(jpg.Draw(canvas, TRect(0, 0, 48, 40)));
            EXPECT_EQ(testsupport::FirstDifference(pixels, jpegkit::OpaqueArgb(ref), 48), "") << "keep " << keep;
        }
    }
}

// Both decoding routes say when the data ran out before the picture did.
TEST(JpegTruncatedDecode, SaysTheDataEndedEarly) {
    for (const bool progressive : {false, true}) {
        const Bytes full = jpegkit::MakeJpeg(Make(Recipe::Colour, 48, 40, true, progressive));
        const Bytes cut(full.begin(), full.begin() + long(full.size() / 2));
        std::vector<uint32_t> pixels(48 * 40, 0);
        TCanvas canvas{pixels.data(), 48, 40};
        for (const bool shortcut : {false, true}) {
            for (const Bytes* file : {&cut, &full}) {
                TJPEGImage jpg;
                Load(jpg, *file);
                if (!shortcut || !jpg.DrawOpaque(canvas)) jpg.Draw(canvas, TRect(0, 0, 48, 40));
                EXPECT_EQ(jpg.ShortData, file == &cut) << progressive << shortcut;
            }
        }
    }
}

TEST(JpegEmptyInput, LoadsAsZeroSizeAndFailsWhenDrawn) {
    TJPEGImage jpg;
    Load(jpg, Bytes());
    EXPECT_EQ(jpg.Width(), 0);
    EXPECT_EQ(jpg.Height(), 0);
    std::vector<uint32_t> pixels(4, 0);
    TCanvas canvas{pixels.data(), 2, 2};
    try {
        jpg.Draw(canvas, TRect(0, 0, 2, 2));
        FAIL() << "drawing an empty file must fail";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Message(), JpegErrorText(JERR_INPUT_EMPTY));
    }
}

TEST(JpegNotAJpeg, PngSignatureNamedJpgFailsToLoad) {
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                       0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0, 0x90, 0x77, 0x53, 0xDE};
    const std::string path = jpegkit::TempPath("not_a_jpeg.jpg");
    jpegkit::WriteFile(path, png);
    TJPEGImage jpg;
    try {
        jpg.LoadFromFile(path);
        FAIL() << "a PNG file must not load as JPEG";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Message(), JpegErrorText(JERR_NO_SOI));
    }
    std::remove(path.c_str());
}

TEST(JpegHugeDeclaredSize, IsRefusedBeforeAllocating) {
    // 30000 x 30000 is beyond the pixel limit; patch the frame header of a
    // small file (SOF0: FF C0, length, precision, height, width).
    Bytes file = jpegkit::MakeJpeg(Make(Recipe::Colour, 16, 16));
    size_t sof = 0;
    for (size_t i = 2; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    ASSERT_NE(sof, 0u);
    file[sof + 5] = 30000 >> 8;
    file[sof + 6] = 30000 & 0xFF;
    file[sof + 7] = 30000 >> 8;
    file[sof + 8] = 30000 & 0xFF;
    TJPEGImage jpg;
    Load(jpg, file);
    EXPECT_EQ(jpg.Width(), 30000);
    EXPECT_EQ(jpg.Height(), 30000);
    TBitmap out;
    EXPECT_THROW(jpg.AssignTo(out), EOutOfMemory);
}

TEST(JpegManyScans, HostileScanCountIsRefused) {
    const Bytes file = jpegkit::MakeManyScanJpeg(1100);
    for (const bool progressiveDisplay : {false, true}) {
        TJPEGImage jpg;
        jpg.SetProgressiveDisplay(progressiveDisplay);
        Load(jpg, file);
        EXPECT_TRUE(jpg.ProgressiveEncoding());
        TBitmap out;
        try {
            jpg.AssignTo(out);
            FAIL() << "a file with more than a thousand scans must be refused";
        } catch (const EJPEG& e) {
            EXPECT_EQ(e.Message(), "JPEG error: too many scans");
        }
    }
}

TEST(JpegCorruptHeader, ReportsTheLibraryMessageCode) {
    Bytes file = jpegkit::MakeJpeg(Make(Recipe::Colour, 16, 16));
    file[1] = 0x00;  // no start-of-image marker
    TJPEGImage jpg;
    try {
        Load(jpg, file);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Message(), JpegErrorText(JERR_NO_SOI));
    }
    // A failed load leaves a picture of size 0 and keeps working afterwards.
    EXPECT_EQ(jpg.Width(), 0);
    Load(jpg, jpegkit::MakeJpeg(Make(Recipe::Colour, 16, 12)));
    EXPECT_EQ(jpg.Height(), 12);
}

}  // namespace

namespace {

// Progressive display without a progress handler skips the passes before the
// last (nobody can see them); the picture, palette included, must be the one
// a watched decode ends with, in every output mode.
TEST(JpegProgressiveDisplay, UnwatchedDecodeEndsWithTheWatchedPicture) {
    const Bytes file = jpegkit::MakeManyScanJpeg(40);
    struct Mode {
        const char* name;
        TJPEGPixelFormat format;
        TJPEGPerformance performance;
        bool grey;
    };
    const Mode modes[] = {
        {"24-bit", TJPEGPixelFormat::jf24Bit, TJPEGPerformance::jpBestQuality, false},
        {"8-bit two-pass", TJPEGPixelFormat::jf8Bit, TJPEGPerformance::jpBestQuality, false},
        {"8-bit fast", TJPEGPixelFormat::jf8Bit, TJPEGPerformance::jpBestSpeed, false},
        {"grey fast", TJPEGPixelFormat::jf24Bit, TJPEGPerformance::jpBestSpeed, true},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        TBitmap decoded[2];
        int redraws = 0;
        for (const bool watched : {true, false}) {
            TJPEGImage jpg;
            jpg.SetProgressiveDisplay(true);
            jpg.SetPixelFormat(m.format);
            jpg.SetPerformance(m.performance);
            jpg.SetGrayscale(m.grey);
            if (watched) {
                jpg.ProgressInterval = std::chrono::milliseconds(0);
                jpg.OnProgress = [&redraws](TJPEGImage&, TProgressStage, uint8_t, bool redraw, const TRect&,
                                            const std::string&) { redraws += redraw ? 1 : 0; };
            }
            Load(jpg, file);
            jpg.AssignTo(decoded[watched ? 0 : 1]);
        }
        EXPECT_GT(redraws, 40) << "the watched decode shows a pass per scan";
        const TBitmap& a = decoded[0];
        const TBitmap& b = decoded[1];
        ASSERT_EQ(a.PixelFormat(), b.PixelFormat());
        ASSERT_EQ(a.Width(), b.Width());
        ASSERT_EQ(a.Height(), b.Height());
        ASSERT_TRUE(a.Palette == b.Palette);
        for (int32_t y = 0; y < a.Height(); ++y)
            ASSERT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), a.Stride()), 0) << "row " << y;
    }
}

}  // namespace
