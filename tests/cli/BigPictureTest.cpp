// A picture far larger than memory would hold comfortably as a whole: a
// 20000 x 20000 JPEG (1.6 GB as 32-bit pixels) must resize in bounded memory,
// since it goes from the decoder through the resampler row by row. A small
// JPEG enlarged to 12 megapixels goes into the encoder row by row as well.
// Each test runs in a process of its own (the peak is over all children).
#include "tests/support/PatternPictures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/resource.h>

TEST(BigPicture, A20000By20000JpegResizesUnder64MB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "memory bounds are not measured under the address sanitizer";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString in = dir.path() + "/huge.jpg";
    {
        // One grey at the lowest quality: a few megabytes to write and read.
        const auto bytes = patternpictures::Jpeg(20000, 20000, nullptr, {1, false, false});
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    QProcess p;
    p.start(QStringLiteral(VELMORA_CLI), {QStringLiteral("-o"), dir.path() + "/out", QStringLiteral("-j"),
                                          QStringLiteral("1"), in});
    ASSERT_TRUE(p.waitForFinished(600000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput(), QByteArray("written 1, skipped 0, failed 0\n"));
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak kilobytes of velmora-cli";
    std::printf("velmora-cli peak: %ld kB\n", long(usage.ru_maxrss));
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
    const QString in = dir.path() + "/small.jpg";
    {
        const auto bytes = patternpictures::Jpeg(100, 75);
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    QProcess p;
    p.start(QStringLiteral(VELMORA_CLI), {QStringLiteral("-o"), dir.path() + "/out", QStringLiteral("-s"),
                                          QStringLiteral("6"), QStringLiteral("-j"), QStringLiteral("1"), in});
    ASSERT_TRUE(p.waitForFinished(600000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    // The 12-megapixel output alone is 48 MB as 32-bit pixels.
    EXPECT_LT(usage.ru_maxrss, 40 * 1024) << "peak kilobytes of velmora-cli";
    std::printf("velmora-cli peak: %ld kB\n", long(usage.ru_maxrss));
    QFile out(dir.path() + "/out/small.jpg");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QByteArray bytes = out.readAll();
    // The frame header holds 3048 rows of 4064 pixels.
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    EXPECT_EQ(bytes.mid(sof + 5, 4), QByteArray("\x0B\xE8\x0F\xE0", 4));
}
