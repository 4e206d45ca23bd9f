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
#include "tests/support/PngPatterns.h"
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

// Writes bytes as in/name and lists the file.
void AddFile(const QTemporaryDir& in, QStringList& paths, const std::string& name, const std::vector<uint8_t>& bytes) {
    const QString path = in.path() + "/" + QString::fromStdString(name);
    ASSERT_TRUE(WriteFile(path, bytes));
    paths << path;
}

// Every preset, a fixed width and a fixed height.
void ExpectSameAtEverySizeOption(const QStringList& paths) {
    for (int option = 0; option < presetCount; ++option)
        ExpectSameBothWays(paths, {option, presetWidths[option], presetHeights[option]});
    ExpectSameBothWays(paths, {sizeFixedWidth, 1000, 0});
    ExpectSameBothWays(paths, {sizeFixedHeight, 0, 999});
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
    auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes) { AddFile(in, paths, name, bytes); };
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
    ExpectSameAtEverySizeOption(paths);
}

// Sources that stream and sources that do not (grey, CMYK) side by side, a
// file that fails only after its first rows went to the encoder, and the
// files after it, which must come out as if it had never been there.
TEST(Streaming, JpegOutputsStreamedRowByRowGiveTheSameBytesAndFailures) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    QStringList paths;
    auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes) { AddFile(in, paths, name, bytes); };
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
    auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes) { AddFile(in, paths, name, bytes); };
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
    ExpectSameAtEverySizeOption(paths);
}

// PNG files of every colour type and depth, with palettes, transparency keys
// and alpha laid over white, gamma, metadata and image data split over many
// chunks, whole and damaged: the row-by-row route gives the same bytes and
// messages as the whole picture, at reductions, copies and enlargements.
TEST(Streaming, GeneratedPngsGiveTheSameBytesForEveryLayout) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    QStringList paths;
    auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes) { AddFile(in, paths, name, bytes); };
    using pngpatterns::BE32;
    using pngpatterns::Layout;
    using pngpatterns::Palette;
    using pngpatterns::Png;
    const std::vector<uint8_t> gamma = BE32(45455);
    const std::vector<uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
    // Every colour type at every depth it allows, at odd sizes.
    const std::pair<uint8_t, std::vector<uint8_t>> kinds[] = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (const auto& [colorType, depths] : kinds)
        for (uint8_t depth : depths) {
            Layout l;
            l.width = 37 + depth;
            l.height = 23;
            l.depth = depth;
            l.colorType = colorType;
            if (colorType == 3) l.before = {{"PLTE", Palette(depth == 8 ? 200 : 1u << depth)}};
            std::string name = "type";
            name += std::to_string(colorType);
            name += '-';
            name += std::to_string(depth);
            add(name + ".png", Png(l));
        }
    auto layout = [](uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType) {
        Layout l;
        l.width = w;
        l.height = h;
        l.depth = depth;
        l.colorType = colorType;
        return l;
    };
    add("one.png", Png(layout(1, 1, 8, 2)));
    add("column.png", Png(layout(1, 37, 8, 2)));
    add("row.png", Png(layout(37, 1, 8, 2)));
    add("landscape.png", Png(layout(333, 211, 8, 2)));
    add("portrait.png", Png(layout(211, 333, 16, 2)));
    Layout l = layout(150, 97, 8, 2);
    l.before = {{"gAMA", gamma}};
    l.after = {{"tEXt", text}};
    l.idatPiece = 100;
    add("gamma-split.png", Png(l));
    l = layout(90, 60, 8, 3);
    l.before = {{"gAMA", gamma}, {"PLTE", Palette(16)}, {"tRNS", {255, 255, 0, 255}}};
    add("palette-key.png", Png(l));
    l.before = {{"PLTE", Palette(16)}, {"tRNS", {255, 128, 0, 30, 255}}};
    add("palette-alpha.png", Png(l));
    l.before = {{"PLTE", Palette(16)}, {"tRNS", {255, 128}}};
    add("palette-alpha-two.png", Png(l));
    l = layout(64, 40, 8, 3);
    l.before = {{"PLTE", Palette(256)}, {"tRNS", {12, 200}}};
    add("palette-alpha-full.png", Png(l));
    l = layout(70, 50, 4, 0);
    l.before = {{"tRNS", {0, 5}}};
    add("grey-key.png", Png(l));
    l = layout(70, 50, 16, 0);
    l.before = {{"gAMA", gamma}, {"tRNS", {0x12, 0x34}}};
    add("grey16-key.png", Png(l));
    l = layout(70, 50, 8, 2);
    const unsigned kr = pngpatterns::PatternSample(3, 4, 0, 8), kg = pngpatterns::PatternSample(3, 4, 1, 8),
                   kb = pngpatterns::PatternSample(3, 4, 2, 8);
    l.before = {{"tRNS", {0, uint8_t(kr), 0, uint8_t(kg), 0, uint8_t(kb)}}};
    add("rgb-key.png", Png(l));
    l = layout(80, 44, 8, 6);
    l.before = {{"gAMA", gamma}};
    add("rgba-gamma.png", Png(l));
    l = layout(31, 17, 8, 2);
    l.before = {{"eXIf", photofiles::ExifWithOrientation(1)}};
    add("exif-upright.png", Png(l));
    l.before = {{"eXIf", photofiles::ExifWithOrientation(6)}};
    add("exif-turned.png", Png(l));
    l = layout(31, 17, 8, 2);
    l.after = {{"eXIf", photofiles::ExifWithOrientation(8)}};
    add("exif-after-data.png", Png(l));

    // Image data that ends early: a whole zlib stream with fewer rows (kept
    // as short data), and files cut inside and right after the image data.
    l = layout(120, 80, 8, 2);
    l.rowsStored = 50;
    add("short-rows.png", Png(l));
    l = layout(120, 80, 8, 3);
    l.before = {{"PLTE", Palette(7)}, {"tRNS", {100}}};
    l.rowsStored = 10;
    add("short-palette.png", Png(l));
    l = layout(120, 80, 8, 2);
    l.idatPiece = 700;
    const std::vector<uint8_t> full = Png(l);
    add("cut-inside.png", std::vector<uint8_t>(full.begin(), full.begin() + long(full.size() / 2)));
    add("cut-after-data.png", std::vector<uint8_t>(full.begin(), full.end() - 12));
    // Damage inside the image data, in the CRC of a chunk after it, and both.
    std::vector<uint8_t> spoiled = full;
    for (size_t i = spoiled.size() / 2; i < spoiled.size() / 2 + 30; ++i) spoiled[i] = uint8_t(i * 37);
    add("spoiled-data.png", spoiled);
    l.after = {{"tEXt", text}};
    std::vector<uint8_t> badAfter = Png(l);
    badAfter[badAfter.size() - 13] ^= 0xFF;  // last byte of the tEXt chunk's CRC
    add("bad-crc-after-data.png", badAfter);
    std::vector<uint8_t> both = badAfter;
    for (size_t i = both.size() / 2; i < both.size() / 2 + 30; ++i) both[i] = uint8_t(i * 41);
    add("spoiled-and-bad-crc.png", both);
    // Indices up to 199 over a palette of 7 entries, partly transparent: the
    // drawing refuses the picture. The image data of a 200-entry picture
    // behind the small palette.
    {
        l = layout(60, 40, 8, 3);
        l.before = {{"PLTE", Palette(200)}};
        pngref::Builder b;
        b.Ihdr(60, 40, 8, 3).Chunk("PLTE", Palette(7)).Chunk("tRNS", {100});
        for (const auto& c : pngref::Chunks(Png(l)))
            if (c.type == "IDAT") b.Chunk("IDAT", c.data);
        add("index-beyond-palette.png", b.Iend().bytes);
    }
    // Adam7 takes the whole-picture route.
    {
        pngref::Builder b;
        b.Ihdr(5, 5, 8, 0, 1).Chunk("IDAT", pngref::Deflate(std::vector<uint8_t>(35, 9))).Iend();
        add("adam7.png", b.bytes);
    }

    for (const Target& t : {Target{sizeFixedWidth, 7, 0}, Target{sizeFixedHeight, 0, 45}, Target{0, 640, 480},
                            Target{sizeFixedWidth, 1, 0}, Target{sizeFixedWidth, 150, 0}})
        ExpectSameBothWays(paths, t);
    ExpectSameBothWays(paths, {sizeFixedWidth, 50, 0}, true);
}

// Each kind of size option once: two presets, a fixed width and a fixed
// height (the size rule itself is tested on its own).
TEST(Streaming, EverySizeOptionGivesTheSameBytesForPngs) {
    QTemporaryDir in;
    ASSERT_TRUE(in.isValid());
    const QStringList paths = {in.path() + "/small.png", in.path() + "/tall.png", in.path() + "/photo.png"};
    pngpatterns::Layout l;
    l.width = 37;
    l.height = 23;
    ASSERT_TRUE(WriteFile(paths[0], pngpatterns::Png(l)));
    std::swap(l.width, l.height);
    ASSERT_TRUE(WriteFile(paths[1], pngpatterns::Png(l)));
    l.width = 1500;
    l.height = 1100;
    ASSERT_TRUE(WriteFile(paths[2], pngpatterns::Png(l)));
    ExpectSameBothWays(paths, {0, presetWidths[0], presetHeights[0]});
    ExpectSameBothWays(paths, {1, presetWidths[1], presetHeights[1]});
    ExpectSameBothWays(paths, {sizeFixedWidth, 1000, 0});
    ExpectSameBothWays(paths, {sizeFixedHeight, 0, 999});
}
