// Compression and the object's life cycle: written markers and tables, exact
// output bytes against a plain libjpeg compression, progressive carry-over,
// empty pictures, assignment, property changes and progress reports.
#include "codecs/jpeg/JPEGImage.h"
#include "tests/support/BitmapBuilder.h"
#include "tests/support/JpegTestKit.h"
#include "tests/support/PixelDiff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using jpegkit::Bytes;
using jpegkit::Picture;
using jpegkit::Recipe;

namespace {

void Load(TJPEGImage& jpg, const Bytes& bytes) {
    TMemoryStream stream(bytes);
    jpg.LoadFromStream(stream);
}

Bytes Save(TJPEGImage& jpg) {
    TMemoryStream out;
    jpg.SaveToStream(out);
    return out.Bytes();
}

// A bitmap of the synthetic picture in the given format. 32-bit pictures get
// a varying fourth byte, which the encoder must ignore.
TBitmap MakeBitmap(TPixelFormat pf, int w, int h) {
    TBitmap b = testsupport::MakeBitmap(w, h, pf, [pf](int x, int y) {
        const uint32_t r = jpegkit::Pattern(x, y, 0), g = jpegkit::Pattern(x, y, 1), bl = jpegkit::Pattern(x, y, 2);
        if (pf == TPixelFormat::pf8bit) return r ^ g;
        return uint32_t(uint8_t(x * 31 + y)) << 24 | r << 16 | g << 8 | bl;
    });
    if (pf == TPixelFormat::pf8bit) {
        for (int i = 0; i < 256; ++i)
            b.Palette.push_back(TRGBQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0});
    }
    return b;
}

// The red-green-blue picture a bitmap shows, for the reference encoder.
Picture RgbOf(const TBitmap& b) {
    Picture p;
    p.width = b.Width();
    p.height = b.Height();
    p.components = 3;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint32_t v = b.Pixel(x, y);
            p.pixels.push_back(uint8_t(v >> 16));
            p.pixels.push_back(uint8_t(v >> 8));
            p.pixels.push_back(uint8_t(v));
        }
    return p;
}

const jpegkit::Segment* Find(const std::vector<jpegkit::Segment>& segs, uint8_t marker) {
    for (const auto& s : segs)
        if (s.marker == marker) return &s;
    return nullptr;
}

// ---------------------------------------------------------------------------

class JpegWrittenFile : public ::testing::TestWithParam<int> {};

TEST_P(JpegWrittenFile, HasJfifBaselineHeaderAndQualityTablesOnly) {
    const int quality = GetParam();
    TJPEGImage jpg;
    jpg.SetCompressionQuality(quality);
    jpg.Assign(MakeBitmap(TPixelFormat::pf32bit, 35, 22));
    const Bytes file = Save(jpg);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9);

    const auto segs = jpegkit::ReadSegments(file);
    ASSERT_GE(segs.size(), 3u);
    EXPECT_EQ(segs[0].marker, 0xD8);
    ASSERT_EQ(segs[1].marker, 0xE0) << "JFIF APP0 follows the start of image";
    const Bytes jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    EXPECT_EQ(segs[1].payload, jfif) << "version 1.01, density unit 0, density 1/1, no thumbnail";

    const auto tables = jpegkit::ReferenceQuantTables(quality);
    int dqtCount = 0;
    for (const auto& s : segs) {
        EXPECT_FALSE(s.marker > 0xE0 && s.marker <= 0xEF) << "unexpected APP" << int(s.marker - 0xE0);
        EXPECT_NE(s.marker, 0xFE) << "no comment";
        EXPECT_NE(s.marker, 0xDD) << "no restart interval";
        if (s.marker != 0xDB) continue;
        size_t pos = 0;
        while (pos < s.payload.size()) {
            ASSERT_LE(pos + 65, s.payload.size());
            const int precision = s.payload[pos] >> 4, id = s.payload[pos] & 15;
            EXPECT_EQ(precision, 0) << "8-bit tables";
            ASSERT_LT(id, 2);
            for (int i = 0; i < 64; ++i)
                EXPECT_EQ(s.payload[pos + 1 + size_t(i)], tables[size_t(id)][size_t(jpegkit::kZigzag[i])])
                    << "table " << id << " entry " << i;
            pos += 65;
            ++dqtCount;
        }
    }
    EXPECT_EQ(dqtCount, 2);

    const jpegkit::Segment* sof = Find(segs, 0xC0);
    ASSERT_NE(sof, nullptr) << "baseline frame";
    EXPECT_EQ(Find(segs, 0xC2), nullptr);
    const Bytes frame = {8, 0, 22, 0, 35, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
    EXPECT_EQ(sof->payload, frame) << "8 bits, 35 x 22, YCbCr sampled 2x2, 1x1, 1x1";
}

INSTANTIATE_TEST_SUITE_P(JpegQualities, JpegWrittenFile, ::testing::Values(90, 50, 100));

TEST(JpegDefaults, QualityNinetyBaselineSmoothing) {
    TJPEGImage jpg;
    EXPECT_EQ(jpg.CompressionQuality(), 90);
    EXPECT_FALSE(jpg.ProgressiveEncoding());
    EXPECT_TRUE(jpg.Smoothing());
    EXPECT_EQ(jpg.PixelFormat(), TJPEGPixelFormat::jf24Bit);
    EXPECT_EQ(jpg.Performance(), TJPEGPerformance::jpBestQuality);
    EXPECT_EQ(jpg.Scale(), TJPEGScale::jsFullSize);
}

// Our bytes equal libjpeg's own for the same pixels and parameters, whatever
// the bitmap's layout.
class JpegExactBytes : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(JpegExactBytes, EqualPlainLibjpegCompression) {
    for (const auto& [w, h] : {std::pair{35, 22}, std::pair{1, 1}, std::pair{17, 1}, std::pair{2, 33}}) {
        const TBitmap source = MakeBitmap(GetParam(), w, h);
        TJPEGImage jpg;
        jpg.Assign(source);
        const Bytes have = Save(jpg);
        const Bytes want = jpegkit::ReferenceCompress(RgbOf(source), 90, false);
        ASSERT_EQ(have, want) << w << "x" << h << ": " << testsupport::FirstDifference(have, want);
        EXPECT_EQ(jpg.Width(), w);
        EXPECT_EQ(jpg.Height(), h);
    }
}

INSTANTIATE_TEST_SUITE_P(JpegFormats, JpegExactBytes,
                         ::testing::Values(TPixelFormat::pf32bit, TPixelFormat::pf24bit, TPixelFormat::pf8bit),
                         [](const auto& info) {
                             return info.param == TPixelFormat::pf32bit   ? std::string("Bits32")
                                    : info.param == TPixelFormat::pf24bit ? std::string("Bits24")
                                                                          : std::string("Bits8");
                         });

// The pipeline's path at equal size: load, draw into a canvas, hand the
// canvas back as a 32-bit bitmap, save. The output is exactly libjpeg's
// compression of the pixels libjpeg decodes, progressive when the input was.
struct RoundTripCase {
    const char* name;
    Recipe recipe;
};

Recipe RecipeOf(Recipe::Kind kind, bool subsample, bool progressive) {
    Recipe s;
    s.kind = kind;
    s.width = 43;
    s.height = 27;
    s.subsample = subsample;
    s.progressive = progressive;
    return s;
}

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class JpegPipelineRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(JpegPipelineRoundTrip, OutputIsLibjpegsCompressionOfTheDecodedPixels) {
    const Recipe& recipe = GetParam().recipe;
    const Bytes input = jpegkit::MakeJpeg(recipe);
    TJPEGImage jpg;
    Load(jpg, input);
    const int w = jpg.Width(), h = jpg.Height();
    std::vector<uint32_t> pixels(size_t(w) * h, 0xFFFFFFFFu);
    TCanvas canvas{pixels.data(), w, h};
    jpg.Draw(canvas, TRect(0, 0, w, h));

    const TBitmap bmp =
        testsupport::MakeBitmap(w, h, TPixelFormat::pf32bit, [&](int x, int y) { return pixels[size_t(y) * w + x]; });
    const Picture rgb = RgbOf(bmp);
    if (recipe.kind == Recipe::Colour) {
        // For colour input the drawn pixels are libjpeg's own decode.
        const Picture ref = jpegkit::ReferenceDecode(input, JCS_RGB);
        ASSERT_EQ(rgb.pixels, ref.pixels);
    }
    jpg.Assign(bmp);
    const Bytes have = Save(jpg);
    const Bytes want = jpegkit::ReferenceCompress(rgb, 90, recipe.progressive);
    ASSERT_EQ(have, want) << testsupport::FirstDifference(have, want);

    const auto segs = jpegkit::ReadSegments(have);
    const jpegkit::Segment* sof = Find(segs, recipe.progressive ? 0xC2 : 0xC0);
    ASSERT_NE(sof, nullptr);
    EXPECT_EQ(sof->payload.at(5), 3) << "always three components";
}

const RoundTripCase kRoundTrips[] = {
    {"Colour420", RecipeOf(Recipe::Colour, true, false)},
    {"Colour444", RecipeOf(Recipe::Colour, false, false)},
    {"Progressive", RecipeOf(Recipe::Colour, true, true)},
    {"Grey", RecipeOf(Recipe::Grey, true, false)},
    {"Cmyk", RecipeOf(Recipe::Cmyk, true, false)},
};

INSTANTIATE_TEST_SUITE_P(JpegInputs, JpegPipelineRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegProgressiveCarryOver, FollowsTheLastFileLoaded) {
    TJPEGImage jpg;
    const TBitmap bmp = MakeBitmap(TPixelFormat::pf32bit, 20, 12);
    auto sofOfNextSave = [&] {
        jpg.Assign(bmp);
        const auto segs = jpegkit::ReadSegments(Save(jpg));
        if (Find(segs, 0xC2)) return 0xC2;
        if (Find(segs, 0xC0)) return 0xC0;
        return 0;
    };
    Recipe progressive = RecipeOf(Recipe::Colour, true, true);
    Recipe baseline = RecipeOf(Recipe::Colour, true, false);
    Load(jpg, jpegkit::MakeJpeg(progressive));
    EXPECT_EQ(sofOfNextSave(), 0xC2);
    EXPECT_EQ(sofOfNextSave(), 0xC2) << "still the last file loaded";
    Load(jpg, jpegkit::MakeJpeg(baseline));
    EXPECT_EQ(sofOfNextSave(), 0xC0);
}

TEST(JpegSaveLoaded, WritesTheLoadedBytesUnchanged) {
    const Bytes input = jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, true));
    TJPEGImage jpg;
    Load(jpg, input);
    jpg.DIBNeeded();
    EXPECT_EQ(Save(jpg), input);
}

TEST(JpegSaveGrayscale, WritesOneComponent) {
    TJPEGImage jpg;
    jpg.SetGrayscale(true);
    jpg.Assign(MakeBitmap(TPixelFormat::pf24bit, 16, 9));
    const auto segs = jpegkit::ReadSegments(Save(jpg));
    const jpegkit::Segment* sof = Find(segs, 0xC0);
    ASSERT_NE(sof, nullptr);
    EXPECT_EQ(sof->payload.at(5), 1);
    EXPECT_TRUE(jpg.Grayscale());
}

// Nothing to write never produces an empty output file.
TEST(JpegEmptyPicture, SaveRaisesAndLeavesNoFile) {
    const std::string path = jpegkit::TempPath("empty_save.jpg");
    std::remove(path.c_str());
    auto expectRefused = [&](TJPEGImage& jpg) {
        TMemoryStream out;
        EXPECT_THROW(jpg.SaveToStream(out), EJPEG);
        EXPECT_EQ(out.Size(), 0);
        EXPECT_THROW(jpg.SaveToFile(path), EJPEG);
        EXPECT_FALSE(velmora::FileExists(path));
    };
    TJPEGImage fresh;
    EXPECT_TRUE(fresh.Empty());
    expectRefused(fresh);

    TJPEGImage zero;
    TBitmap empty;
    empty.SetPixelFormat(TPixelFormat::pf32bit);
    empty.SetSize(0, 0);
    zero.Assign(empty);
    EXPECT_TRUE(zero.Empty());
    expectRefused(zero);

    TJPEGImage emptyFile;
    Load(emptyFile, Bytes());
    expectRefused(emptyFile);

    // An existing output survives a refused save.
    jpegkit::WriteFile(path, Bytes{1, 2, 3});
    EXPECT_THROW(zero.SaveToFile(path), EJPEG);
    EXPECT_EQ(jpegkit::ReadFile(path), (Bytes{1, 2, 3}));
    std::remove(path.c_str());
}

TEST(JpegSaveToFile, WritesTheCompressedBytes) {
    const std::string path = jpegkit::TempPath("save.jpg");
    TJPEGImage jpg;
    const TBitmap source = MakeBitmap(TPixelFormat::pf32bit, 12, 8);
    jpg.Assign(source);
    jpg.SaveToFile(path);
    EXPECT_EQ(jpegkit::ReadFile(path), jpegkit::ReferenceCompress(RgbOf(source), 90, false));
    TJPEGImage again;
    again.LoadFromFile(path);
    EXPECT_EQ(again.Width(), 12);
    EXPECT_EQ(again.Height(), 8);
    std::remove(path.c_str());
}

TEST(JpegAssignImage, SharesDataAndCopiesTheBitmap) {
    const Bytes input = jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, false));
    TJPEGImage a;
    Load(a, input);
    TJPEGImage b;
    b.Assign(a);
    EXPECT_TRUE(b.SharesDataWith(a));
    EXPECT_EQ(b.Bitmap(), nullptr) << "no bitmap to copy yet";
    EXPECT_EQ(b.Width(), 43);
    a.DIBNeeded();
    TJPEGImage c;
    c.Assign(a);
    ASSERT_NE(c.Bitmap(), nullptr);
    EXPECT_NE(c.Bitmap(), a.Bitmap());
    EXPECT_EQ(c.Bitmap()->Pixel(5, 5), a.Bitmap()->Pixel(5, 5));
    EXPECT_EQ(Save(c), input);
    // Loading another file into one object leaves the other's picture alone.
    Load(a, jpegkit::MakeJpeg(RecipeOf(Recipe::Grey, true, false)));
    EXPECT_EQ(Save(b), input);
    EXPECT_FALSE(b.SharesDataWith(a));
}

TEST(JpegAssignBitmap, DropsTheOldDataAndUsesTheBitmap) {
    TJPEGImage jpg;
    Load(jpg, jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, false)));
    const TBitmap source = MakeBitmap(TPixelFormat::pf24bit, 9, 4);
    jpg.Assign(source);
    EXPECT_EQ(jpg.Data(), nullptr);
    EXPECT_EQ(jpg.Width(), 9);
    EXPECT_EQ(jpg.Height(), 4);
    TBitmap out;
    jpg.AssignTo(out);
    EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(out.Pixel(3, 2), source.Pixel(3, 2));
}

TEST(JpegProperties, DecodePropertiesDropOnlyADecodedBitmap) {
    TJPEGImage jpg;
    Load(jpg, jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, false)));
    int changes = 0;
    jpg.OnChange = [&changes](TJPEGImage&) { ++changes; };
    auto decodedAgainAfter = [&](auto change) {
        jpg.DIBNeeded();
        change();
        return jpg.Bitmap() == nullptr;
    };
    EXPECT_TRUE(decodedAgainAfter([&] { jpg.SetSmoothing(false); }));
    EXPECT_TRUE(decodedAgainAfter([&] { jpg.SetPerformance(TJPEGPerformance::jpBestSpeed); }));
    EXPECT_TRUE(decodedAgainAfter([&] { jpg.SetScale(TJPEGScale::jsHalf); }));
    EXPECT_TRUE(decodedAgainAfter([&] { jpg.SetPixelFormat(TJPEGPixelFormat::jf8Bit); }));
    EXPECT_TRUE(decodedAgainAfter([&] { jpg.SetGrayscale(true); }));
    EXPECT_FALSE(decodedAgainAfter([&] { jpg.SetGrayscale(true); })) << "same value: no change";
    EXPECT_FALSE(decodedAgainAfter([&] { jpg.SetCompressionQuality(50); }));
    EXPECT_GE(changes, 5);
    EXPECT_EQ(jpg.Width(), 22) << "half of 43, rounded up";

    // An assigned bitmap is the picture itself: it survives property changes.
    TJPEGImage assigned;
    assigned.Assign(MakeBitmap(TPixelFormat::pf24bit, 10, 6));
    assigned.SetScale(TJPEGScale::jsQuarter);
    assigned.SetGrayscale(true);
    ASSERT_NE(assigned.Bitmap(), nullptr);
    EXPECT_EQ(assigned.Width(), 10);
    EXPECT_FALSE(Save(assigned).empty());
}

TEST(JpegProperties, SizeCannotBeSet) {
    TJPEGImage jpg;
    try {
        jpg.SetWidth(10);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), "Cannot change the size of a JPEG image");
    }
    EXPECT_THROW(jpg.SetHeight(10), EInvalidGraphicOperation);
    jpg.SetCompressionQuality(0);
    EXPECT_EQ(jpg.CompressionQuality(), 1);
    jpg.SetCompressionQuality(101);
    EXPECT_EQ(jpg.CompressionQuality(), 100);
}

// Progress: psStarting first, psEnding last (100 on success, 0 otherwise),
// psRunning in between. A handler's EAbort ends the work quietly; any other
// exception it raises reaches the caller unchanged, also from inside libjpeg.
struct Recorder {
    std::vector<std::pair<TProgressStage, int>> events;
    int throwOnRunning = 0;  // 0: never; 1: EAbort; 2: EReadError
    void Attach(TJPEGImage& jpg) {
        jpg.ProgressInterval = std::chrono::milliseconds(0);
        jpg.OnProgress = [this](TJPEGImage&, TProgressStage stage, uint8_t percent, bool, const TRect&,
                                const std::string&) {
            events.emplace_back(stage, percent);
            if (stage == TProgressStage::psRunning && throwOnRunning == 1) throw EAbort();
            if (stage == TProgressStage::psRunning && throwOnRunning == 2) throw EReadError();
        };
    }
};

TEST(JpegProgress, DecodeAndCompressReportStartRunningEnd) {
    const Bytes input = jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, false));
    TJPEGImage jpg;
    Recorder rec;
    rec.Attach(jpg);
    Load(jpg, input);
    jpg.DIBNeeded();
    ASSERT_GE(rec.events.size(), 3u);
    EXPECT_EQ(rec.events.front().first, TProgressStage::psStarting);
    EXPECT_EQ(rec.events.back(), std::make_pair(TProgressStage::psEnding, 100));
    int last = -1;
    for (size_t i = 1; i + 1 < rec.events.size(); ++i) {
        EXPECT_EQ(rec.events[i].first, TProgressStage::psRunning);
        EXPECT_GT(rec.events[i].second, last);
        last = rec.events[i].second;
    }
    rec.events.clear();
    jpg.Assign(MakeBitmap(TPixelFormat::pf32bit, 30, 40));
    jpg.Compress();
    ASSERT_GE(rec.events.size(), 3u);
    EXPECT_EQ(rec.events.front().first, TProgressStage::psStarting);
    EXPECT_EQ(rec.events[1].first, TProgressStage::psRunning);
    EXPECT_EQ(rec.events.back(), std::make_pair(TProgressStage::psEnding, 100));
}

TEST(JpegProgress, AbortEndsQuietlyAndOtherErrorsPropagate) {
    for (const bool progressive : {false, true}) {
        const Bytes input = jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, progressive));
        {
            TJPEGImage jpg;
            Recorder rec;
            rec.Attach(jpg);
            rec.throwOnRunning = 1;
            Load(jpg, input);
            std::vector<uint32_t> pixels(43 * 27, 0);
            TCanvas canvas{pixels.data(), 43, 27};
            EXPECT_NO_THROW(jpg.Draw(canvas, TRect(0, 0, 43, 27)));
            ASSERT_NE(jpg.Bitmap(), nullptr) << "the partial bitmap stays";
            EXPECT_EQ(jpg.Bitmap()->Width(), progressive ? 0 : 43);
            EXPECT_EQ(rec.events.back(), std::make_pair(TProgressStage::psEnding, 0));
        }
        {
            TJPEGImage jpg;
            Recorder rec;
            rec.Attach(jpg);
            rec.throwOnRunning = 2;
            Load(jpg, input);
            jpg.SetProgressiveDisplay(progressive);
            TBitmap out;
            EXPECT_THROW(jpg.AssignTo(out), EReadError);
            EXPECT_EQ(rec.events.back(), std::make_pair(TProgressStage::psEnding, 0));
        }
    }
    TJPEGImage jpg;
    Recorder rec;
    rec.Attach(jpg);
    jpg.Assign(MakeBitmap(TPixelFormat::pf32bit, 30, 40));
    rec.throwOnRunning = 1;
    EXPECT_NO_THROW(jpg.Compress());
    EXPECT_EQ(jpg.Data(), nullptr) << "an aborted compression keeps no partial stream";
    rec.throwOnRunning = 2;
    EXPECT_THROW(jpg.Compress(), EReadError);
    EXPECT_EQ(jpg.Data(), nullptr);
    rec.throwOnRunning = 0;
    EXPECT_FALSE(Save(jpg).empty()) << "the bitmap is still there to compress";
}

}  // namespace

// ---------------------------------------------------------------------------
// Compression of rows handed over one at a time.

namespace {

// Compresses the rows of a 32-bit bitmap one by one.
Bytes CompressRowByRow(TJPEGImage& jpg, const TBitmap& b) {
    jpg.BeginRows(b.Width(), b.Height());
    for (int y = 0; y < b.Height(); ++y) jpg.WriteRow(reinterpret_cast<const uint32_t*>(b.ScanLine(y)));
    jpg.EndRows();
    EXPECT_FALSE(jpg.WritingRows());
    return Save(jpg);
}

}  // namespace

TEST(JpegRows, EqualPlainLibjpegCompressionBaselineAndProgressive) {
    for (const bool progressive : {false, true})
        for (const auto& [w, h] : {std::pair{35, 22}, std::pair{1, 1}, std::pair{17, 1}, std::pair{2, 33}}) {
            const TBitmap source = MakeBitmap(TPixelFormat::pf32bit, w, h);
            TJPEGImage jpg;
            jpg.SetProgressiveEncoding(progressive);
            const Bytes have = CompressRowByRow(jpg, source);
            const Bytes want = jpegkit::ReferenceCompress(RgbOf(source), 90, progressive);
            ASSERT_EQ(have, want) << w << "x" << h << (progressive ? " progressive" : "") << ": "
                                  << testsupport::FirstDifference(have, want);
            EXPECT_EQ(jpg.Width(), w);
            EXPECT_EQ(jpg.Height(), h);
            EXPECT_EQ(jpg.Bitmap(), nullptr);
        }
}

// Quality, grey output and extra segments are those of a whole-bitmap save.
TEST(JpegRows, FollowTheObjectsSettingsLikeAWholeBitmap) {
    const TBitmap source = MakeBitmap(TPixelFormat::pf32bit, 29, 18);
    const std::vector<TJPEGMarker> markers = {{JPEG_APP0 + 1, {'E', 'x', 'i', 'f', 0, 0, 1, 2}},
                                              {JPEG_APP0 + 2, Bytes(300, 7)}};
    auto configure = [&](TJPEGImage& jpg) {
        jpg.SetCompressionQuality(55);
        jpg.SetGrayscale(true);
    };
    TJPEGImage whole;
    configure(whole);
    whole.Assign(source);
    whole.SetExtraMarkers(markers);
    const Bytes want = Save(whole);
    TJPEGImage rows;
    configure(rows);
    rows.SetExtraMarkers(markers);
    const Bytes have = CompressRowByRow(rows, source);
    EXPECT_EQ(have, want) << testsupport::FirstDifference(have, want);
    EXPECT_TRUE(rows.Grayscale());
}

// Until the last row is in, the object keeps its picture: a loaded file may
// be decoded while its resized rows are compressed, and an unfinished or
// abandoned compression leaves no trace.
TEST(JpegRows, UnfinishedRowsLeaveThePictureAsItWas) {
    const Bytes input = jpegkit::MakeJpeg(RecipeOf(Recipe::Colour, true, false));
    const TBitmap rows = MakeBitmap(TPixelFormat::pf32bit, 8, 4);
    auto row = [&](int y) { return reinterpret_cast<const uint32_t*>(rows.ScanLine(y)); };
    TJPEGImage jpg;
    Load(jpg, input);

    jpg.BeginRows(8, 4);
    jpg.WriteRow(row(0));
    EXPECT_EQ(Save(jpg), input);
    EXPECT_THROW(jpg.EndRows(), EJPEG) << "three rows missing";
    EXPECT_FALSE(jpg.WritingRows());
    EXPECT_EQ(Save(jpg), input);
    EXPECT_EQ(jpg.Width(), 43);

    jpg.BeginRows(8, 4);
    for (int y = 0; y < 4; ++y) jpg.WriteRow(row(y));
    EXPECT_THROW(jpg.WriteRow(row(0)), std::logic_error) << "a row past the last";
    jpg.AbandonRows();
    EXPECT_THROW(jpg.WriteRow(row(0)), std::logic_error);
    EXPECT_THROW(jpg.EndRows(), std::logic_error);
    EXPECT_EQ(Save(jpg), input);

    EXPECT_THROW(jpg.BeginRows(0, 4), EJPEG);
    EXPECT_FALSE(TJPEGImage::CanWriteRows(65501, 1));
    EXPECT_TRUE(TJPEGImage::CanWriteRows(65500, 65500));
    // A new start drops the old rows; the object stays usable.
    jpg.BeginRows(8, 4);
    jpg.WriteRow(row(0));
    EXPECT_EQ(CompressRowByRow(jpg, rows), jpegkit::ReferenceCompress(RgbOf(rows), 90, false));
}
