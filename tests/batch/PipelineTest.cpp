// The three format pipelines end to end, on files written by independent
// minimal writers and checked by reading the output headers and pixels back.
#include "batch/ResizeEngine.h"
#include "codecs/png/PngImage.h"
#include "platform/Exceptions.h"
#include "platform/Stream.h"

#include "tests/support/CpuBinding.h"
#include "tests/support/PipelineRun.h"
#include "tests/support/PixelDiff.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

using pipelinerun::CollectingPort;

QString u(const char* s) { return QString::fromUtf8(s); }

// A 32-bit bottom-up BMP whose pixels are given top row first as 0xAARRGGBB.
QByteArray Bmp32(int w, int h, const std::vector<uint32_t>& topDown) {
    bmptest::BmpLayout s;
    s.width = w;
    s.height = h;
    s.bitCount = 32;
    s.pixels = bmptest::PackRows(w, h, 32, [&](int x, int y) { return topDown[size_t(y) * size_t(w) + size_t(x)]; });
    return testimages::ToQByteArray(bmptest::BuildBmp(s));
}

// Pixel words of a 32-bit bottom-up BMP, top row first.
std::vector<uint32_t> Bmp32Pixels(const QByteArray& b, int w, int h) {
    std::vector<uint32_t> px;
    for (int y = 0; y < h; ++y) {
        const int row = h - 1 - y;
        for (int x = 0; x < w; ++x) {
            const int o = 54 + 4 * (row * w + x);
            px.push_back(uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 |
                         uint32_t(uint8_t(b[o + 2])) << 16 | uint32_t(uint8_t(b[o + 3])) << 24);
        }
    }
    return px;
}

class Pipelines : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_.isValid());
        ASSERT_TRUE(out_.isValid());
    }
    QString In(const char* name) const { return in_.path() + "/" + u(name); }
    QString Out(const char* name) const { return out_.path() + "/" + u(name); }

    // Runs the list through the engine with the given size controls.
    void RunFiles(const QStringList& paths, const char* width, const char* height, bool fixedHeight = false,
                  bool fixedWidth = false) {
        pipelinerun::ListFiles(engine_, paths, out_.path());
        engine_.Prepare();
        engine_.SetTargetFromControls(u(width), u(height), fixedHeight, fixedWidth);
        engine_.Run();
    }

    QTemporaryDir in_, out_;
    CollectingPort port_;
    TResizeEngine engine_{port_};
};

TEST_F(Pipelines, EveryFormatComesOutAtThePresetSizeInItsOwnFormat) {
    ASSERT_TRUE(testimages::WriteFile(In("photo.jpg"), testimages::Jpeg(4000, 3000)));
    ASSERT_TRUE(testimages::WriteFile(In("photo.png"), testimages::Png(4000, 3000)));
    ASSERT_TRUE(testimages::WriteFile(In("photo.bmp"), testimages::Bmp24(4000, 3000)));
    RunFiles({In("photo.jpg"), In("photo.png"), In("photo.bmp")}, "640", "480");
    EXPECT_TRUE(port_.errors.empty());
    const auto j = testimages::JpegSize(testimages::ReadFile(Out("photo.jpg")));
    const auto p = testimages::PngSize(testimages::ReadFile(Out("photo.png")));
    const QByteArray b = testimages::ReadFile(Out("photo.bmp"));
    EXPECT_EQ(j.w, 640);
    EXPECT_EQ(j.h, 480);
    EXPECT_EQ(p.w, 640);
    EXPECT_EQ(p.h, 480);
    EXPECT_EQ(testimages::BmpSize(b).w, 640);
    EXPECT_EQ(testimages::BmpSize(b).h, 480);
    EXPECT_EQ(b.size(), 54 + 640 * 480 * 4);
    EXPECT_EQ(engine_.Summary().written, 3);
}

TEST_F(Pipelines, ASmallPictureIsEnlargedToTheLargestPreset) {
    ASSERT_TRUE(testimages::WriteFile(In("small.bmp"), testimages::Bmp24(100, 75)));
    RunFiles({In("small.bmp")}, "4064", "2704");
    const auto size = testimages::BmpSize(testimages::ReadFile(Out("small.bmp")));
    EXPECT_EQ(size.w, 4064);
    EXPECT_EQ(size.h, 3048);
}

// 32-bit BMP is the lossless path: the output words are the resampler's.
TEST_F(Pipelines, BmpPathCarriesAlphaAndTheBilinearValues) {
    // Rows 0, 255 enlarged 2 -> 4 give 0, 63, 191, 255 in every channel
    // through the SSE blend, bound here even when the run forces the
    // portable variants.
    const cpubinding::TProcessorBinding processor;
    ASSERT_TRUE(testimages::WriteFile(In("ramp.bmp"),
                                      Bmp32(2, 2, {0x00000000u, 0xFFFFFFFFu, 0x00000000u, 0xFFFFFFFFu})));
    RunFiles({In("ramp.bmp")}, "4", "", false, true);
    ASSERT_TRUE(port_.errors.empty());
    const auto px = Bmp32Pixels(testimages::ReadFile(Out("ramp.bmp")), 4, 4);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::vector<uint32_t>(px.begin() + 4 * y, px.begin() + 4 * y + 4),
                  (std::vector<uint32_t>{0x00000000u, 0x3F3F3F3Fu, 0xBFBFBFBFu, 0xFFFFFFFFu}))
            << "row " << y;
}

TEST_F(Pipelines, EqualSizeCopiesEveryWordIncludingAlpha) {
    std::vector<uint32_t> words;
    for (uint32_t i = 0; i < 5 * 3; ++i) words.push_back(0x01020304u * (i + 1) ^ (i << 28));
    ASSERT_TRUE(testimages::WriteFile(In("same.bmp"), Bmp32(5, 3, words)));
    RunFiles({In("same.bmp")}, "5", "", false, true);
    EXPECT_EQ(testsupport::FirstDifference(Bmp32Pixels(testimages::ReadFile(Out("same.bmp")), 5, 3), words, 5), "");
}

TEST_F(Pipelines, PngTransparencyIsCompositedOverWhite) {
    // A 1 x 1 RGBA PNG of red at alpha 128, built by hand (written through
    // the codec it would test the codec with itself).
    const auto file = photofiles::PngRgba(1, 1, {0x80FF0000u});
    ASSERT_TRUE(testimages::WriteFile(In("half.png"), file));
    RunFiles({In("half.png")}, "1", "", false, true);
    ASSERT_TRUE(port_.errors.empty());
    TPngImage out;
    out.LoadFromFile(Out("half.png").toStdString());
    ASSERT_EQ(out.Width(), 1);
    std::vector<uint32_t> canvasPixels(1, 0u);
    TCanvas canvas{canvasPixels.data(), 1, 1};
    out.Draw(canvas, TRect(0, 0, 1, 1));
    // red over white at 128/255: green and blue = 255 * 127 / 255 rounded down by the blend
    const uint32_t c = canvasPixels[0] & 0x00FFFFFFu;
    EXPECT_EQ(c >> 16, 255u);
    EXPECT_NEAR(double((c >> 8) & 0xFF), 127.0, 1.0);
    EXPECT_EQ((c >> 8) & 0xFF, c & 0xFF);
}

TEST_F(Pipelines, AnEmptyTargetIsAnErrorAndWritesNothing) {
    ASSERT_TRUE(testimages::WriteFile(In("strip.bmp"), testimages::Bmp24(1000, 100)));
    ASSERT_TRUE(testimages::WriteFile(In("strip.png"), testimages::Png(1000, 100)));
    ASSERT_TRUE(testimages::WriteFile(In("strip.jpg"), testimages::Jpeg(1000, 100)));
    RunFiles({In("strip.bmp"), In("strip.png"), In("strip.jpg")}, "1", "", false, true);
    EXPECT_EQ(port_.errors.size(), 3u);
    EXPECT_TRUE(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(Pipelines, ATargetTooLargeForThirtyTwoBitsIsAnErrorOfThatFile) {
    // Fixed height 9999 on a 300000 x 1 strip: the width would be near 3e9.
    ASSERT_TRUE(testimages::WriteFile(In("line.bmp"), testimages::Bmp24(300000, 1)));
    RunFiles({In("line.bmp")}, "", "9999", true, false);
    ASSERT_EQ(port_.errors.size(), 1u);
    EXPECT_EQ(port_.errors[0], "Error redimensionando " + In("line.bmp").toStdString());
    EXPECT_EQ(engine_.Summary().failed, 1);
    EXPECT_TRUE(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(Pipelines, AFailingFileNeverDamagesTheExistingOutput) {
    // The source is its own output (output folder = source folder) and is not
    // a picture: the old file must survive byte for byte, with no leftovers.
    const QByteArray junk("BM this is not really a bitmap, just 54 bytes or more of text......");
    ASSERT_TRUE(testimages::WriteFile(Out("broken.bmp"), junk));
    ASSERT_TRUE(testimages::WriteFile(Out("fake.jpg"), testimages::Png(8, 8)));
    RunFiles({Out("broken.bmp"), Out("fake.jpg")}, "640", "480");
    EXPECT_EQ(port_.errors.size(), 1u);  // fake.jpg is read as the PNG it is
    EXPECT_EQ(testimages::ReadFile(Out("broken.bmp")), junk);
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(Pipelines, OneSetOfWorkingObjectsServesTheWholeRun) {
    ASSERT_TRUE(testimages::WriteFile(In("a.jpg"), testimages::Jpeg(64, 48)));
    ASSERT_TRUE(testimages::WriteFile(In("b.jpg"), testimages::Jpeg(48, 64)));
    pipelinerun::ListFiles(engine_, {In("a.jpg"), In("b.jpg")}, out_.path());
    engine_.Prepare();
    engine_.SetTargetFromControls(u("32"), u(""), false, true);
    const TJPEGImage* jpg = engine_.jpg.get();
    EXPECT_TRUE(engine_.resizeJpg(In("a.jpg")));
    EXPECT_TRUE(engine_.resizeJpg(In("b.jpg")));
    EXPECT_EQ(engine_.jpg.get(), jpg);
    const auto a = testimages::JpegSize(testimages::ReadFile(Out("a.jpg")));
    const auto b = testimages::JpegSize(testimages::ReadFile(Out("b.jpg")));
    EXPECT_EQ(a.w, 32);
    EXPECT_EQ(a.h, 24);
    EXPECT_EQ(b.w, 24);
    EXPECT_EQ(b.h, 32);
}

// A write that meets the interrupt flag is dropped: the old output stays, no
// error is shown, and the run stops with that file and the rest not reached.
TEST_F(Pipelines, AnInterruptedWriteKeepsTheOldOutputAndEndsTheRun) {
    ASSERT_TRUE(testimages::WriteFile(In("a.bmp"), testimages::Bmp24(8, 6)));
    ASSERT_TRUE(testimages::WriteFile(In("b.png"), testimages::Png(8, 6)));
    ASSERT_TRUE(testimages::WriteFile(Out("a.bmp"), "old a"));
    volatile std::sig_atomic_t flag = SIGTERM;
    velmora::SetWriteInterruptFlag(&flag);
    RunFiles({In("a.bmp"), In("b.png")}, "4", "");
    velmora::SetWriteInterruptFlag(nullptr);
    EXPECT_TRUE(port_.errors.empty());
    EXPECT_EQ(testimages::ReadFile(Out("a.bmp")), QByteArray("old a"));
    EXPECT_FALSE(QFileInfo::exists(Out("b.png")));
    const TRunSummary s = engine_.Summary();
    EXPECT_EQ((std::vector<int>{s.written, s.skipped, s.failed, s.notReached}), (std::vector<int>{0, 0, 0, 2}));
    EXPECT_TRUE(s.interrupted);
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
