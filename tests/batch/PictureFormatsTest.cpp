// File names and first bytes as the engine tells formats by them.
#include "batch/PictureFormats.h"
#include "platform/Exceptions.h"
#include "platform/Stream.h"
#include "tests/support/TestImages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct NameCase {
    const char* source;
    TOutputFormat format;
    const char* output;
};

class OutputNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputNames, KeepTheSourcesSpellingWhereItNamesTheOutputFormat) {
    EXPECT_EQ(OutputFileName(QString::fromUtf8(GetParam().source), GetParam().format).toStdString(), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Batch, OutputNames,
                         ::testing::Values(NameCase{"a.JPEG", TOutputFormat::Same, "a.JPEG"},
                                           NameCase{"a.JPEG", TOutputFormat::Jpeg, "a.JPEG"},
                                           NameCase{"a.Png", TOutputFormat::Same, "a.Png"},
                                           NameCase{"a.Png", TOutputFormat::Jpeg, "a.jpg"},
                                           NameCase{"IMG_1.HEIC", TOutputFormat::Same, "IMG_1.jpg"},
                                           NameCase{"scan.tiff", TOutputFormat::Same, "scan.jpg"},
                                           NameCase{"scan.TIF", TOutputFormat::Png, "scan.png"},
                                           NameCase{"p.hif", TOutputFormat::Avif, "p.avif"},
                                           NameCase{"p.AVIF", TOutputFormat::Same, "p.AVIF"},
                                           NameCase{"x.webp", TOutputFormat::Bmp, "x.bmp"},
                                           NameCase{"x.bmp", TOutputFormat::Webp, "x.webp"},
                                           NameCase{"two.dots.jpg", TOutputFormat::Png, "two.dots.png"},
                                           NameCase{"notes.txt", TOutputFormat::Same, "notes.txt"},
                                           NameCase{"dir.jpg/file", TOutputFormat::Png, "dir.jpg/file.png"}));

TEST(PictureFormats, ExtensionsAndFirstBytes) {
    EXPECT_EQ(FormatOfExtension(QStringLiteral("a/B.HeIc")), TPictureFormat::Heif);
    EXPECT_EQ(FormatOfExtension(QStringLiteral("a.jpg/b")), TPictureFormat::Unknown);
    EXPECT_FALSE(IsPictureExtension(QStringLiteral("x.gif")));
    EXPECT_EQ(PictureNameFilters().size(), 11);

    struct {
        const char* bytes;
        size_t n;
        TPictureFormat format;
    } const heads[] = {
        {"\xFF\xD8\xFF\xE0", 4, TPictureFormat::Jpeg},
        {"\x89PNG\r\n\x1A\n", 8, TPictureFormat::Png},
        {"\x89PNG\r\n\x1A", 7, TPictureFormat::Unknown},
        {"BM", 2, TPictureFormat::Bmp},
        {"RIFF\x10\0\0\0WEBPVP8 ", 16, TPictureFormat::Webp},
        {"II*\0\x08\0\0\0", 8, TPictureFormat::Tiff},
        {"MM\0*\0\0\0\x08", 8, TPictureFormat::Tiff},
        {"\0\0\0\x18"
         "ftypheic\0\0\0\0mif1heic",
         24, TPictureFormat::Heif},
        {"\0\0\0\x1C"
         "ftypavif\0\0\0\0avifmif1miaf",
         28, TPictureFormat::Avif},
        {"GIF89a", 6, TPictureFormat::Unknown},
    };
    for (const auto& h : heads)
        EXPECT_EQ(SniffFormat(reinterpret_cast<const uint8_t*>(h.bytes), h.n), h.format) << h.bytes;
}

TEST(PictureFormats, TheProbeReadsTheHeaderByContent) {
    const QByteArray png = testimages::Png(7, 5);
    TMemoryStream in(std::vector<uint8_t>(png.begin(), png.end()));
    const TSourceInfo info = ProbeSource(in, QStringLiteral("named.jpg"));
    EXPECT_EQ(info.format, TPictureFormat::Png);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    TMemoryStream text(std::vector<uint8_t>{'h', 'i'});
    EXPECT_THROW(ProbeSource(text, QStringLiteral("notes.txt")), EInvalidGraphic);
}

}  // namespace
