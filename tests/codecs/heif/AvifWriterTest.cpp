// The AVIF writer, read back by Debian's decoders (heif-convert and avifdec):
// the pixels close to what was written (lossy), alpha only when asked for,
// EXIF, XMP and the ICC profile found by exiftool, the same bytes each time.
#include "HeifTestSupport.h"
#include "codecs/heif/HeifFormat.h"
#include "tests/support/PhotoFiles.h"

#include <gtest/gtest.h>

using namespace heiftest;

namespace {

struct WriterCase {
    const char* name;
    int width, height;
    bool alpha;      // the rows carry alpha and the settings keep it
    bool dropAlpha;  // the rows carry alpha the settings do not keep
    int quality;     // 0: the writer's default
    bool metadata;
    // Mean difference per colour sample allowed: lossy coding, and libheif
    // upsamples the chroma by taking the nearest sample.
    double meanLimit;
};

const WriterCase kWriterCases[] = {
    {"DefaultQuality", 64, 48, false, false, 0, false, 8.0},
    {"HighQualityOddSize", 37, 23, false, false, 95, false, 5.0},
    {"AlphaKept", 40, 30, true, false, 90, false, 5.0},
    {"AlphaDropped", 40, 30, false, true, 90, false, 5.0},
    {"Metadata", 33, 17, false, false, 80, true, 6.0},
};

std::vector<uint8_t> Encode(const WriterCase& c, const std::vector<uint32_t>& pixels, const TPictureMetadata& meta) {
    TWriteSettings settings;
    settings.quality = c.quality;
    settings.alpha = c.alpha;
    TMemoryStream out;
    const auto writer = NewAvifWriter();
    writer->Begin(c.width, c.height, meta, settings, out);
    for (int y = 0; y < c.height; ++y) writer->WriteRow(&pixels[size_t(y * c.width)]);
    writer->End();
    return out.TakeBytes();
}

class AvifWriterTable : public ::testing::TestWithParam<WriterCase> {};

TEST_P(AvifWriterTable, ReadsBackThroughTheReferenceDecoders) {
    const WriterCase& c = GetParam();
    if (!HaveTool("heif-convert") || !HaveTool("avifdec"))
        GTEST_SKIP() << "needs heif-convert and avifdec (libheif-examples, libavif-bin)";
    Scratch dir;
    const std::vector<uint32_t> pixels = Pattern(c.width, c.height, c.alpha || c.dropAlpha);
    TPictureMetadata meta;
    const char* xmp =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-"
        "syntax-ns#'><rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator>"
        "Velmora writer test</dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>";
    if (c.metadata) {
        photofiles::TiffBuilder t(true);
        t.ifd0.push_back(t.Ascii(0x010F, "VelmoraMake"));
        meta.exif = t.Build();
        meta.xmp.emplace_back(xmp, xmp + std::strlen(xmp));
        meta.icc = Profile("RGB ");
    }
    const std::vector<uint8_t> file = Encode(c, pixels, meta);
    EXPECT_EQ(Encode(c, pixels, meta), file) << "the same input gave other bytes";
    WriteFile(dir / "out.avif", file);

    for (const char* decode : {"heif-convert", "avifdec -d 8"}) {
        SCOPED_TRACE(decode);
        ASSERT_TRUE(Sh(std::string(decode) + " " + (dir / "out.avif") + " " + (dir / "back.png")));
        const Picture back = ReadPng(dir / "back.png");
        ASSERT_EQ(back.width, c.width);
        ASSERT_EQ(back.height, c.height);
        EXPECT_LE(MeanDifference(back.pixels, pixels), c.meanLimit);
        int alphaLow = 255;
        for (size_t i = 0; i < pixels.size(); ++i) {
            alphaLow = std::min(alphaLow, int(back.pixels[i] >> 24));
            if (c.alpha) {
                EXPECT_LE(std::abs(int(back.pixels[i] >> 24) - int(pixels[i] >> 24)), 12) << i;
            }
        }
        EXPECT_EQ(alphaLow < 255, c.alpha);
    }
    if (c.metadata && HaveTool("exiftool")) {
        EXPECT_EQ(ShOut("exiftool -s3 -Make " + (dir / "out.avif")), "VelmoraMake\n");
        EXPECT_EQ(ShOut("exiftool -s3 -XMP-dc:Creator " + (dir / "out.avif")), "Velmora writer test\n");
        const std::string icc = ShOut("exiftool -b -ICC_Profile " + (dir / "out.avif"));
        EXPECT_EQ(std::vector<uint8_t>(icc.begin(), icc.end()), meta.icc);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AvifWriterTable, ::testing::ValuesIn(kWriterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AvifWriter, RefusesToFinishAPictureWithRowsMissing) {
    TMemoryStream out;
    const auto writer = NewAvifWriter();
    writer->Begin(8, 8, {}, {}, out);
    const std::vector<uint32_t> row(8, 0xFF808080u);
    writer->WriteRow(row.data());
    EXPECT_THROW(writer->End(), EHeifError);
}

}  // namespace
