// velmora-cli over generated trees and lists: folders, --no-enlarge, names,
// existing outputs, file lists, the JSON report and the dry run.
#include "CliRun.h"
#include "tests/support/PhotoFiles.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {

using clirun::Result;
using clirun::RunCli;
using clirun::u;
using testimages::ReadFile;
using testimages::WriteFile;

class Workflow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString P(const QString& rel) const { return dir_.path() + QLatin1Char('/') + rel; }
    // Writes a picture (by extension) of w x h, making its folders.
    void Picture(const QString& rel, int w = 80, int h = 60) {
        QDir().mkpath(QFileInfo(P(rel)).path());
        const QString ext = QFileInfo(rel).suffix().toLower();
        const QByteArray bytes = ext == u("png")   ? testimages::Png(w, h)
                                 : ext == u("bmp") ? testimages::Bmp24(w, h)
                                                   : testimages::Jpeg(w, h);
        ASSERT_TRUE(WriteFile(P(rel), bytes));
    }
    // The files below a folder, relative, sorted.
    QStringList Tree(const QString& rel) const {
        QStringList found;
        const QDir root(P(rel));
        std::function<void(const QString&)> walk = [&](const QString& sub) {
            const QDir d(root.filePath(sub));
            for (const QFileInfo& fi :
                 d.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
                const QString name = sub.isEmpty() ? fi.fileName() : sub + u("/") + fi.fileName();
                if (fi.isDir() && !fi.isSymLink())
                    walk(name);
                else
                    found << name;
            }
        };
        walk(QString());
        found.sort();
        return found;
    }
    // The report's file lines (objects with a source) and its last line.
    static std::vector<QJsonObject> Lines(const QString& jsonl, QJsonObject* counts = nullptr) {
        std::vector<QJsonObject> lines;
        for (const QString& l : jsonl.split(u("\n"), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(l.toUtf8()).object();
            if (o.contains(u("counts"))) {
                if (counts) *counts = o[u("counts")].toObject();
            } else {
                lines.push_back(o);
            }
        }
        return lines;
    }
    QTemporaryDir dir_;
};

// ---------------------------------------------------------------- folders

struct FolderCase {
    const char* name;
    std::vector<const char*> args;  // before the folder "photos"
    QStringList want;               // the output tree
    QStringList order;              // the sources in report order, below photos/
};

class Folders : public Workflow, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(Folders, WriteTheTreeInByteOrder) {
    for (const char* f : {"B.png", "a.jpg", "a/x.bmp", "a/b/y.png", "Z/z.jpg", ".hidden/h.jpg", ".h.png", "notes.txt"})
        Picture(u("photos/") + u(f), 20, 10);
    ASSERT_EQ(::symlink("..", P(u("photos/a/loop")).toUtf8().constData()), 0);
    // The output folder inside the tree is left out of the walk.
    Picture(u("photos/out/old.jpg"), 20, 10);
    QStringList args;
    for (const char* a : GetParam().args) args << u(a);
    const Result r = RunCli(
        args + QStringList{u("-W"), u("10"), u("-o"), P(u("photos/out")), u("--report"), u("-"), P(u("photos"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList order;
    for (const QJsonObject& o : Lines(r.out)) order << o[u("source")].toString().mid(P(u("photos/")).size());
    EXPECT_EQ(order, GetParam().order);
    QStringList want = GetParam().want;
    want << u("old.jpg");
    want.sort();
    EXPECT_EQ(Tree(u("photos/out")), want);
}

INSTANTIATE_TEST_SUITE_P(Walk, Folders,
                         ::testing::Values(FolderCase{"flat", {}, {u("B.png"), u("a.jpg")}, {u("B.png"), u("a.jpg")}},
                                           FolderCase{
                                               "recursive",
                                               {"-r"},
                                               {u("B.png"), u("Z/z.jpg"), u("a.jpg"), u("a/b/y.png"), u("a/x.bmp")},
                                               {u("B.png"), u("a.jpg"), u("Z/z.jpg"), u("a/x.bmp"), u("a/b/y.png")}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Workflow, FoldersWithoutRecursionSayHowManySubfoldersAreLeftOut) {
    Picture(u("photos/a.jpg"));
    Picture(u("photos/s1/b.jpg"));
    Picture(u("photos/s2/c.jpg"));
    const Result r = RunCli({u("-o"), P(u("out")), P(u("photos"))});
    EXPECT_EQ(r.errLines, QStringList{P(u("photos")) + u(": 2 subfolders left out (-r includes them)")});
    EXPECT_EQ(r.out, u("written 1, skipped 0, failed 0\n"));
}

// ---------------------------------------------------------------- --no-enlarge

struct EnlargeCase {
    const char* name;
    std::vector<std::pair<int, photofiles::Bytes>> segments;  // added to a 40x30 JPEG
    std::vector<const char*> args;
    const char* status;
    int width, height;
    bool plainBytes;  // the output is the JPEG without the added segments
};

class NoEnlarge : public Workflow, public ::testing::WithParamInterface<EnlargeCase> {};

TEST_P(NoEnlarge, CopiesOnlyWhatANormalRunWouldWriteAlike) {
    const QByteArray plain = testimages::Jpeg(40, 30);
    const photofiles::Bytes source = photofiles::JpegWithSegments({plain.begin(), plain.end()}, GetParam().segments);
    ASSERT_TRUE(WriteFile(P(u("a.jpg")), source));
    QStringList args{u("-W"), u("200"), u("--no-enlarge"), u("-o"), P(u("out")), u("--report"), u("-")};
    for (const char* a : GetParam().args) args << u(a);
    const Result r = RunCli(args << P(u("a.jpg")));
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.err.toStdString();
    EXPECT_EQ(lines[0][u("status")].toString(), u(GetParam().status));
    const QByteArray out = ReadFile(P(u("out/a.jpg")));
    const auto size = testimages::JpegSize(out);
    EXPECT_EQ(size.w, GetParam().width);
    EXPECT_EQ(size.h, GetParam().height);
    if (GetParam().plainBytes) {
        EXPECT_EQ(out, plain);
    } else if (u(GetParam().status) == u("copied")) {
        EXPECT_EQ(out, testimages::ToQByteArray(source));
    }
}

using Segments = std::vector<std::pair<int, photofiles::Bytes>>;
const Segments kUpright{{0xE1, photofiles::ExifSegment(photofiles::ExifWithOrientation(1))}, {0xFE, {'h', 'i'}}};
const Segments kTurned{{0xE1, photofiles::ExifSegment(photofiles::ExifWithOrientation(6))}};
const Segments kProfile{{0xE2, photofiles::IccSegment(1, 1, photofiles::IccProfile(256))}};

INSTANTIATE_TEST_SUITE_P(Jpeg, NoEnlarge,
                         ::testing::Values(EnlargeCase{"MetadataLeftOut", kUpright, {}, "copied", 40, 30, true},
                                           EnlargeCase{
                                               "KeptWhole", kUpright, {"--keep-metadata"}, "copied", 40, 30, false},
                                           EnlargeCase{"TurnedIsWritten", kTurned, {}, "written", 30, 40, false},
                                           EnlargeCase{"ProfileIsWritten", kProfile, {}, "written", 40, 30, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Workflow, NoEnlargeCopiesSmallPngAndBmpAndResizesBigOnes) {
    const photofiles::Bytes text{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'};
    const std::vector<uint32_t> pixels(12, 0xFF336699);
    Picture(u("in/s.bmp"), 30, 20);
    ASSERT_TRUE(WriteFile(P(u("in/t.png")), photofiles::PngRgba(4, 3, pixels, false, {{"tEXt", text}})));
    Picture(u("in/big.png"), 400, 300);
    Picture(u("in/alpha.png"), 1, 1);
    ASSERT_TRUE(WriteFile(P(u("in/alpha.png")), photofiles::PngRgba(2, 1, {0x80FF0000, 0xFF00FF00})));
    const Result r =
        RunCli({u("-W"), u("200"), u("--no-enlarge"), u("-o"), P(u("out")), u("--report"), u("-"), P(u("in"))});
    QStringList statuses;
    for (const QJsonObject& o : Lines(r.out)) statuses << o[u("status")].toString();
    EXPECT_EQ(statuses, (QStringList{u("written"), u("written"), u("copied"), u("copied")}));  // byte order
    EXPECT_EQ(ReadFile(P(u("out/s.bmp"))), ReadFile(P(u("in/s.bmp"))));
    EXPECT_EQ(ReadFile(P(u("out/t.png"))), testimages::ToQByteArray(photofiles::PngRgba(4, 3, pixels, false)));
    EXPECT_EQ(testimages::PngSize(ReadFile(P(u("out/big.png")))).w, 200);
    EXPECT_EQ(testimages::PngSize(ReadFile(P(u("out/alpha.png")))).w, 2);
    EXPECT_EQ(r.errLines.last(), u("written 4, skipped 0, failed 0"));
}

// ---------------------------------------------------------------- names and existing outputs

struct NameCase {
    const char* pattern;
    const char* overwrite;
    QStringList want;  // the output folder afterwards (it holds "a.bmp" before)
    const char* summary;
};

class Names : public Workflow, public ::testing::WithParamInterface<NameCase> {};

TEST_P(Names, NameOutputsAndNeverReplaceUnderRename) {
    Picture(u("in/a.bmp"));
    Picture(u("in/b.bmp"));
    Picture(u("in2/a.bmp"));
    ASSERT_TRUE(QDir().mkpath(P(u("out"))));
    ASSERT_TRUE(WriteFile(P(u("out/a.bmp")), QByteArray("old")));
    QStringList args{u("-W"), u("40"), u("-o"), P(u("out")), u("--overwrite"), u(GetParam().overwrite)};
    if (*GetParam().pattern) args << u("--name") << u(GetParam().pattern);
    const Result r = RunCli(args << P(u("in/a.bmp")) << P(u("in/b.bmp")) << P(u("in2/a.bmp")));
    EXPECT_EQ(Tree(u("out")), GetParam().want) << r.err.toStdString();
    EXPECT_EQ(r.out, u(GetParam().summary));
    if (u(GetParam().overwrite) != u("all")) {
        EXPECT_EQ(ReadFile(P(u("out/a.bmp"))), QByteArray("old"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Names,
    ::testing::Values(NameCase{"",
                               "rename",
                               {u("a (1).bmp"), u("a (2).bmp"), u("a.bmp"), u("b.bmp")},
                               "written 3, skipped 0, failed 0\n"},
                      NameCase{"{name}-{w}x{h}.{ext}",
                               "none",
                               {u("a-40x30.bmp"), u("a.bmp"), u("b-40x30.bmp")},
                               "written 2, skipped 1, failed 0\n"},
                      // Two sources on one name only because of the pattern: the later fails
                      // (in2/a.bmp meets in/a.bmp as it would without the pattern).
                      NameCase{"same.{ext}", "all", {u("a.bmp"), u("same.bmp")}, "written 2, skipped 0, failed 1\n"},
                      NameCase{"same.{ext}",
                               "rename",
                               {u("a.bmp"), u("same (1).bmp"), u("same (2).bmp"), u("same.bmp")},
                               "written 3, skipped 0, failed 0\n"}));

TEST_F(Workflow, PatternsThatNameNoFileAreUsageErrors) {
    Picture(u("a.bmp"));
    for (const char* pattern : {"", ".", "..", "{name}/x.{ext}"}) {
        const Result r = RunCli({u("-o"), P(u("out")), u("--name"), u(pattern), P(u("a.bmp"))});
        EXPECT_EQ(r.exitCode, 2) << pattern;
    }
    EXPECT_FALSE(QFileInfo::exists(P(u("out"))));
}

// ---------------------------------------------------------------- file lists

TEST_F(Workflow, ListsReadNamesAsBytesAndKeepTheTreeBelowTheBase) {
    Picture(u("base/2024/a.bmp"));
    Picture(u("base/b\nc.bmp"));
    Picture(u("elsewhere/d.bmp"));
    const QByteArray lines = (P(u("base/2024/a.bmp")) + u("\n\n") + P(u("missing.bmp")) + u("\n")).toUtf8();
    ASSERT_TRUE(WriteFile(P(u("list")), lines));
    const QByteArray nul = (P(u("base/b\nc.bmp")) + QChar(0) + P(u("elsewhere/d.bmp")) + QChar(0)).toUtf8();
    const Result a = RunCli({u("-o"), P(u("out")), u("--base"), P(u("base")), u("--files-from"), P(u("list"))});
    EXPECT_EQ(a.out, u("written 1, skipped 0, failed 1\n"));
    const Result b = RunCli({u("-o"), P(u("out")), u("--base"), P(u("base")), u("-0"), u("--files-from"), u("-")}, nul);
    EXPECT_EQ(b.out, u("written 1, skipped 0, failed 1\n"));
    EXPECT_EQ(b.errLines, QStringList{u("Error resizing ") + P(u("elsewhere/d.bmp")) +
                                      u(" (not below the --base folder ") + P(u("base")) + u(")")});
    EXPECT_EQ(Tree(u("out")), (QStringList{u("2024/a.bmp"), u("b\nc.bmp")}));
    const Result c = RunCli({u("-o"), P(u("out")), u("--overwrite"), u("ask"), u("--files-from"), u("-")}, lines);
    EXPECT_EQ(c.exitCode, 2);
}

// ---------------------------------------------------------------- report and dry run

TEST_F(Workflow, ReportsNamesThatAreNotUtf8WithTheirExactBytes) {
    const QByteArray bad("bad\xff.bmp");
    ASSERT_TRUE(QDir().mkpath(P(u("in"))));
    const QByteArray path = P(u("in/")).toUtf8() + bad;
    {
        const QByteArray bmp = testimages::Bmp24(8, 6);
        FILE* f = std::fopen(path.constData(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bmp.constData(), 1, size_t(bmp.size()), f);
        std::fclose(f);
    }
    const Result r = RunCli({u("-W"), u("4"), u("-o"), P(u("out")), u("--report"), P(u("report.jsonl")), P(u("in"))});
    EXPECT_EQ(r.out, u("written 1, skipped 0, failed 0\n"));
    QJsonObject counts;
    const auto lines = Lines(QString::fromUtf8(ReadFile(P(u("report.jsonl")))), &counts);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][u("source")].toString(), P(u("in/bad")) + QChar(0xFFFD) + u(".bmp"));
    EXPECT_EQ(QByteArray::fromBase64(lines[0][u("source_b64")].toString().toLatin1()), path);
    EXPECT_EQ(lines[0][u("width")].toInt(), 4);
    EXPECT_EQ(lines[0][u("bytes")].toInt(), 54 + 4 * 3 * 4);  // 24-bit rows of 4 pixels pad to 12 bytes
    EXPECT_EQ(counts[u("written")].toInt(), 1);
    const Result denied = RunCli({u("-o"), P(u("out")), u("--report"), P(u("no/such/report")), P(u("in"))});
    EXPECT_EQ(denied.exitCode, 2);
}

TEST_F(Workflow, DryRunsWriteNothingAndSayWhatWouldHappen) {
    Picture(u("in/a.bmp"), 80, 60);
    Picture(u("in/b.jpg"), 20, 10);
    ASSERT_TRUE(WriteFile(P(u("in/c.png")), QByteArray("not a picture")));
    const Result r = RunCli({u("-W"), u("40"), u("--no-enlarge"), u("--dry-run"), u("-o"), P(u("out")), P(u("in"))});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = r.out.split(u("\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], P(u("in/a.bmp")) + u(" -> ") + P(u("out/a.bmp")) + u(" 40x30 written"));
    EXPECT_EQ(lines[1], P(u("in/b.jpg")) + u(" -> ") + P(u("out/b.jpg")) + u(" 20x10 copied"));
    EXPECT_TRUE(lines[2].startsWith(P(u("in/c.png")) + u(" -> ") + P(u("out/c.png")) + u(" failed (")));
    EXPECT_EQ(lines[3], u("dry run: written 1, copied 1, would ask 0, skipped 0, failed 1"));
    EXPECT_FALSE(QFileInfo::exists(P(u("out"))));
}

}  // namespace
