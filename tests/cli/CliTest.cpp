// velmora-cli as a user runs it: the real binary, real files, exit codes and
// every line it prints.
#include "CliRun.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testimages::ReadFile;
using testimages::WriteFile;

using clirun::Result;
using clirun::RunCli;
using clirun::u;

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("in")));
        ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("out")));
    }
    QString In(const QString& n) const { return dir_.path() + "/in/" + n; }
    QString Out(const QString& n) const { return dir_.path() + "/out/" + n; }
    QString OutDir() const { return dir_.path() + "/out"; }
    QTemporaryDir dir_;
};

TEST_F(Cli, HelpAndVersion) {
    Result h = RunCli({u("--help")});
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_TRUE(h.out.startsWith(u("Usage: velmora-cli -o DIR")));
    EXPECT_TRUE(h.err.isEmpty());
    Result v = RunCli({u("--version")});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, u("velmora-cli 1.0\n"));
}

class UsageErrors : public Cli, public ::testing::WithParamInterface<std::vector<const char*>> {};

TEST_P(UsageErrors, ExitTwoWithTheUsageLine) {
    QStringList args;
    for (const char* a : GetParam()) args << (QString::fromUtf8(a) == u("OUT") ? OutDir() : u(a));
    Result r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    ASSERT_FALSE(r.errLines.isEmpty());
    EXPECT_TRUE(r.errLines[0].startsWith(u("velmora-cli: ")));
    EXPECT_TRUE(r.err.contains(u("Usage: velmora-cli")));
    EXPECT_TRUE(QDir(OutDir()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Args, UsageErrors,
    ::testing::Values(std::vector<const char*>{},                                  // nothing
                      std::vector<const char*>{"a.bmp"},                           // no -o
                      std::vector<const char*>{"-o", "OUT"},                       // no files
                      std::vector<const char*>{"-o"},                              // -o without value
                      std::vector<const char*>{"-o", "OUT", "-s", "7", "a.bmp"},   // preset out of range
                      std::vector<const char*>{"-o", "OUT", "-s", "-1", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-s", "x", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-W", "0", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-W", "-5", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-W", "1.5", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-H", "abc", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-H", "99999999999", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-W", "10", "-H", "10", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-s", "1", "-W", "10", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "--overwrite", "maybe", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "--lang", "fr", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "--frobnicate", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-j", "0", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-j", "-1", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-j", "x", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-j", "2.5", "a.bmp"},
                      std::vector<const char*>{"-o", "OUT", "-dash.bmp"}));  // needs "--"

// The one line that says what is wrong, as typed by the user.
struct UsageLineCase {
    std::vector<const char*> args;
    const char* line;
};

class UsageLines : public Cli, public ::testing::WithParamInterface<UsageLineCase> {};

TEST_P(UsageLines, NameTheFirstProblem) {
    QStringList args;
    for (const char* a : GetParam().args) args << u(a);
    Result r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2);
    ASSERT_FALSE(r.errLines.isEmpty());
    EXPECT_EQ(r.errLines[0], u(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Args, UsageLines,
    ::testing::Values(UsageLineCase{{"-o", "d", "--frobnicate=3", "a.bmp"}, "velmora-cli: unknown option --frobnicate=3"},
                      UsageLineCase{{"-o", "d", "-dash.bmp"}, "velmora-cli: unknown option -dash.bmp"},
                      UsageLineCase{{"-o", "d", "a.bmp", "--lang"}, "velmora-cli: option --lang needs a value"},
                      UsageLineCase{{"-o", "d", "-s", "9", "-W", "x", "a.bmp"},
                                    "velmora-cli: -s takes a preset number from 0 to 6"},
                      UsageLineCase{{"-o", "d", "-W", "x", "-s", "9", "a.bmp"},
                                    "velmora-cli: -W takes a positive whole number of pixels"},
                      UsageLineCase{{"-o", "", "a.bmp"}, "velmora-cli: the output folder is empty"},
                      UsageLineCase{{"-o", "d", "-s", "1", "-s", "2", "a.bmp"},
                                    "velmora-cli: give at most one of -s, -W and -H"},
                      UsageLineCase{{"-o", "d", "--"}, "velmora-cli: no files to resize"},
                      UsageLineCase{{"--", "--help"}, "velmora-cli: the output folder (-o DIR) is required"}));

TEST_F(Cli, HelpWinsOverAnythingWrongBeforeTheDoubleDash) {
    for (const QStringList& args : {QStringList{u("--frobnicate"), u("--help")}, QStringList{u("-o"), u("-h")},
                                    QStringList{u("-s"), u("9"), u("--help"), u("--version")}}) {
        Result r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0) << args.join(u(" ")).toStdString();
        EXPECT_TRUE(r.out.startsWith(u("Usage: velmora-cli -o DIR"))) << args.join(u(" ")).toStdString();
    }
    Result v = RunCli({u("--lang"), u("fr"), u("--version"), u("--help")});
    EXPECT_EQ(v.out, u("velmora-cli 1.0\n"));
}

// The texts each language must show, typed from the message list.
struct LanguageCase {
    const char* lang;
    const char* filePrefix;
    const char* unknownSuffix;
    const char* errorPrefix;
    const char* questionPrefix;  // the overwrite question up to the file name
    const char* questionSuffix;
};

class MixedBatch : public Cli, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(MixedBatch, EveryMessageIsATranslatedText) {
    const LanguageCase c = GetParam();
    ASSERT_TRUE(WriteFile(In(u("ok.bmp")), testimages::Bmp24(40, 30)));
    ASSERT_TRUE(WriteFile(In(u("pic.png")), testimages::Png(40, 30)));
    ASSERT_TRUE(WriteFile(In(u("photo.jpg")), testimages::Jpeg(40, 30)));
    ASSERT_TRUE(WriteFile(In(u("anim.gif")), "GIF89a not really"));
    ASSERT_TRUE(WriteFile(In(u("exist.bmp")), testimages::Bmp24(40, 30)));
    ASSERT_TRUE(WriteFile(Out(u("exist.bmp")), "keep me"));
    const QStringList files = {In(u("ok.bmp")), In(u("anim.gif")), In(u("gone.jpg")), In(u("pic.png")),
                               In(u("exist.bmp")), In(u("photo.jpg"))};
    Result r = RunCli(QStringList{u("-o"), OutDir(), u("-W"), u("20"), u("--overwrite"), u("none"),
                                  u("--lang"), u(c.lang)} +
                      files);
    EXPECT_EQ(r.exitCode, 1);
    // The cause follows the translated line; a file kept under
    // --overwrite none has its own line.
    EXPECT_EQ(r.errLines, (QStringList{u(c.filePrefix) + In(u("anim.gif")) + u(c.unknownSuffix),
                                       u(c.errorPrefix) + In(u("gone.jpg")) + u(" (no such file or directory)"),
                                       u(c.questionPrefix) + u("exist.bmp") + u(c.questionSuffix) +
                                           u(" (kept: --overwrite none)")}));
    EXPECT_EQ(r.out, u("written 3, skipped 1, failed 2\n"));
    const auto bmp = testimages::BmpSize(ReadFile(Out(u("ok.bmp"))));
    const auto png = testimages::PngSize(ReadFile(Out(u("pic.png"))));
    const auto jpg = testimages::JpegSize(ReadFile(Out(u("photo.jpg"))));
    EXPECT_EQ((std::vector<int>{bmp.w, bmp.h, png.w, png.h, jpg.w, jpg.h}),
              (std::vector<int>{20, 15, 20, 15, 20, 15}));
    EXPECT_EQ(ReadFile(Out(u("exist.bmp"))), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo::exists(Out(u("anim.gif"))));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, MixedBatch,
    ::testing::Values(LanguageCase{"en", "File: ", " - Unknown format.", "Error resizing ", "Output image \"",
                                   "\" already exists."},
                      LanguageCase{"es", "Fichero: ", " - Formato desconocido.", "Error redimensionando ",
                                   "La imagen de salida \"", "\" ya existe."},
                      LanguageCase{"ca", "Fitxer: ", " - Format desconegut", "Error redimensionant ",
                                   "La imatge de sortida \xE2\x80\x9C", "\" ja existeix."},
                      LanguageCase{"key", "Fichero: ", " - Formato desconocido.", "Error redimensionando ",
                                   "La imagen de salida \"", "\" ya existe."}),
    [](const ::testing::TestParamInfo<LanguageCase>& i) { return std::string(i.param.lang); });

TEST_F(Cli, ManyJobsChangeNothingAUserSees) {
    // A mixed list with a missing file, an unknown kind, a damaged picture,
    // an existing output answered No, and a file that is the output of an
    // earlier one (it must be read after that one is written).
    ASSERT_TRUE(WriteFile(In(u("a.jpg")), testimages::Jpeg(90, 60, 10, 200, 30)));
    ASSERT_TRUE(WriteFile(In(u("b.png")), testimages::Png(60, 90)));
    ASSERT_TRUE(WriteFile(In(u("c.bmp")), testimages::Bmp24(50, 50)));
    ASSERT_TRUE(WriteFile(In(u("bad.jpg")), testimages::Jpeg(90, 60).left(100)));
    ASSERT_TRUE(WriteFile(In(u("kept.bmp")), testimages::Bmp24(30, 20)));
    const QStringList files = {In(u("a.jpg")), In(u("gone.png")), In(u("b.png")), In(u("x.gif")),
                               In(u("bad.jpg")), In(u("kept.bmp")), In(u("c.bmp")), In(u("a.jpg")),
                               Out(u("a.jpg"))};
    QByteArray outputs[2];
    Result runs[2];
    const char* jobs[2] = {"1", "64"};
    for (int k = 0; k < 2; ++k) {
        QDir(OutDir()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(OutDir()));
        ASSERT_TRUE(WriteFile(Out(u("kept.bmp")), "keep me"));
        runs[k] = RunCli(QStringList{u("-o"), OutDir(), u("-W"), u("33"), u("--overwrite"), u("ask"), u("-j"),
                                     u(jobs[k])} + files,
                         "no\nyes\nyes\n");
        for (const char* n : {"a.jpg", "b.png", "c.bmp", "kept.bmp"}) outputs[k] += ReadFile(Out(u(n))) + "|";
        EXPECT_FALSE(QFileInfo::exists(Out(u("bad.jpg"))));
    }
    EXPECT_EQ(runs[1].exitCode, runs[0].exitCode);
    EXPECT_EQ(runs[1].out, runs[0].out);
    EXPECT_EQ(runs[1].errLines, runs[0].errLines);
    EXPECT_EQ(runs[0].out, u("written 5, skipped 1, failed 3\n"));
    EXPECT_TRUE(outputs[1] == outputs[0]);
    EXPECT_TRUE(outputs[0].contains("keep me"));
}

TEST_F(Cli, EnglishIsTheDefaultLanguage) {
    Result r = RunCli({u("-o"), OutDir(), In(u("x.gif"))});
    EXPECT_EQ(r.errLines, QStringList{u("File: ") + In(u("x.gif")) + u(" - Unknown format.")});
    EXPECT_EQ(r.exitCode, 1);
}

struct SizeCase {
    std::vector<const char*> option;
    int w, h;
};

class SizeOptions : public Cli, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SizeOptions, SetTheTargetLikeTheWindow) {
    // A 40 x 30 landscape and a 30 x 40 portrait.
    ASSERT_TRUE(WriteFile(In(u("land.bmp")), testimages::Bmp24(40, 30)));
    ASSERT_TRUE(WriteFile(In(u("port.bmp")), testimages::Bmp24(30, 40)));
    QStringList args{u("-o"), OutDir()};
    for (const char* a : GetParam().option) args << u(a);
    Result r = RunCli(args + QStringList{In(u("land.bmp")), In(u("port.bmp"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto land = testimages::BmpSize(ReadFile(Out(u("land.bmp"))));
    const auto port = testimages::BmpSize(ReadFile(Out(u("port.bmp"))));
    EXPECT_EQ((std::vector<int>{land.w, land.h, port.w, port.h}),
              (std::vector<int>{GetParam().w, GetParam().h, GetParam().h, GetParam().w}));
}

// Hand-worked: the width value sets the longer side, the height value the
// shorter one; 40 x 30 keeps 4:3.
INSTANTIATE_TEST_SUITE_P(Options, SizeOptions,
                         ::testing::Values(SizeCase{{}, 640, 480}, SizeCase{{"-s", "1"}, 1280, 960},
                                           SizeCase{{"-s", "0"}, 640, 480}, SizeCase{{"-W", "20"}, 20, 15},
                                           SizeCase{{"-H", "10"}, 13, 10}, SizeCase{{"-H", "3"}, 4, 3}));

TEST_F(Cli, OverwriteAllReplacesAndNoneKeeps) {
    ASSERT_TRUE(WriteFile(In(u("a.bmp")), testimages::Bmp24(8, 6)));
    ASSERT_TRUE(WriteFile(In(u("b.bmp")), testimages::Bmp24(8, 6)));
    ASSERT_TRUE(WriteFile(Out(u("a.bmp")), "old a"));
    ASSERT_TRUE(WriteFile(Out(u("b.bmp")), "old b"));
    Result none = RunCli({u("-o"), OutDir(), u("-W"), u("4"), In(u("a.bmp")), In(u("b.bmp"))});  // stdin not a terminal
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.errLines, (QStringList{u("Output image \"a.bmp\" already exists. (kept: --overwrite none)"),
                                          u("Output image \"b.bmp\" already exists. (kept: --overwrite none)")}));
    EXPECT_EQ(none.out, u("written 0, skipped 2, failed 0\n"));
    EXPECT_EQ(ReadFile(Out(u("a.bmp"))), QByteArray("old a"));
    Result all = RunCli({u("-o"), OutDir(), u("-W"), u("4"), u("--overwrite=all"), In(u("a.bmp")), In(u("b.bmp"))});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_TRUE(all.errLines.isEmpty());
    EXPECT_EQ(testimages::BmpSize(ReadFile(Out(u("a.bmp")))).w, 4);
    EXPECT_EQ(testimages::BmpSize(ReadFile(Out(u("b.bmp")))).w, 4);
}

QStringList EnglishQuestion(const char* name) {
    return {u("Output image \"") + u(name) + u("\" already exists."), u("Do you want to overwrite it?"), u("Yes"),
            u("Yes to all"), u("No")};
}

TEST_F(Cli, AskReadsTheAnswersFromStdin) {
    for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) {
        ASSERT_TRUE(WriteFile(In(u(n)), testimages::Bmp24(8, 6)));
        ASSERT_TRUE(WriteFile(Out(u(n)), "old"));
    }
    const QStringList args{u("-o"), OutDir(), u("-W"), u("4"), u("--overwrite"), u("ask"),
                           In(u("a.bmp")), In(u("b.bmp")), In(u("c.bmp"))};
    // No, then a refused answer and Yes, then the end of input (No).
    Result r = RunCli(args, "No\nperhaps\nyes\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines, EnglishQuestion("a.bmp") + EnglishQuestion("b.bmp") + EnglishQuestion("b.bmp") +
                              EnglishQuestion("c.bmp"));
    EXPECT_EQ(ReadFile(Out(u("a.bmp"))), QByteArray("old"));
    EXPECT_EQ(testimages::BmpSize(ReadFile(Out(u("b.bmp")))).w, 4);
    EXPECT_EQ(ReadFile(Out(u("c.bmp"))), QByteArray("old"));
    EXPECT_EQ(r.out, u("written 1, skipped 2, failed 0\n"));
}

TEST_F(Cli, YesToAllInCatalanAsksOnce) {
    for (const char* n : {"a.bmp", "b.bmp"}) {
        ASSERT_TRUE(WriteFile(In(u(n)), testimages::Bmp24(8, 6)));
        ASSERT_TRUE(WriteFile(Out(u(n)), "old"));
    }
    Result r = RunCli({u("-o"), OutDir(), u("-W"), u("4"), u("--overwrite"), u("ask"), u("--lang"), u("ca"),
                       In(u("a.bmp")), In(u("b.bmp"))},
                      "Si a tot\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errLines, (QStringList{u("La imatge de sortida \xE2\x80\x9C" "a.bmp\" ja existeix."),
                                       u("Desitges sobreescriure-la?"), u("Si"), u("Si a tot"), u("No")}));
    EXPECT_EQ(r.out, u("written 2, skipped 0, failed 0\n"));
}

TEST_F(Cli, AwkwardFileNamesWork) {
    const std::vector<const char*> names = {"with space.bmp", "\xC3\xA9\xC3\xB1\xC3\xA7\xC5\x82.bmp", "-dash.bmp",
                                            "back\\slash.bmp", "--double.png"};
    QStringList args{u("-o"), OutDir(), u("-W"), u("4"), u("--")};
    for (const char* n : names) {
        const QString name = u(n);
        ASSERT_TRUE(WriteFile(In(name), name.endsWith(u(".png")) ? testimages::Png(8, 6) : testimages::Bmp24(8, 6)));
        args << In(name);
    }
    Result r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.errLines.isEmpty());
    for (const char* n : names) EXPECT_TRUE(QFileInfo::exists(Out(u(n)))) << n;
    EXPECT_EQ(QDir(OutDir()).entryList(QDir::Files).size(), qsizetype(names.size()));
}

TEST_F(Cli, RelativeNamesAfterTheDoubleDash) {
    ASSERT_TRUE(WriteFile(In(u("-x.bmp")), testimages::Bmp24(8, 6)));
    QProcess p;
    p.setWorkingDirectory(dir_.path() + "/in");
    p.setProgram(QStringLiteral(VELMORA_CLI));
    p.setArguments({u("-o"), OutDir(), u("--"), u("-x.bmp")});
    p.start();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(testimages::BmpSize(ReadFile(Out(u("-x.bmp")))).w, 640);
}

TEST_F(Cli, AMissingOutputFolderIsCreatedWithItsParents) {
    ASSERT_TRUE(WriteFile(In(u("a.bmp")), testimages::Bmp24(8, 6)));
    ASSERT_TRUE(WriteFile(In(u("b.png")), testimages::Png(8, 6)));
    Result r = RunCli({u("-o"), dir_.path() + "/nowhere/deep", In(u("a.bmp")), In(u("b.png"))});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.errLines.isEmpty());
    EXPECT_EQ(r.out, u("written 2, skipped 0, failed 0\n"));
    EXPECT_TRUE(QFileInfo::exists(dir_.path() + "/nowhere/deep/a.bmp"));
    EXPECT_TRUE(QFileInfo::exists(dir_.path() + "/nowhere/deep/b.png"));
}

TEST_F(Cli, AnOutputFolderThatCannotBeMadeStopsTheRun) {
    ASSERT_TRUE(WriteFile(In(u("a.bmp")), testimages::Bmp24(8, 6)));
    ASSERT_TRUE(WriteFile(dir_.path() + "/file", QByteArray("x")));
    Result r = RunCli({u("-o"), dir_.path() + "/file/deep", In(u("a.bmp"))});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.errLines, QStringList{u("velmora-cli: the output folder ") + dir_.path() +
                                      u("/file/deep cannot be used (not a directory)")});
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(Cli, AFileWhoseContentDoesNotMatchItsExtension) {
    // Read by its content, written in the format its name says.
    ASSERT_TRUE(WriteFile(In(u("fake.jpg")), testimages::Png(8, 6)));
    ASSERT_TRUE(WriteFile(In(u("good.bmp")), testimages::Bmp24(8, 6)));
    ASSERT_TRUE(WriteFile(In(u("damaged.jpg")), QByteArray("\x89PNX not a picture")));
    Result r =
        RunCli({u("-o"), OutDir(), u("--lang"), u("es"), In(u("fake.jpg")), In(u("good.bmp")), In(u("damaged.jpg"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines, QStringList{u("Error redimensionando ") + In(u("damaged.jpg")) +
                                      u(" (not a JPEG file: starts with 0x89 0x50)")});
    EXPECT_TRUE(ReadFile(Out(u("fake.jpg"))).startsWith("\xFF\xD8\xFF"));
    EXPECT_TRUE(QFileInfo::exists(Out(u("good.bmp"))));
}

}  // namespace
