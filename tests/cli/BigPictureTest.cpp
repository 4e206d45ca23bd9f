// A picture far larger than memory would hold comfortably as a whole: a
// 20000 x 20000 JPEG (1.6 GB as 32-bit pixels) must resize in bounded memory,
// since it goes from the decoder through the resampler row by row. A small
// JPEG enlarged to 12 megapixels goes into the encoder row by row as well.
// Each test runs in a process of its own (the peak is over all children).
#include "CliRun.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/resource.h>

namespace {

// Writes the JPEG into dir, resizes it with velmora-cli (one job, the extra
// arguments first) into dir/out, and returns the run.
clirun::Result ResizeJpeg(const QTemporaryDir& dir, const QString& name, const std::vector<uint8_t>& jpeg,
                          QStringList args) {
    const QString in = dir.path() + "/" + name;
    EXPECT_TRUE(testimages::WriteFile(in, jpeg));
    EXPECT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    args << QStringLiteral("-o") << dir.path() + "/out" << QStringLiteral("-j") << QStringLiteral("1") << in;
    return clirun::RunCli(args, {}, true, 600000);
}

// The peak resident kilobytes over the children that have ended, printed.
long PeakKilobytesOfChildren() {
    rusage usage{};
    EXPECT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    std::printf("velmora-cli peak: %ld kB\n", long(usage.ru_maxrss));
    return long(usage.ru_maxrss);
}

}  // namespace

TEST(BigPicture, A20000By20000JpegResizesUnder64MB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "memory bounds are not measured under the address sanitizer";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // One grey at the lowest quality: a few megabytes to write and read.
    const clirun::Result run = ResizeJpeg(dir, QStringLiteral("huge.jpg"),
                                          patternpictures::Jpeg(20000, 20000, nullptr, {1, false, false}), {});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("written 1, skipped 0, failed 0\n"));
    EXPECT_LT(PeakKilobytesOfChildren(), 64 * 1024) << "peak kilobytes of velmora-cli";
    QFile out(dir.path() + "/out/huge.jpg");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(out.readAll().startsWith("\xFF\xD8"));
}

TEST(BigPicture, A100By75JpegEnlargedTo4064By3048StaysUnder40MB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "memory bounds are not measured under the address sanitizer";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const clirun::Result run = ResizeJpeg(dir, QStringLiteral("small.jpg"), patternpictures::Jpeg(100, 75),
                                          {QStringLiteral("-s"), QStringLiteral("6")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The 12-megapixel output alone is 48 MB as 32-bit pixels.
    EXPECT_LT(PeakKilobytesOfChildren(), 40 * 1024) << "peak kilobytes of velmora-cli";
    QFile out(dir.path() + "/out/small.jpg");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QByteArray bytes = out.readAll();
    // The frame header holds 3048 rows of 4064 pixels.
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    EXPECT_EQ(bytes.mid(sof + 5, 4), QByteArray("\x0B\xE8\x0F\xE0", 4));
}
