// The row-by-row route against the whole-picture route: every file of the
// conformance suites, the sample pictures and generated pictures (odd sizes,
// one-pixel sides, portrait and landscape, reductions and enlargements, every
// size option, damaged and truncated files) must give the same output bytes
// and the same messages both ways.
#include "batch/ResizeEngine.h"

#include "tests/support/BmpPatterns.h"
#include "tests/support/PatternPictures.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/PipelineRun.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Messages with their causes and the short-data notes, so that both ways
// must fail for the same reason.
class CollectingPort : public pipelinerun::CollectingPort {
public:
    void ShowShortData(const QString& name) override { errors.push_back("short data: " + name.toStdString()); }
    void ShowFileError(const QString& message, const QString& cause) override {
        errors.push_back(message.toStdString() + " / " + cause.toStdString());
    }
};

using testimages::ReadFile;
using testimages::WriteFile;

struct Target {
    int option, width, height;
};

// Runs the files through the engine one way, into outDir; the messages shown.
std::vector<std::string> RunOneWay(const QStringList& paths, const Target& t, bool streaming, const QString& outDir,
                                   bool keepMetadata = false) {
    CollectingPort port;
    TResizeEngine engine(port);
    pipelinerun::ListFiles(engine, paths, outDir);
    engine.SetTarget(t.option, t.width, t.height);
    engine.streaming = streaming;
    engine.keepMetadata = keepMetadata;
    engine.Prepare();
    engine.Run();
    return port.errors;
}

// Both ways; every output must exist or be missing alike and match byte for byte.
void ExpectSameBothWays(const QStringList& paths, const Target& t, bool keepMetadata = false) {
    SCOPED_TRACE(testing::Message() << "size option " << t.option << " " << t.width << " x " << t.height
                                    << (keepMetadata ? " keeping metadata" : ""));
    QTemporaryDir whole, rows;
    ASSERT_TRUE(whole.isValid() && rows.isValid());
    const auto wholeErrors = RunOneWay(paths, t, false, whole.path(), keepMetadata);
    const auto rowErrors = RunOneWay(paths, t, true, rows.path(), keepMetadata);
    EXPECT_EQ(rowErrors, wholeErrors);
    int compared = 0;
    for (const QString& p : paths) {
        const QString name = TResizeEngine::FileNamePart(p);
        const bool had = QFile::exists(whole.path() + "/" + name);
        EXPECT_EQ(QFile::exists(rows.path() + "/" + name), had) << name.toStdString();
        if (!had) continue;
        ++compared;
        EXPECT_TRUE(ReadFile(rows.path() + "/" + name) == ReadFile(whole.path() + "/" + name)) << name.toStdString();
    }
    EXPECT_GT(compared, 0);
}

QStringList FilesUnder(const QString& dir, const QStringList& patterns) {
    QStringList out;
    QDirIterator it(dir, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) out << it.next();
    out.sort();
    return out;
}

const QString kData = QStringLiteral(VELMORA_TEST_DATA);

}  // namespace

TEST(Streaming, ConformanceSuitesAndSamplesGiveTheSameBytes) {
    QStringList paths = FilesUnder(kData + "/pngsuite", {"*.png"});
    paths << FilesUnder(kData + "/bmpsuite", {"*.bmp"});
    paths << FilesUnder(kData + "/../../samples", {"*.jpg", "*.png", "*.bmp"});
    ASSERT_GT(paths.size(), 100);
    // Output names must not collide: the suites' names are unique per kind.
    ExpectSameBothWays(paths, {sizeFixedWidth, 13, 0});     // reduction
    ExpectSameBothWays(paths, {0, 640, 480});               // enlargement of the small ones
}

TEST(Streaming, GeneratedJpegsGiveTheSameBytesForEveryShape) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    QStringList paths;
    auto add = [&](const char* name, const std::vector<uint8_t>& bytes) {
        const QString path = in.path() + "/" + QString::fromUtf8(name);
        ASSERT_TRUE(WriteFile(path, bytes));
        paths << path;
    };
    using patternpictures::Jpeg;
    add("one.jpg", Jpeg(1, 1));
    add("column.jpg", Jpeg(1, 37));
    add("row.jpg", Jpeg(37, 1));
    add("two.jpg", Jpeg(2, 2));
    add("landscape.jpg", Jpeg(333, 211));
    add("portrait.jpg", Jpeg(211, 333));
    add("odd.jpg", Jpeg(641, 479));
    add("exact.jpg", Jpeg(640, 480));
    add("square.jpg", Jpeg(97, 97));
    add("wide.jpg", Jpeg(1500, 9));
    add("progressive.jpg", Jpeg(300, 200, patternpictures::Pattern, {85, true, false}));
    add("grey.jpg", Jpeg(120, 90, patternpictures::Pattern, {85, false, true}));
    // Damaged files: cut in the middle of the picture data, cut right after
    // the headers, and scan bytes overwritten.
    const std::vector<uint8_t> full = Jpeg(400, 300);
    add("cut-half.jpg", std::vector<uint8_t>(full.begin(), full.begin() + long(full.size() / 2)));
    add("cut-head.jpg", std::vector<uint8_t>(full.begin(), full.begin() + 700));
    std::vector<uint8_t> spoiled = full;
    for (size_t i = spoiled.size() / 3; i < spoiled.size() / 3 + 40; ++i) spoiled[i] = uint8_t(i * 37);
    add("spoiled.jpg", spoiled);
    add("fixed-width.jpg", Jpeg(78, 39));

    ExpectSameBothWays(paths, {sizeFixedWidth, 7, 0});
    ExpectSameBothWays(paths, {sizeFixedHeight, 0, 45});
    ExpectSameBothWays(paths, {0, 640, 480});
    ExpectSameBothWays(paths, {sizeFixedWidth, 1, 0});
}

TEST(Streaming, EverySizeOptionGivesTheSameBytes) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    const QStringList paths = {in.path() + "/small.jpg", in.path() + "/tall.jpg", in.path() + "/photo.jpg"};
    ASSERT_TRUE(WriteFile(paths[0], patternpictures::Jpeg(37, 23)));
    ASSERT_TRUE(WriteFile(paths[1], patternpictures::Jpeg(23, 37)));
    ASSERT_TRUE(WriteFile(paths[2], patternpictures::Jpeg(2100, 1500)));
    for (int option = 0; option < presetCount; ++option)
        ExpectSameBothWays(paths, {option, presetWidths[option], presetHeights[option]});
    ExpectSameBothWays(paths, {sizeFixedWidth, 1000, 0});
    ExpectSameBothWays(paths, {sizeFixedHeight, 0, 999});
}

// Sources that stream and sources that do not (grey, CMYK) side by side, a
// file that fails only after its first rows went to the encoder, and the
// files after it, which must come out as if it had never been there.
TEST(Streaming, JpegOutputsStreamedRowByRowGiveTheSameBytesAndFailures) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    QStringList paths;
    auto add = [&](const char* name, const std::vector<uint8_t>& bytes) {
        const QString path = in.path() + "/" + QString::fromUtf8(name);
        ASSERT_TRUE(WriteFile(path, bytes));
        paths << path;
    };
    using namespace patternpictures;
    add("a-colour.jpg", Jpeg(301, 199));
    add("b-cmyk.jpg", CmykJpeg(150, 97));
    add("c-fails.jpg", JpegFailingHalfway(400, 300));
    add("d-after.jpg", Jpeg(199, 301));
    add("e-grey.jpg", Jpeg(121, 77, Pattern, {85, false, true}));
    add("f-progressive.jpg", Jpeg(257, 129, Pattern, {90, true, false}));
    add("g-tiny.jpg", Jpeg(3, 2));
    add("h-cmyk-wide.jpg", CmykJpeg(640, 1));
    // Kept metadata goes into the streamed output too.
    namespace pf = photofiles;
    add("i-exif-icc.jpg", pf::JpegWithSegments(Jpeg(160, 120), {{0xE1, pf::ExifSegment(pf::ExifWithOrientation(1))},
                                                                {0xE2, pf::IccSegment(1, 1, pf::IccProfile(400))}}));

    for (const Target& t : {Target{sizeFixedWidth, 61, 0}, Target{sizeFixedHeight, 0, 1}, Target{0, 640, 480},
                            Target{2, 1600, 1200}, Target{sizeFixedWidth, 301, 0}})
        ExpectSameBothWays(paths, t);
    ExpectSameBothWays(paths, {1, 1280, 960}, true);

    // The failing file is refused with the decoder's cause, and an older
    // output of the same name stays as it was.
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    ASSERT_TRUE(WriteFile(out.path() + "/c-fails.jpg", std::vector<uint8_t>{1, 2, 3}));
    const auto errors = RunOneWay(paths, {0, 640, 480}, true, out.path());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(paths[2].toStdString() + " / "), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("JPEG"), std::string::npos) << errors[0];
    EXPECT_EQ(ReadFile(out.path() + "/c-fails.jpg"), QByteArray("\x01\x02\x03", 3));
    EXPECT_TRUE(QFile::exists(out.path() + "/d-after.jpg"));
}

// BMP files of every kind read row by row (bottom-up ones from the end of the
// file backwards), whole and damaged, at reductions, copies and enlargements:
// the same bytes, messages and short-data notes as the whole-picture route.
TEST(Streaming, GeneratedBmpsGiveTheSameBytesForEveryShape) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    QStringList paths;
    auto add = [&](const char* name, const std::vector<uint8_t>& bytes) {
        const QString path = in.path() + "/" + QString::fromUtf8(name);
        ASSERT_TRUE(WriteFile(path, bytes));
        paths << path;
    };
    using namespace bmptest;
    for (int size : {1, 37})
        for (const NamedBmp& f : EveryKind(size, 38 - size)) add((f.name + ".bmp").c_str(), f.file);
    for (const NamedBmp& f : EveryKind(333, 211)) add((f.name + ".bmp").c_str(), f.file);
    add("odd.bmp", Packed(Shape(641, 479, 24)));
    add("exact.bmp", Packed(Shape(640, -480, 24)));
    add("wide.bmp", Packed(Shape(1500, 9, 24)));
    // Damaged files: pixel arrays cut short (a bottom-up file loses its top
    // rows, a top-down one its bottom rows, a 32-bit file fails), and files
    // cut inside their headers.
    const std::vector<uint8_t> bottomUp = Packed(Shape(301, 203, 24));
    const std::vector<uint8_t> topDown = Packed(Shape(203, -301, 24));
    const std::vector<uint8_t> alpha = Packed(Shape(120, 80, 32));
    add("cut-bottom-up.bmp", std::vector<uint8_t>(bottomUp.begin(), bottomUp.begin() + long(bottomUp.size() / 3)));
    add("cut-top-down.bmp", std::vector<uint8_t>(topDown.begin(), topDown.begin() + long(topDown.size() / 2 + 5)));
    add("cut-alpha.bmp", std::vector<uint8_t>(alpha.begin(), alpha.end() - 1));
    add("cut-header.bmp", std::vector<uint8_t>(bottomUp.begin(), bottomUp.begin() + 40));
    add("empty.bmp", {});

    ExpectSameBothWays(paths, {sizeFixedWidth, 7, 0});
    ExpectSameBothWays(paths, {sizeFixedHeight, 0, 45});
    ExpectSameBothWays(paths, {sizeFixedWidth, 1, 0});
    ExpectSameBothWays(paths, {sizeFixedWidth, 333, 0});  // the 333 x 211 files are copied
    ExpectSameBothWays(paths, {0, 640, 480});

    // What is said about the damaged files, the same both ways: cut pixel
    // arrays are noted (or refused, for the 32-bit one), cut headers refused.
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const auto said = RunOneWay(paths.mid(paths.size() - 5), {sizeFixedWidth, 50, 0}, true, out.path());
    ASSERT_EQ(said.size(), 5u) << testing::PrintToString(said);
    EXPECT_EQ(said[0], "short data: " + paths[paths.size() - 5].toStdString());
    EXPECT_EQ(said[1], "short data: " + paths[paths.size() - 4].toStdString());
    for (int i = 2; i < 5; ++i) EXPECT_EQ(said[size_t(i)].rfind("Error redimensionando ", 0), 0u) << said[size_t(i)];
}

TEST(Streaming, EverySizeOptionGivesTheSameBytesForBmps) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    const QStringList paths = {in.path() + "/small.bmp", in.path() + "/tall.bmp", in.path() + "/photo.bmp"};
    ASSERT_TRUE(WriteFile(paths[0], bmptest::Packed(bmptest::Shape(37, 23, 24))));
    ASSERT_TRUE(WriteFile(paths[1], bmptest::Packed(bmptest::Shape(23, -37, 32))));
    ASSERT_TRUE(WriteFile(paths[2], bmptest::Packed(bmptest::Shape(2100, 1500, 24))));
    for (int option = 0; option < presetCount; ++option)
        ExpectSameBothWays(paths, {option, presetWidths[option], presetHeights[option]});
    ExpectSameBothWays(paths, {sizeFixedWidth, 1000, 0});
    ExpectSameBothWays(paths, {sizeFixedHeight, 0, 999});
}
