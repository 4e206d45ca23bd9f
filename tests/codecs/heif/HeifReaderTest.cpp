// The HEIC/HEIF and AVIF reader against Debian's tools: pictures made by
// heif-enc (x265 and aom) or through libheif's encoder (a rotated one), read
// here and by heif-convert, which decodes through the same libheif (pixels
// exact, or within one step where it writes 16-bit samples), and by avifdec
// for AVIF (its own YCbCr conversion: close). Then what the header decides
// on: the signature, the size limits and damaged files.
#include "HeifTestSupport.h"
#include "codecs/heif/HeifFormat.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/PixelDiff.h"

#include <libheif/heif.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace heiftest;

namespace {

enum class Source { Rgb8, Rgb16, Rgba8, JpegExifIcc, JpegGrayIcc };

struct ReaderCase {
    const char* name;
    Source source;
    const char* encode;  // heif-enc options; "" with rotate: libheif's encoder
    bool avif;
    int rotate;  // EXIF-style orientation written as irot/imir, 0 for none
    bool alpha;
};

const ReaderCase kReaderCases[] = {
    {"Heic8", Source::Rgb8, "-q 90", false, 0, false},
    {"Heic10", Source::Rgb16, "-q 90 -b 10", false, 0, false},
    {"HeicAlpha", Source::Rgba8, "-q 90", false, 0, true},
    {"Avif8", Source::Rgb8, "-A -q 90", true, 0, false},
    {"Avif10", Source::Rgb16, "-A -q 90 -b 10", true, 0, false},
    {"AvifAlpha", Source::Rgba8, "-A -q 90", true, 0, true},
    {"HeicExifIcc", Source::JpegExifIcc, "-q 90", false, 0, false},
    {"HeicGrayProfileDropped", Source::JpegGrayIcc, "-q 90", false, 0, false},
    {"HeicRotated90", Source::Rgb8, "", false, 6, false},
    {"AvifMirroredRotated", Source::Rgb8, "", true, 7, false},
};

constexpr int kW = 37, kH = 23;

photofiles::Bytes ExifBlock() {
    photofiles::TiffBuilder t(false);
    t.ifd0.push_back(t.Ascii(0x010F, "Velmora test"));
    t.ifd0.push_back(t.Short(0x0112, 6));
    return t.Build();
}

// Encodes an 8-bit RGB PNG through libheif with the orientation turned into
// irot/imir boxes, as phones store their rotation.
void EncodeRotated(const std::string& png, const std::string& out, bool avif, int orientation) {
    const Picture src = ReadPng(png);
    heif_image* image = nullptr;
    ASSERT_EQ(heif_image_create(src.width, src.height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code,
              heif_error_Ok);
    heif_image_add_plane(image, heif_channel_interleaved, src.width, src.height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x)
            for (int c = 0; c < 3; ++c)
                plane[y * stride + x * 3 + c] = uint8_t(src.pixels[size_t(y * src.width + x)] >> (16 - 8 * c));
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(ctx, avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(orientation);
    EXPECT_EQ(heif_context_encode_image(ctx, image, encoder, options, nullptr).code, heif_error_Ok);
    EXPECT_EQ(heif_context_write_to_file(ctx, out.c_str()).code, heif_error_Ok);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(ctx);
}

class HeifReaderTable : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(HeifReaderTable, MatchesTheReferenceDecoders) {
    const ReaderCase& c = GetParam();
    if (!HaveTool("heif-enc") || !HaveTool("heif-convert") || !HaveTool("convert"))
        GTEST_SKIP() << "needs heif-enc, heif-convert and ImageMagick (libheif-examples, imagemagick)";
    Scratch dir;
    const std::string src8 = dir / "src.png", file = dir / (c.avif ? "x.avif" : "x.heic");
    WriteFile(src8, photofiles::PngRgba(kW, kH, Pattern(kW, kH, c.alpha), c.alpha));
    std::string src = src8;
    const photofiles::Bytes exif = ExifBlock(), icc = Profile("RGB ");
    if (c.source == Source::Rgb16) {
        src = dir / "src16.png";
        ASSERT_TRUE(Sh("convert " + src8 + " -depth 16 " + src));
    } else if (c.source == Source::JpegExifIcc || c.source == Source::JpegGrayIcc) {
        ASSERT_TRUE(Sh("convert " + src8 + " -quality 95 " + (dir / "plain.jpg")));
        const photofiles::Bytes profile = c.source == Source::JpegExifIcc ? icc : Profile("GRAY");
        src = dir / "src.jpg";
        WriteFile(src, photofiles::JpegWithSegments(
                           pngref::ReadFile(dir / "plain.jpg"),
                           {{0xE1, photofiles::ExifSegment(exif)}, {0xE2, photofiles::IccSegment(1, 1, profile)}}));
    }
    if (c.rotate != 0)
        EncodeRotated(src, file, c.avif, c.rotate);
    else
        ASSERT_TRUE(Sh(std::string("heif-enc ") + c.encode + " " + src + " -o " + file));
    // libpng refuses a grey profile on colour pixels: heif-convert cannot
    // write that case, whose pixels the others cover.
    const bool compare = c.source != Source::JpegGrayIcc;
    Picture ref;
    if (compare) {
        ASSERT_TRUE(Sh("heif-convert " + file + " " + (dir / "ref.png")));
        ref = ReadPng(dir / "ref.png");
    }

    TFileStream stream(file);
    const auto reader = NewHeifReader();
    reader->ReadHeader(stream);
    ASSERT_EQ(reader->Width(), compare ? ref.width : kW);
    ASSERT_EQ(reader->Height(), compare ? ref.height : kH);
    EXPECT_EQ(reader->HasAlpha(), c.alpha);
    if (c.rotate >= 5) {
        EXPECT_EQ(reader->Width(), kH);
    }
    RowCollector rows(reader->Width());
    reader->ReadRows(rows);
    if (c.source == Source::Rgb16) {
        // heif-convert keeps 10 bits in a 16-bit PNG; libheif's 8-bit output
        // may differ from its rounding by one step.
        EXPECT_LE(LargestDifference(rows.pixels, ref.pixels), 1);
    } else if (compare) {
        EXPECT_EQ(testsupport::FirstDifference(rows.pixels, ref.pixels, reader->Width()), "");
    }
    if (c.avif && c.rotate == 0 && HaveTool("avifdec")) {
        ASSERT_TRUE(Sh("avifdec -d 8 " + file + " " + (dir / "avifdec.png")));
        // libavif upsamples the chroma bilinearly, libheif takes the nearest.
        EXPECT_LE(MeanDifference(rows.pixels, ReadPng(dir / "avifdec.png").pixels), 5.0);
    }

    const TPictureMetadata& meta = reader->Metadata();
    EXPECT_EQ(meta.orientation, 0);
    if (c.source == Source::JpegExifIcc || c.source == Source::JpegGrayIcc) {
        EXPECT_EQ(meta.exif, exif);
    }
    EXPECT_EQ(meta.icc, c.source == Source::JpegExifIcc ? icc : photofiles::Bytes{});
}

INSTANTIATE_TEST_SUITE_P(Cases, HeifReaderTable, ::testing::ValuesIn(kReaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ signature

struct SignatureCase {
    const char* name;
    std::vector<uint8_t> head;
    bool heif;
};

std::vector<uint8_t> Ftyp(const char* major, std::vector<const char*> compatible, uint32_t declared = 0) {
    std::string box = std::string("\0\0\0\0ftyp", 8) + major + std::string(4, '\0');
    for (const char* brand : compatible) box += brand;
    const uint32_t size = declared != 0 ? declared : uint32_t(box.size());
    for (int i = 0; i < 4; ++i) box[size_t(i)] = char(size >> (24 - 8 * i));
    return {box.begin(), box.end()};
}

class HeifSignatureTable : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(HeifSignatureTable, TellsHeifFromOtherFiles) {
    const SignatureCase& c = GetParam();
    EXPECT_EQ(IsHeif(c.head.data(), c.head.size()), c.heif);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeifSignatureTable,
    ::testing::Values(SignatureCase{"HeicMajor", Ftyp("heic", {"mif1", "heic"}), true},
                      SignatureCase{"AvifMajor", Ftyp("avif", {"avif", "mif1", "miaf"}), true},
                      SignatureCase{"Mif1Compatible", Ftyp("isom", {"mif1"}), true},
                      SignatureCase{"SequenceMsf1", Ftyp("msf1", {"iso8"}), true},
                      SignatureCase{"AvisMajor", Ftyp("avis", {}), true},
                      SignatureCase{"Mp4Video", Ftyp("isom", {"isom", "iso2", "avc1", "mp41"}), false},
                      SignatureCase{"QuickTime", Ftyp("qt  ", {"qt  "}), false},
                      SignatureCase{"BrandPastTheBox", Ftyp("mp42", {"isom", "heic"}, 20), false},
                      SignatureCase{"TooShort", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i'}, false},
                      SignatureCase{"NotFtyp", {0, 0, 0, 24, 'm', 'o', 'o', 'v', 'h', 'e', 'i', 'c'}, false},
                      SignatureCase{"Jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ refusals

enum class Damage { None, NotHeif, HugeSize, PhoneSize, CutInData, CutInHeader };

struct RefusalCase {
    const char* name;
    Damage damage;
    const char* message;  // the fixed text the error starts with; "" for none
    bool atHeader;        // refused by ReadHeader (else by ReadRows)
};

class HeifRefusalTable : public ::testing::TestWithParam<RefusalCase> {};

// Sets the size of every `ispe` box of the file (primary picture and tiles).
void SetDeclaredSize(std::vector<uint8_t>& file, uint32_t w, uint32_t h) {
    for (size_t i = 0; i + 16 <= file.size(); ++i)
        if (std::memcmp(&file[i], "ispe", 4) == 0)
            for (int k = 0; k < 4; ++k) {
                file[i + 8 + size_t(k)] = uint8_t(w >> (24 - 8 * k));
                file[i + 12 + size_t(k)] = uint8_t(h >> (24 - 8 * k));
            }
}

TEST_P(HeifRefusalTable, FailsWithItsCause) {
    const RefusalCase& c = GetParam();
    if (!HaveTool("heif-enc")) GTEST_SKIP() << "needs heif-enc (libheif-examples)";
    Scratch dir;
    WriteFile(dir / "src.png", photofiles::PngRgba(kW, kH, Pattern(kW, kH, false), false));
    ASSERT_TRUE(Sh("heif-enc -q 50 " + (dir / "src.png") + " -o " + (dir / "x.heic")));
    std::vector<uint8_t> file = pngref::ReadFile(dir / "x.heic");
    const auto mdat = size_t(std::search(file.begin(), file.end(), "mdat", "mdat" + 4) - file.begin());
    switch (c.damage) {
    case Damage::None: break;
    case Damage::NotHeif: file = pngref::ReadFile(dir / "src.png"); break;
    case Damage::HugeSize: SetDeclaredSize(file, 20000, 20000); break;
    case Damage::PhoneSize: SetDeclaredSize(file, 8064, 6048); break;
    case Damage::CutInData: file.resize(mdat + 20); break;
    case Damage::CutInHeader: file.resize(mdat / 2); break;
    }
    TMemoryStream stream(file);
    const auto reader = NewHeifReader();
    std::string message;
    bool headerPassed = false;
    try {
        reader->ReadHeader(stream);
        headerPassed = true;
        RowCollector rows(reader->Width());
        reader->ReadRows(rows);
        EXPECT_EQ(rows.pixels.size(), size_t(reader->Width()) * size_t(reader->Height()));
    } catch (const EHeifError& e) {
        message = e.Message();
    }
    EXPECT_EQ(message.substr(0, std::strlen(c.message)), c.message) << message;
    EXPECT_EQ(message.empty(), *c.message == '\0') << message;
    if (*c.message != '\0') {
        EXPECT_EQ(headerPassed, !c.atHeader) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HeifRefusalTable,
                         ::testing::Values(RefusalCase{"Intact", Damage::None, "", false},
                                           RefusalCase{"PngBytes", Damage::NotHeif, kHeifNotHeif, true},
                                           RefusalCase{"Declares400Megapixels", Damage::HugeSize, kHeifTooLarge, true},
                                           // A 48 MP phone photo passes the header (its data then
                                           // does not match the size it declares).
                                           RefusalCase{"Declares48Megapixels", Damage::PhoneSize, kHeifDamaged, false},
                                           RefusalCase{"CodedDataMissing", Damage::CutInData, kHeifTruncated, true},
                                           RefusalCase{"CutInTheBoxes", Damage::CutInHeader, kHeifTruncated, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
