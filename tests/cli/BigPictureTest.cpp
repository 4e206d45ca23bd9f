// A picture far larger than memory would hold comfortably as a whole: a
// 20000 x 20000 JPEG (1.6 GB as 32-bit pixels) must resize in bounded memory,
// since it goes from the decoder through the resampler row by row.
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
