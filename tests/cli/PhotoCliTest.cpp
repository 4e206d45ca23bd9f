// velmora-cli's photo switches on files built by hand: metadata read back by
// exiftool (skipped where it is not installed), pixels by the test-only PNG
// decoder and libjpeg.
#include "CliRun.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/PhotoJpeg.h"
#include "tests/support/PngReference.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using photofiles::Bytes;
using photofiles::TiffBuilder;

namespace {

using clirun::u;

bool Write(const QString& path, const Bytes& b) { return photofiles::WriteBytes(path.toStdString(), b); }
Bytes Read(const QString& path) { return photofiles::ReadBytes(path.toStdString()); }

// The exit status; what the program said goes to the test's own output.
int RunCli(const QStringList& args) {
    const clirun::Result r = clirun::RunCli(args);
    std::fputs(r.err.toLocal8Bit().constData(), stderr);
    return r.exitCode;
}

// exiftool's answer for one file: raw bytes of -b tags, plain values
// otherwise (-n: numbers, not their names).
QByteArray Exiftool(const QString& file, const QStringList& tags) {
    QProcess p;
    p.setProgram(QStandardPaths::findExecutable(u("exiftool")));
    p.setArguments(QStringList{u("-n"), u("-s3")} + tags + QStringList{file});
    p.start();
    EXPECT_TRUE(p.waitForFinished(60000));
    return p.readAllStandardOutput().trimmed();
}

QByteArray ExiftoolBinary(const QString& file, const char* tag) {
    QProcess p;
    p.setProgram(QStandardPaths::findExecutable(u("exiftool")));
    p.setArguments({u("-b"), u(tag), file});
    p.start();
    EXPECT_TRUE(p.waitForFinished(60000));
    return p.readAllStandardOutput();
}

QByteArray AsQt(const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); }

// A small colour JPEG with some detail.
Bytes Jpeg(int w, int h) {
    return photofiles::Jpeg(w, h, [](int x, int y) { return uint32_t(x * 9) << 16 | uint32_t(y * 5) << 8 | 0x40; });
}

// EXIF as a phone writes it: maker, orientation 6 (turn clockwise), pixel
// size, and a thumbnail in IFD1.
Bytes PhoneExif(bool little, uint16_t w, uint16_t h) {
    TiffBuilder t(little);
    t.ifd0 = {t.Ascii(0x010F, "Velmora Test Camera"), t.Short(0x0112, 6)};
    t.exif = {t.Ascii(0x9003, "2024:05:06 07:08:09"), t.Short(0xA002, w), t.Short(0xA003, h)};
    t.thumbnail = Jpeg(16, 12);
    return t.Build();
}

const char kXmp[] =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
    "xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Orientation='6'/></rdf:RDF></x:xmpmeta>"
    "<?xpacket end='w'?>";

Bytes XmpSegment() {
    const std::string s = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + kXmp;
    return Bytes(s.begin(), s.end());
}

Bytes XmpTextChunk() {
    const std::string s = std::string("XML:com.adobe.xmp") + '\0' + '\0' + '\0' + '\0' + '\0' + kXmp;
    return Bytes(s.begin(), s.end());
}

class PhotoCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString In(const char* n) const { return dir_.path() + "/" + u(n); }
    QString Out(const char* n) const { return dir_.path() + "/out/" + u(n); }
    // Runs the CLI on one input file with extra switches into out/.
    void Resize(const char* name, const Bytes& file, QStringList switches) {
        ASSERT_TRUE(Write(In(name), file));
        QDir(dir_.path()).mkpath(u("out"));
        QFile::remove(Out(name));
        ASSERT_EQ(RunCli(QStringList{u("-o"), dir_.path() + u("/out")} + switches + QStringList{In(name)}), 0);
    }
    static bool HaveExiftool() { return !QStandardPaths::findExecutable(u("exiftool")).isEmpty(); }
    QTemporaryDir dir_;
};

// ---------------------------------------------------------------- metadata

TEST_F(PhotoCli, KeptJpegMetadataSaysUprightAndKeepsTheProfile) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    // A profile that needs two segments, stored second segment first.
    const Bytes profile = photofiles::IccProfile(70000);
    const Bytes first(profile.begin(), profile.begin() + 65519), second(profile.begin() + 65519, profile.end());
    const Bytes in = photofiles::JpegWithSegments(
        Jpeg(160, 120), {{0xE1, photofiles::ExifSegment(PhoneExif(false, 160, 120))},
                         {0xE1, XmpSegment()},
                         {0xE2, photofiles::IccSegment(2, 2, second)},
                         {0xE2, photofiles::IccSegment(1, 2, first)}});
    Resize("phone.jpg", in, {u("-W"), u("64"), u("--keep-metadata")});
    const QString out = Out("phone.jpg");
    EXPECT_EQ(Exiftool(out, {u("-ImageWidth"), u("-ImageHeight")}), QByteArray("48\n64"));
    EXPECT_EQ(Exiftool(out, {u("-EXIF:Orientation")}), QByteArray("1"));
    EXPECT_EQ(Exiftool(out, {u("-XMP-tiff:Orientation")}), QByteArray("1"));
    EXPECT_EQ(Exiftool(out, {u("-Make")}), QByteArray("Velmora Test Camera"));
    EXPECT_EQ(Exiftool(out, {u("-DateTimeOriginal")}), QByteArray("2024:05:06 07:08:09"));
    EXPECT_EQ(Exiftool(out, {u("-ExifImageWidth"), u("-ExifImageHeight")}), QByteArray("48\n64"));
    EXPECT_TRUE(ExiftoolBinary(out, "-ThumbnailImage").isEmpty());
    EXPECT_EQ(ExiftoolBinary(out, "-ICC_Profile"), AsQt(profile));

    // Kept as stored: the tag still says how to turn it.
    Resize("phone.jpg", in, {u("-W"), u("64"), u("--keep-metadata"), u("--no-auto-orient")});
    EXPECT_EQ(Exiftool(out, {u("-ImageWidth"), u("-ImageHeight")}), QByteArray("64\n48"));
    EXPECT_EQ(Exiftool(out, {u("-EXIF:Orientation")}), QByteArray("6"));
    EXPECT_EQ(Exiftool(out, {u("-XMP-tiff:Orientation")}), QByteArray("6"));

    // Without the switch nothing of it is written.
    Resize("phone.jpg", in, {u("-W"), u("64")});
    EXPECT_EQ(Exiftool(out, {u("-EXIF:all"), u("-XMP:all"), u("-ICC_Profile:all")}), QByteArray());
}

TEST_F(PhotoCli, KeptPngMetadataSaysUprightAndKeepsTheProfile) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    const Bytes profile = photofiles::IccProfile(3000);
    std::vector<uint32_t> pixels(40 * 30, 0xFF336699u);
    const Bytes in = photofiles::PngRgba(40, 30, pixels, false,
                                         {{"iCCP", photofiles::IccpChunk(profile)},
                                          {"eXIf", PhoneExif(true, 40, 30)},
                                          {"iTXt", XmpTextChunk()}});
    Resize("scan.png", in, {u("-W"), u("20"), u("--keep-metadata")});
    const QString out = Out("scan.png");
    EXPECT_EQ(Exiftool(out, {u("-ImageWidth"), u("-ImageHeight")}), QByteArray("15\n20"));
    EXPECT_EQ(Exiftool(out, {u("-EXIF:Orientation")}), QByteArray("1"));
    EXPECT_EQ(Exiftool(out, {u("-XMP-tiff:Orientation")}), QByteArray("1"));
    EXPECT_EQ(Exiftool(out, {u("-Make")}), QByteArray("Velmora Test Camera"));
    EXPECT_TRUE(ExiftoolBinary(out, "-ThumbnailImage").isEmpty());
    EXPECT_EQ(ExiftoolBinary(out, "-ICC_Profile"), AsQt(profile));
}

// A profile that lacks a segment, or is not RGB, is dropped; the rest of the
// metadata is written all the same.
TEST_F(PhotoCli, IncompleteOrForeignProfilesAreDropped) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    const Bytes profile = photofiles::IccProfile(1000);
    const Bytes exif = photofiles::ExifSegment(PhoneExif(true, 160, 120));
    const std::vector<std::vector<std::pair<int, Bytes>>> cases = {
        {{0xE1, exif}, {0xE2, photofiles::IccSegment(1, 2, profile)}},                   // second one missing
        {{0xE1, exif}, {0xE2, photofiles::IccSegment(1, 1, Bytes(profile.begin(), profile.end() - 1))}},  // cut
        {{0xE1, exif}, {0xE2, photofiles::IccSegment(1, 1, photofiles::IccProfile(1000, "GRAY"))}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Resize("p.jpg", photofiles::JpegWithSegments(Jpeg(160, 120), cases[i]), {u("--keep-metadata")});
        EXPECT_TRUE(ExiftoolBinary(Out("p.jpg"), "-ICC_Profile").isEmpty()) << i;
        EXPECT_EQ(Exiftool(Out("p.jpg"), {u("-Make")}), QByteArray("Velmora Test Camera")) << i;
    }
}

// ---------------------------------------------------------------- transparency

// Left columns opaque red, right columns fully transparent green: after
// resampling, no visible pixel may show any of that green.
TEST_F(PhotoCli, KeptAlphaHasNoFringe) {
    const uint32_t w = 9, h = 4;
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) pixels.push_back(x < 4 ? 0xFFFF0000u : 0x0000FF00u);
    Resize("edge.png", photofiles::PngRgba(w, h, pixels), {u("-W"), u("5"), u("--keep-alpha")});
    const pngref::Image out = pngref::Decode(Read(Out("edge.png")));
    ASSERT_EQ(out.colorType, 6);
    ASSERT_EQ(out.width, 5u);
    bool partial = false, clear = false;
    for (const auto& p : out.pixels) {
        if (p[3] == 0) {
            clear = true;
            continue;
        }
        partial |= p[3] < 255;
        EXPECT_EQ(p[0], 255) << "red";
        EXPECT_EQ(p[1], 0) << "green leaked in";
        EXPECT_EQ(p[2], 0);
    }
    EXPECT_TRUE(partial) << "the edge pixel is part transparent";
    EXPECT_TRUE(clear);

    // Without the switch: laid over white, written as RGB, as before.
    Resize("edge.png", photofiles::PngRgba(w, h, pixels), {u("-W"), u("5")});
    EXPECT_EQ(pngref::Decode(Read(Out("edge.png"))).colorType, 2);
}

// A palette picture whose tRNS makes one entry transparent.
TEST_F(PhotoCli, KeptAlphaFromAPaletteTransparency) {
    pngref::Builder b;
    b.Ihdr(8, 2, 8, 3);
    b.Chunk("PLTE", {0, 0, 255, 0, 255, 0});  // 0 blue, 1 green
    b.Chunk("tRNS", {255, 0});                // green invisible
    Bytes raw;
    for (int y = 0; y < 2; ++y) {
        raw.push_back(0);
        for (int x = 0; x < 8; ++x) raw.push_back(x < 3 ? 0 : 1);
    }
    b.Chunk("IDAT", pngref::Deflate(raw));
    b.Iend();
    Resize("pal.png", b.bytes, {u("-W"), u("5"), u("--keep-alpha")});
    const pngref::Image out = pngref::Decode(Read(Out("pal.png")));
    ASSERT_EQ(out.colorType, 6);
    for (const auto& p : out.pixels) {
        if (p[3] != 0) {
            EXPECT_EQ((std::array<uint16_t, 3>{p[0], p[1], p[2]}), (std::array<uint16_t, 3>{0, 0, 255}));
        }
    }
}

TEST_F(PhotoCli, OpaquePicturesIgnoreKeepAlpha) {
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < 30 * 20; ++i) pixels.push_back(0xFF000000u | (i * 2654435761u >> 8));
    const Bytes in = photofiles::PngRgba(30, 20, pixels, true);  // an alpha channel, all 255
    Resize("o.png", in, {u("-W"), u("13")});
    const Bytes plain = Read(Out("o.png"));
    Resize("o.png", in, {u("-W"), u("13"), u("--keep-alpha")});
    EXPECT_EQ(Read(Out("o.png")), plain);
}

TEST_F(PhotoCli, SwitchesTakeNoValue) {
    ASSERT_TRUE(Write(In("x.png"), photofiles::PngRgba(1, 1, {0xFF000000u})));
    for (const char* bad : {"--keep-alpha=yes", "--keep-metadata=1", "--no-auto-orient=no"})
        EXPECT_EQ(RunCli({u("-o"), dir_.path(), u(bad), In("x.png")}), 2) << bad;
}

}  // namespace
