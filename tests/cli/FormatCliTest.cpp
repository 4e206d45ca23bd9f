// Formats in and out through velmora-cli: sources made by Debian's encoders,
// outputs decoded by the reference decoders (dwebp, heif-convert, djpeg,
// ImageMagick for the rest) and compared with the PNG pipeline's resize of
// the reference decode of the same source.
#include "CliRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using clirun::RunCli;
using clirun::u;

bool HaveTools(std::initializer_list<const char*> tools) {
    for (const char* t : tools)
        if (QStandardPaths::findExecutable(u(t)).isEmpty()) return false;
    return true;
}

bool Tool(const char* program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(u(program), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return false;
    if (out) *out = p.readAllStandardOutput();
    return true;
}

struct Pixels {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
};

// The picture in any format, decoded by its reference decoder, as RGBA.
Pixels Decode(const QString& path, const QString& scratch) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray head = f.read(12);
    QString plain = path;
    if (head.startsWith("RIFF")) {
        plain = scratch + u(".pam");
        if (!Tool("dwebp", {u("-quiet"), u("-pam"), path, u("-o"), plain})) return {};
    } else if (head.mid(4, 4) == "ftyp") {
        plain = scratch + u(".png");
        if (!Tool("heif-convert", {path, plain})) return {};
    } else if (head.startsWith("\xFF\xD8")) {
        plain = scratch + u(".ppm");
        if (!Tool("djpeg", {u("-outfile"), plain, path})) return {};
    }
    QByteArray pam;
    if (!Tool("convert", {plain, u("-alpha"), u("set"), u("-depth"), u("8"), u("PAM:-")}, &pam)) return {};
    Pixels p;
    const qsizetype end = pam.indexOf("ENDHDR\n");
    for (const QByteArray& line : pam.left(end).split('\n')) {
        if (line.startsWith("WIDTH ")) p.w = line.mid(6).toInt();
        if (line.startsWith("HEIGHT ")) p.h = line.mid(7).toInt();
    }
    const QByteArray data = pam.mid(end + 7);
    if (end < 0 || data.size() != qsizetype(p.w) * p.h * 4) return {};
    p.rgba.assign(data.begin(), data.end());
    return p;
}

// Largest and mean difference of two pictures' channels; -1 when their sizes differ.
std::pair<int, double> Difference(const Pixels& a, const Pixels& b) {
    if (a.w != b.w || a.h != b.h || a.rgba.empty()) return {-1, 0};
    int most = 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) {
        const int d = std::abs(int(a.rgba[i]) - int(b.rgba[i]));
        most = std::max(most, d);
        sum += d;
    }
    return {most, sum / double(a.rgba.size())};
}

class Formats : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QDir(dir_.path()).mkdir(u("in"));
        QDir(dir_.path()).mkdir(u("out"));
        QDir(dir_.path()).mkdir(u("ref"));
        if (!HaveTools({"convert", "cwebp", "dwebp", "heif-enc", "heif-convert", "avifenc", "djpeg"}))
            GTEST_SKIP() << "needs imagemagick, webp, libheif-examples, libavif-bin, libjpeg-turbo-progs";
        ASSERT_TRUE(Tool("convert", {u("-seed"), u("7"), u("-size"), u("300x200"), u("plasma:fractal"), u("-blur"),
                                     u("0x1"), u("-depth"), u("8"), Base()}));
    }
    QString Base() const { return dir_.path() + u("/base.png"); }
    QString In(const QString& n) const { return dir_.path() + u("/in/") + n; }
    QString Out(const QString& n) const { return dir_.path() + u("/out/") + n; }
    QString Scratch() const { return dir_.path() + u("/scratch"); }
    QTemporaryDir dir_;
};

// ---------------------------------------------------------------- format pairs

struct PairCase {
    const char* name;  // the source's file name
    const char* make;  // how it is made from base.png: tool and arguments, %i base, %o source
    const char* format;
    const char* output;  // the output's file name
    int most;            // largest channel difference allowed
    double mean;         // mean difference allowed
};

class FormatPairs : public Formats, public ::testing::WithParamInterface<PairCase> {};

QStringList Expand(const char* make, const QString& in, const QString& out) {
    QStringList args = u(make).split(u(" "));
    for (QString& a : args) a.replace(u("%i"), in).replace(u("%o"), out);
    return args;
}

TEST_P(FormatPairs, ComeOutAsTheReferenceDecodeResizedByThePngPipeline) {
    const PairCase& c = GetParam();
    const QString source = In(u(c.name));
    QStringList make = Expand(c.make, Base(), source);
    const QString tool = make.takeFirst();
    ASSERT_TRUE(Tool(tool.toUtf8().constData(), make)) << c.make;
    // The expectation: the source as its reference decoder sees it, through
    // the PNG pipeline of today.
    const Pixels decoded = Decode(source, Scratch());
    ASSERT_FALSE(decoded.rgba.empty());
    const QString ref = dir_.path() + u("/ref/ref.png");
    QFile raw(Scratch() + u(".rgba"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(reinterpret_cast<const char*>(decoded.rgba.data()), qsizetype(decoded.rgba.size()));
    raw.close();
    ASSERT_TRUE(Tool("convert", {u("-size"), QString::number(decoded.w) + u("x") + QString::number(decoded.h),
                                 u("-depth"), u("8"), u("rgba:") + raw.fileName(), u("-alpha"), u("off"), ref}));
    ASSERT_EQ(RunCli({u("-o"), dir_.path() + u("/ref"), u("-W"), u("120"), u("--overwrite"), u("all"), ref}).exitCode,
              0);
    const Pixels want = Decode(ref, Scratch());

    const clirun::Result r = RunCli({u("-o"), Out(u("")), u("-W"), u("120"), u("--format"), u(c.format), source});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(Out(u(""))).entryList(QDir::Files), QStringList{u(c.output)});
    const auto [most, mean] = Difference(Decode(Out(u(c.output)), Scratch()), want);
    EXPECT_GE(most, 0) << "the sizes differ";
    EXPECT_LE(most, c.most);
    EXPECT_LE(mean, c.mean);
}

const PairCase kPairs[] = {
    {"a.png", "cp %i %o", "jpeg", "a.jpg", 48, 3.5},
    {"a.png", "cp %i %o", "bmp", "a.bmp", 0, 0},
    {"a.png", "cwebp -quiet -q 100 %i -o %o", "same", "a.png", 0, 0},  // misnamed: a WebP under a PNG name
    {"a.png", "cp %i %o", "webp", "a.webp", 48, 3.5},
    {"a.Png", "cp %i %o", "same", "a.Png", 0, 0},
    {"a.png", "cp %i %o", "avif", "a.avif", 60, 4.0},
    {"b.bmp", "convert %i BMP3:%o", "png", "b.png", 0, 0},
    {"j.jpg", "convert %i -quality 95 %o", "png", "j.png", 3, 0.5},
    {"j.webp", "convert %i -quality 95 JPEG:%o", "same", "j.webp", 48, 3.5},  // a JPEG under a WebP name
    {"w.webp", "cwebp -quiet -q 90 %i -o %o", "png", "w.png", 0, 0},
    {"w.webp", "cwebp -quiet -lossless %i -o %o", "jpeg", "w.jpg", 48, 3.5},
    {"w.webp", "cwebp -quiet -lossless %i -o %o", "same", "w.webp", 48, 3.5},
    {"t.tif", "convert %i -compress lzw %o", "same", "t.jpg", 48, 3.5},
    {"t.TIFF", "convert %i -compress zip TIFF:%o", "png", "t.png", 0, 0},
    {"h.heic", "heif-enc -q 90 %i -o %o", "same", "h.jpg", 48, 3.5},
    {"h.HEIC", "heif-enc -q 90 %i -o %o", "png", "h.png", 0, 0},
    {"h.jpg", "heif-enc -q 90 %i -o %o", "same", "h.jpg", 48, 3.5},  // a HEIC under a JPEG name
    {"v.avif", "avifenc -s 8 %i %o", "png", "v.png", 0, 0},
    {"v.avif", "avifenc -s 8 %i %o", "webp", "v.webp", 48, 3.5},
};

std::string PairName(const ::testing::TestParamInfo<PairCase>& info) {
    std::string n = std::to_string(info.index) + "_" + info.param.name + "_to_" + info.param.format;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Cli, FormatPairs, ::testing::ValuesIn(kPairs), PairName);

// ---------------------------------------------------------------- options

struct UsageCase {
    std::vector<const char*> args;
    const char* message;
};

class FormatUsage : public Formats, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(FormatUsage, IsRefusedBeforeAnyFileIsTouched) {
    QStringList args{u("-o"), Out(u(""))};
    for (const char* a : GetParam().args) args << u(a);
    const clirun::Result r = RunCli(args << Base());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errLines.value(0), u("velmora-cli: ") + u(GetParam().message));
    EXPECT_TRUE(QDir(Out(u(""))).entryList(QDir::Files).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FormatUsage,
    ::testing::Values(
        UsageCase{{"--format", "gif"}, "--format takes same, jpeg, png, bmp, webp or avif"},
        UsageCase{{"--format", "JPEG"}, "--format takes same, jpeg, png, bmp, webp or avif"},
        UsageCase{{"--quality", "0"}, "--quality takes a number from 1 to 100"},
        UsageCase{{"--quality", "101"}, "--quality takes a number from 1 to 100"},
        UsageCase{{"--format", "png", "--quality", "50"}, "--quality does not apply to PNG and BMP outputs"},
        UsageCase{{"--quality", "50", "--format", "bmp"}, "--quality does not apply to PNG and BMP outputs"},
        UsageCase{{"--format", "jpeg", "--lossless"}, "--lossless applies to WebP outputs only"},
        UsageCase{{"--lossless", "--format", "avif"}, "--lossless applies to WebP outputs only"}));

TEST_F(Formats, AConvertedNameNeverReplacesAnOutputOfTheSameRun) {
    ASSERT_TRUE(Tool("cp", {Base(), In(u("x.png"))}));
    ASSERT_TRUE(Tool("heif-enc", {u("-q"), u("50"), Base(), u("-o"), In(u("x.heic"))}));
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        QDir(Out(u(""))).removeRecursively();
        QDir(dir_.path()).mkdir(u("out"));
        const clirun::Result r = RunCli({u("-o"), Out(u("")), u("-j"), u(jobs), u("--format"), u("jpeg"),
                                         u("--overwrite"), u("all"), In(u("x.png")), In(u("x.heic")), In(u("x.png"))});
        EXPECT_EQ(r.exitCode, 1);
        // The same name twice replaces as it always has; the other name fails.
        EXPECT_EQ(r.out, u("written 2, skipped 0, failed 1\n"));
        EXPECT_EQ(r.errLines,
                  QStringList{u("Error resizing ") + In(u("x.heic")) + u(" (x.jpg was already written from ") +
                              In(u("x.png")) + u(" in this run)")});
        QFile f(Out(u("x.jpg")));
        EXPECT_TRUE(f.exists());
    }
}

// ---------------------------------------------------------------- metadata and colour

TEST_F(Formats, MetadataIsCarriedIntoEveryFormatThatHoldsIt) {
    if (!HaveTools({"exiftool"})) GTEST_SKIP() << "needs exiftool";
    const QString src = In(u("m.jpg"));
    ASSERT_TRUE(Tool("convert", {Base(), u("-quality"), u("90"), src}));
    ASSERT_TRUE(
        Tool("exiftool", {u("-q"), u("-overwrite_original"), u("-n"), u("-Orientation=6"), u("-XMP-dc:Title=harbour"),
                          u("-Artist=someone"), u("-ExifImageWidth=300"), u("-ExifImageHeight=200"), src}));
    for (const char* format : {"png", "webp", "avif", "jpeg"}) {
        SCOPED_TRACE(format);
        QDir(Out(u(""))).removeRecursively();
        QDir(dir_.path()).mkdir(u("out"));
        ASSERT_EQ(RunCli({u("-o"), Out(u("")), u("-W"), u("90"), u("--format"), u(format), u("--keep-metadata"), src})
                      .exitCode,
                  0);
        const QString out = QDir(Out(u(""))).entryInfoList(QDir::Files).value(0).filePath();
        QByteArray tags;
        ASSERT_TRUE(Tool("exiftool",
                         {u("-n"), u("-s3"), u("-Orientation"), u("-Artist"), u("-XMP-dc:Title"), u("-ExifImageWidth"),
                          u("-ImageWidth"), out},
                         &tags));
        // Turned upright: 200 x 300, fixed width 90 on the longer side.
        EXPECT_EQ(tags, QByteArray("1\nsomeone\nharbour\n60\n60\n"));
    }
}

// An RGB profile with the Display P3 primaries and the sRGB tone curve,
// and the colour the sRGB profile of Little CMS gives a pixel of it
// (perceptual intent).
std::vector<uint8_t> P3Profile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const double params[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(p, bytes.data(), &size);
    cmsCloseProfile(p);
    cmsFreeToneCurve(curve);
    return bytes;
}

std::vector<uint8_t> InSrgb(const std::vector<uint8_t>& icc, std::vector<uint8_t> rgb) {
    cmsHPROFILE from = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_RGB_8, to, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    cmsDoTransform(t, rgb.data(), rgb.data(), 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return rgb;
}

struct ColorCase {
    const char* name;
    const char* format;
    bool keepMetadata;
    bool convert;  // the colour changes into sRGB
    int tolerance;
};

class ColorProfiles : public Formats, public ::testing::WithParamInterface<ColorCase> {};

TEST_P(ColorProfiles, TurnIntoSrgbWhereTheOutputDropsTheProfile) {
    const ColorCase& c = GetParam();
    const std::vector<uint8_t> p3 = P3Profile();
    const QString icc = dir_.path() + u("/p3.icc");
    QFile f(icc);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(p3.data()), qsizetype(p3.size()));
    f.close();
    const QString src = In(u(c.name));
    ASSERT_TRUE(Tool("convert", {u("-size"), u("64x48"), u("xc:rgb(200,100,50)"), u("-profile"), icc, u("-quality"),
                                 u("100"), src}));
    const clirun::Result r =
        RunCli(QStringList{u("-o"), Out(u("")), u("-W"), u("32"), u("--format"), u(c.format)} +
               (c.keepMetadata ? QStringList{u("--keep-metadata")} : QStringList{}) + QStringList{src});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const Pixels have = Decode(QDir(Out(u(""))).entryInfoList(QDir::Files).value(0).filePath(), Scratch());
    ASSERT_EQ(have.w, 32);
    const Pixels source = Decode(src, Scratch());
    const std::vector<uint8_t> stored(source.rgba.begin(), source.rgba.begin() + 3);
    const std::vector<uint8_t> want = c.convert ? InSrgb(p3, stored) : stored;
    if (c.convert) {
        EXPECT_GT(int(want[0]) - int(want[1]), int(stored[0]) - int(stored[1]));  // more saturated
    }
    const uint8_t* centre = &have.rgba[size_t(16 * 32 + 16) * 4];
    for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(int(centre[ch]), int(want[size_t(ch)]), c.tolerance) << ch;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ColorProfiles,
    ::testing::Values(ColorCase{"c.png", "same", false, true, 1}, ColorCase{"c.png", "same", true, false, 0},
                      ColorCase{"c.png", "bmp", true, true, 1}, ColorCase{"c.png", "jpeg", false, true, 3},
                      ColorCase{"c.jpg", "same", false, true, 3}, ColorCase{"c.jpg", "same", true, false, 3},
                      ColorCase{"c.tif", "webp", false, true, 3}, ColorCase{"c.tif", "png", true, false, 0}));

}  // namespace
