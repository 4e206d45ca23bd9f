// The WebP writer, read back by dwebp and webpmux: lossless is exact, lossy
// close, the alpha kept only when asked, the metadata carried as chunks, and
// the output the same bytes every time.
#include "WebpTestSupport.h"
#include "tests/support/PixelDiff.h"

using namespace webptest;

namespace {

constexpr int32_t kW = 48, kH = 36;

Bytes Write(const std::vector<uint32_t>& pixels, const TWriteSettings& settings,
            const TPictureMetadata& metadata = {}) {
    TMemoryStream out;
    auto writer = NewWebpWriter();
    writer->Begin(kW, kH, metadata, settings, out);
    for (int32_t y = 0; y < kH; ++y) writer->WriteRow(pixels.data() + size_t(y) * kW);
    writer->End();
    return out.TakeBytes();
}

struct WriterCase {
    const char* name;
    bool sourceAlpha;
    TWriteSettings settings;
    int tolerance;  // largest mean difference of a colour channel over opaque pixels
};

const WriterCase kWriterCases[] = {
    {"lossy_default_quality", false, {}, 4},
    {"lossy_alpha", true, {.quality = 90, .alpha = true}, 4},
    {"lossless", false, {.lossless = true}, 0},
    {"lossless_alpha", true, {.lossless = true, .alpha = true}, 0},
    {"lossless_alpha_dropped", true, {.lossless = true, .alpha = false}, 0},
};

class WebpWriter : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WebpWriter, DwebpReadsBackThePixels) {
    WEBP_NEED_TOOLS();
    const WriterCase& c = GetParam();
    Folder dir;
    const std::vector<uint32_t> source = Pattern(kW, kH, c.sourceAlpha);
    Save(dir / "out.webp", Write(source, c.settings));
    dir.Run("dwebp -pam out.webp -o out.pam");
    const Picture back = LoadPam(dir / "out.pam");
    ASSERT_EQ(back.pixels.size(), source.size());
    std::vector<uint32_t> want = source;
    if (!c.settings.alpha)
        for (uint32_t& p : want) p |= 0xFF000000u;
    if (c.tolerance == 0) {
        EXPECT_EQ(testsupport::FirstDifference(back.pixels, want, kW), "");
        return;
    }
    int64_t sum[3] = {}, opaque = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(back.pixels[i] >> 24, want[i] >> 24) << "alpha of pixel " << i;
        if (want[i] >> 24 != 255) continue;
        ++opaque;
        for (int k = 0; k < 3; ++k)
            sum[k] += std::abs(int(back.pixels[i] >> (8 * k) & 255) - int(want[i] >> (8 * k) & 255));
    }
    for (int64_t s : sum) EXPECT_LE(s, c.tolerance * opaque);
}

INSTANTIATE_TEST_SUITE_P(Settings, WebpWriter, ::testing::ValuesIn(kWriterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WebpWriterOutput, IsTheSameBytesEachTimeAndQualityDecidesTheSize) {
    const std::vector<uint32_t> source = Pattern(kW, kH, false);
    const Bytes byDefault = Write(source, {});
    EXPECT_EQ(Write(source, {}), byDefault);
    EXPECT_EQ(Write(source, {.quality = 80}), byDefault);
    EXPECT_LT(Write(source, {.quality = 20}).size(), Write(source, {.quality = 95}).size());
}

TEST(WebpWriterOutput, CarriesTheMetadataChunks) {
    WEBP_NEED_TOOLS();
    Folder dir;
    TPictureMetadata m;
    m.icc = photofiles::IccProfile(333);
    m.exif = photofiles::ExifWithOrientation(1);
    m.xmp = {{'<', 'a', '/', '>'}, {'<', 'b', '/', '>'}};
    Save(dir / "out.webp", Write(Pattern(kW, kH, true), {.alpha = true}, m));
    dir.Run(
        "webpmux -get icc out.webp -o icc && webpmux -get exif out.webp -o exif && webpmux -get xmp out.webp -o xmp");
    EXPECT_EQ(Load(dir / "icc"), m.icc);
    EXPECT_EQ(Load(dir / "exif"), m.exif);
    EXPECT_EQ(Load(dir / "xmp"), m.xmp[0]);
}

TEST(WebpWriterOutput, RefusesSidesAboveTheFormatsLimit) {
    TMemoryStream out;
    auto writer = NewWebpWriter();
    try {
        writer->Begin(16384, 2, {}, {}, out);
        FAIL() << "a side of 16384 pixels was accepted";
    } catch (const EWebpError& e) {
        EXPECT_STREQ(e.what(), kWebpTooLargeToWrite);
    }
}

}  // namespace
