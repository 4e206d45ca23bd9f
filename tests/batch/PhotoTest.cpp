// Photos through the JPEG and PNG pipelines, turned upright by their EXIF
// orientation. Inputs are built by hand (tests/support/); outputs are read
// back by the test-only PNG decoder and libjpeg. The switches as a user gives
// them are in tests/cli/PhotoCliTest.cpp.
#include "batch/ResizeEngine.h"

#include "tests/support/PhotoFiles.h"
#include "tests/support/PhotoJpeg.h"
#include "tests/support/PipelineRun.h"
#include "tests/support/PngReference.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using photofiles::Bytes;
using photofiles::DecodeJpeg;
using photofiles::Jpeg;
using photofiles::Rgb;
using photofiles::TiffBuilder;

namespace {

bool Write(const QString& path, const Bytes& b) { return photofiles::WriteBytes(path.toStdString(), b); }
Bytes Read(const QString& path) { return photofiles::ReadBytes(path.toStdString()); }

// Close enough for JPEG: every channel within 24.
bool Near(uint32_t a, uint32_t b) {
    for (int s : {16, 8, 0})
        if (std::abs(int(a >> s & 0xFF) - int(b >> s & 0xFF)) > 24) return false;
    return true;
}

// Output pixels of a PNG, 0xAARRGGBB, top row first (8-bit files).
std::vector<uint32_t> PngPixels(const Bytes& file, uint32_t& w, uint32_t& h, int& colorType) {
    const pngref::Image img = pngref::Decode(file);
    w = img.width;
    h = img.height;
    colorType = img.colorType;
    std::vector<uint32_t> out;
    for (const auto& p : img.pixels) {
        const uint32_t a = img.colorType == 6 ? p[3] : 255;
        out.push_back(a << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    }
    return out;
}

class Photos : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_.isValid());
        ASSERT_TRUE(out_.isValid());
    }
    QString In(const QString& name) const { return in_.path() + "/" + name; }
    QString Out(const QString& name) const { return out_.path() + "/" + name; }

    // Resizes one file with a preset (0..6) or, given a width, with that
    // fixed width; the output replaces any earlier one of the same name.
    Bytes Resize(const QString& name, const Bytes& file, int32_t fixedWidth = 0, int32_t preset = 0) {
        EXPECT_TRUE(Write(In(name), file));
        pipelinerun::ListFiles(engine_, {In(name)}, out_.path());
        engine_.Prepare();
        if (fixedWidth > 0)
            engine_.SetTarget(sizeFixedWidth, fixedWidth, 0);
        else
            engine_.SetTarget(preset, presetWidths[preset], presetHeights[preset]);
        engine_.Run();
        EXPECT_TRUE(port_.errors.empty()) << (port_.errors.empty() ? "" : port_.errors.back());
        return Read(Out(name));
    }

    QTemporaryDir in_, out_;
    pipelinerun::CollectingPort port_{TOverwriteAnswer::YesToAll};
    TResizeEngine engine_{port_};
};

// ---------------------------------------------------------------- orientation

// A 3 x 2 picture, every pixel its own colour:
//   A B C
//   D E F
constexpr uint32_t A = 0xFF0000, B = 0x00FF00, C = 0x0000FF, D = 0xFFFF00, E = 0x00FFFF, F = 0xFF00FF;

struct Upright {
    int orientation;
    uint32_t w, h;
    std::vector<uint32_t> pixels;  // top row first
};

// Worked out from the tag's meaning ("row 0 is the visual ..., column 0 is
// the visual ..."), not from the code.
const Upright kUpright[] = {
    {1, 3, 2, {A, B, C, D, E, F}},
    {2, 3, 2, {C, B, A, F, E, D}},  // row 0 top, column 0 right
    {3, 3, 2, {F, E, D, C, B, A}},  // row 0 bottom, column 0 right
    {4, 3, 2, {D, E, F, A, B, C}},  // row 0 bottom, column 0 left
    {5, 2, 3, {A, D, B, E, C, F}},  // row 0 left, column 0 top
    {6, 2, 3, {D, A, E, B, F, C}},  // row 0 right, column 0 top
    {7, 2, 3, {F, C, E, B, D, A}},  // row 0 right, column 0 bottom
    {8, 2, 3, {C, F, B, E, A, D}},  // row 0 left, column 0 bottom
};

class EightOrientations : public Photos, public ::testing::WithParamInterface<Upright> {};

// The longer side stays 3 (fixed width 3), so no resampling blurs the check.
TEST_P(EightOrientations, PngComesOutUpright) {
    const Upright& want = GetParam();
    for (bool little : {true, false}) {
        const Bytes exif = photofiles::ExifWithOrientation(uint16_t(want.orientation), little);
        const Bytes in = photofiles::PngRgba(3, 2, {A, B, C, D, E, F}, false, {{"eXIf", exif}});
        const Bytes out = Resize("o.png", in, 3);
        uint32_t w = 0, h = 0;
        int type = 0;
        std::vector<uint32_t> px = PngPixels(out, w, h, type);
        for (uint32_t& p : px) p &= 0xFFFFFF;
        EXPECT_EQ(w, want.w);
        EXPECT_EQ(h, want.h);
        EXPECT_EQ(px, want.pixels) << "orientation " << want.orientation << (little ? " II" : " MM");
        // The output carries no orientation of its own.
        for (const auto& chunk : photofiles::PngChunks(out)) EXPECT_NE(chunk.first, "eXIf");
    }
}

INSTANTIATE_TEST_SUITE_P(All, EightOrientations, ::testing::ValuesIn(kUpright),
                         [](const auto& info) { return "tag" + std::to_string(info.param.orientation); });

// A strip of three pixels A B C, standing (1 x 3) or lying (3 x 1).
TEST_F(Photos, StripsOfOnePixelTurnEveryWay) {
    // Upright strip for each orientation, read along its length; standing
    // strips become lying ones for 5..8 and the other way round.
    const std::vector<uint32_t> standing[9] = {{}, {A, B, C}, {A, B, C}, {C, B, A}, {C, B, A},
                                               {A, B, C}, {C, B, A}, {C, B, A}, {A, B, C}};
    const std::vector<uint32_t> lying[9] = {{}, {A, B, C}, {C, B, A}, {C, B, A}, {A, B, C},
                                            {A, B, C}, {A, B, C}, {C, B, A}, {C, B, A}};
    for (int o = 1; o <= 8; ++o) {
        const bool swaps = o >= 5;
        for (bool isStanding : {true, false}) {
            const uint32_t w = isStanding ? 1 : 3, h = isStanding ? 3 : 1;
            const Bytes in = photofiles::PngRgba(w, h, {A, B, C}, false,
                                                 {{"eXIf", photofiles::ExifWithOrientation(uint16_t(o))}});
            const Bytes out = Resize("strip.png", in, 3);
            uint32_t ow = 0, oh = 0;
            int type = 0;
            std::vector<uint32_t> px = PngPixels(out, ow, oh, type);
            for (uint32_t& p : px) p &= 0xFFFFFF;
            EXPECT_EQ(ow, swaps ? h : w) << o;
            EXPECT_EQ(oh, swaps ? w : h) << o;
            EXPECT_EQ(px, isStanding ? standing[o] : lying[o]) << "orientation " << o << (isStanding ? " 1x3" : " 3x1");
        }
    }
}

// A phone portrait: stored 4000 x 3000, tagged "turn a quarter clockwise".
TEST_F(Photos, SizeRuleSeesTheUprightPortrait) {
    const auto quadrants = [](int x, int y) -> uint32_t {
        return y < 1500 ? (x < 2000 ? 0xE02020 : 0x20E020) : (x < 2000 ? 0x2020E0 : 0xE0E020);
    };
    const Bytes jpeg = Jpeg(4000, 3000, quadrants);
    const Bytes in = photofiles::JpegWithSegments(jpeg, {{0xE1, photofiles::ExifSegment(photofiles::ExifWithOrientation(6, false))}});
    const Rgb out = DecodeJpeg(Resize("phone.jpg", in));
    ASSERT_EQ(out.w, 480);
    ASSERT_EQ(out.h, 640);
    // Turned clockwise: the stored bottom-left quadrant is now top left.
    EXPECT_TRUE(Near(out.At(100, 100), 0x2020E0));
    EXPECT_TRUE(Near(out.At(380, 100), 0xE02020));
    EXPECT_TRUE(Near(out.At(100, 540), 0xE0E020));
    EXPECT_TRUE(Near(out.At(380, 540), 0x20E020));

    engine_.autoOrient = false;
    const Rgb stored = DecodeJpeg(Resize("phone.jpg", in));
    EXPECT_EQ(stored.w, 640);
    EXPECT_EQ(stored.h, 480);
    EXPECT_TRUE(Near(stored.At(100, 100), 0xE02020));
}

// Without a trustworthy tag the output is the one of the untagged file, byte
// for byte; so is every output with auto-orientation off.
TEST_F(Photos, UntaggedOrUntrustworthyFilesComeOutAsBefore) {
    const Bytes jpeg = Jpeg(64, 48, [](int x, int y) { return uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | 0x40; });
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 64 * 48; ++i) pixels.push_back(0xFF000000u | uint32_t(i * 2654435761u >> 8));
    const Bytes png = photofiles::PngRgba(64, 48, pixels, false);

    TiffBuilder t(true);
    t.ifd0 = {t.Long(0x0112, 6)};
    const Bytes wrongType = t.Build();
    Bytes pastEnd = photofiles::ExifWithOrientation(6);
    pastEnd[4] = 0xF0;  // IFD0 past the block
    const std::vector<Bytes> untrusted = {photofiles::ExifWithOrientation(1), photofiles::ExifWithOrientation(9),
                                          wrongType, pastEnd};

    const Bytes jpegPlain = Resize("a.jpg", jpeg, 20);
    const Bytes pngPlain = Resize("a.png", png, 20);
    ASSERT_FALSE(jpegPlain.empty());
    ASSERT_FALSE(pngPlain.empty());
    for (size_t i = 0; i < untrusted.size(); ++i) {
        const Bytes seg = photofiles::ExifSegment(untrusted[i]);
        EXPECT_EQ(Resize("a.jpg", photofiles::JpegWithSegments(jpeg, {{0xE1, seg}}), 20), jpegPlain) << i;
        EXPECT_EQ(Resize("a.png", photofiles::PngRgba(64, 48, pixels, false, {{"eXIf", untrusted[i]}}), 20),
                  pngPlain)
            << i;
    }
    // Two EXIF segments that might disagree: neither is believed.
    const Bytes six = photofiles::ExifSegment(photofiles::ExifWithOrientation(6));
    EXPECT_EQ(Resize("a.jpg", photofiles::JpegWithSegments(jpeg, {{0xE1, six}, {0xE1, six}}), 20), jpegPlain);
    // A tagged file with auto-orientation off.
    engine_.autoOrient = false;
    EXPECT_EQ(Resize("a.jpg", photofiles::JpegWithSegments(jpeg, {{0xE1, six}}), 20), jpegPlain);
    const Bytes pngSix = photofiles::PngRgba(64, 48, pixels, false, {{"eXIf", photofiles::ExifWithOrientation(6)}});
    EXPECT_EQ(Resize("a.png", pngSix, 20), pngPlain);
}

}  // namespace
