// The run over a list: progress, pump, overwrite question, dispatch, Cancel,
// with a scripted port and pipelines replaced by recorders.
#include "batch/ResizeEngine.h"
#include "i18n/uIdiomes.h"
#include "platform/Bitmap.h"
#include "raster/Bitmap32.h"

#include "tests/support/PipelineRun.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr auto No = TOverwriteAnswer::No;
constexpr auto Yes = TOverwriteAnswer::Yes;
constexpr auto YesToAll = TOverwriteAnswer::YesToAll;

QString u(const char* s) { return QString::fromUtf8(s); }
std::string s(const QString& q) { return q.toStdString(); }

class ScriptedPort : public TResizePort {
public:
    std::vector<std::string> events;
    std::deque<TOverwriteAnswer> answers;  // consumed by AskOverwrite
    std::function<void(int)> onPump;    // called with the 1-based pump number
    std::vector<int> positions;
    int pumps = 0;

    void ShowProgress(const QString& line, const QString& fileName, int position, int maximum) override {
        events.push_back("progress " + s(line) + " | " + s(fileName));
        positions.push_back(position);
        EXPECT_EQ(maximum, expectedMaximum);
    }
    void ProcessMessages() override {
        events.push_back("pump");
        ++pumps;
        if (onPump) onPump(pumps);
    }
    TOverwriteAnswer AskOverwrite(const QString& fileName) override {
        events.push_back("ask " + s(fileName));
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question for " << s(fileName);
            return TOverwriteAnswer::No;
        }
        const TOverwriteAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowError(const QString& message) override { events.push_back("error " + s(message)); }

    int expectedMaximum = -1;
};

// Records the dispatch; a "pipeline" writes a marker output file and succeeds.
class RecordingEngine : public TResizeEngine {
public:
    explicit RecordingEngine(ScriptedPort& port) : TResizeEngine(port), port_(port) {}
    bool resizeJpg(const QString& name) override { return record("jpg", name); }
    bool resizeBmp(const QString& name) override { return record("bmp", name); }
    bool resizePng(const QString& name) override { return record("png", name); }

    std::function<void(const QString&)> during;  // runs inside each pipeline
    bool succeed = true;

private:
    bool record(const char* kind, const QString& name) {
        port_.events.push_back(std::string(kind) + " " + s(name));
        if (during) during(name);
        if (succeed) testimages::WriteFile(OutputPath(name), "resized");
        return succeed;
    }
    ScriptedPort& port_;
};

class ResizeLoop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_.isValid());
        ASSERT_TRUE(out_.isValid());
        loadLanguages();
        setLanguage(langEnglish);
    }
    void TearDown() override {
        languageTables.clear();
        currentLanguage = 0;
    }
    QString In(const char* name) const { return in_.path() + "/" + u(name); }
    QString Out(const char* name) const { return out_.path() + "/" + u(name); }

    // Lists the paths (names as listed = file-name parts) and runs once.
    void Run(RecordingEngine& engine, const QStringList& paths, const QString& outDir = {}) {
        pipelinerun::ListFiles(engine, paths, outDir.isNull() ? out_.path() : outDir);
        port_.expectedMaximum = int(paths.size());
        engine.Prepare();
        engine.SetTargetFromControls(u("640"), u("480"), false, false);
        engine.Run();
    }

    QTemporaryDir in_, out_;
    ScriptedPort port_;
};

TEST_F(ResizeLoop, ShowsOneOfNToNOfNAndPumpsOncePerFile) {
    RecordingEngine engine(port_);
    Run(engine, {In("a.jpg"), In("b.png"), In("c.bmp")});
    const std::vector<std::string> want = {
        "progress Resizing image 1 of 3 | a.jpg", "pump", "jpg " + s(In("a.jpg")),
        "progress Resizing image 2 of 3 | b.png", "pump", "png " + s(In("b.png")),
        "progress Resizing image 3 of 3 | c.bmp", "pump", "bmp " + s(In("c.bmp")),
    };
    EXPECT_EQ(port_.events, want);
    EXPECT_EQ(port_.positions, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(engine.Summary().written, 3);
    EXPECT_EQ(engine.Summary().failed, 0);
    // The working objects are gone after the run.
    EXPECT_EQ(engine.img, nullptr);
    EXPECT_EQ(engine.src, nullptr);
    EXPECT_EQ(engine.bmp, nullptr);
    EXPECT_EQ(engine.jpg, nullptr);
    EXPECT_EQ(engine.png, nullptr);
}

TEST_F(ResizeLoop, ProgressLineFollowsTheLanguage) {
    setLanguage(langCatalan);
    RecordingEngine engine(port_);
    Run(engine, {In("a.jpg"), In("b.jpg")});
    EXPECT_EQ(port_.events[3], "progress Redimensionant l'imatge 2 de 2 | b.jpg");
    currentLanguage = 0;
    port_.events.clear();
    Run(engine, {In("c.jpg")});
    EXPECT_EQ(port_.events[0], "progress Redimensionando imagen 1 de 1 | c.jpg");
}

TEST_F(ResizeLoop, AnEmptyListDoesNothing) {
    RecordingEngine engine(port_);
    Run(engine, {});
    EXPECT_TRUE(port_.events.empty());
    EXPECT_EQ(engine.img, nullptr);
}

struct DispatchCase {
    const char* file;
    const char* pipeline;  // "jpg", "bmp", "png" or "" for the unknown-format message
};

class Dispatch : public ResizeLoop, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, ByExtensionInAnyLetterCase) {
    RecordingEngine engine(port_);
    const QString path = In(GetParam().file);
    Run(engine, {path});
    ASSERT_EQ(port_.events.size(), 3u);
    const std::string pipeline = GetParam().pipeline;
    if (pipeline.empty()) {
        EXPECT_EQ(port_.events[2], "error File: " + s(path) + " - Unknown format.");
        EXPECT_EQ(engine.Summary().failed, 1);
    } else {
        EXPECT_EQ(port_.events[2], pipeline + " " + s(path));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, Dispatch,
    ::testing::Values(DispatchCase{"photo.JPEG", "jpg"}, DispatchCase{"photo.jpeg", "jpg"},
                      DispatchCase{"photo.Jpg", "jpg"}, DispatchCase{"photo.jpg", "jpg"},
                      DispatchCase{"a.bmp", "bmp"}, DispatchCase{"A.BmP", "bmp"}, DispatchCase{"p.png", "png"},
                      DispatchCase{"P.PNG", "png"}, DispatchCase{"archive.tar.png", "png"},
                      DispatchCase{"photo.jfif", ""}, DispatchCase{"photo", ""}, DispatchCase{"a.gif", ""},
                      DispatchCase{"photo.jpg.txt", ""}, DispatchCase{"photo.jpe", ""},
                      DispatchCase{"trailingdot.", ""}, DispatchCase{"dir.jpg/photo", ""},
                      DispatchCase{"photo.jp\xC3\xA9", ""}, DispatchCase{"f\xC3\xA9\xC3\xB1\xC3\xA7\xC5\x82.JPG", "jpg"},
                      DispatchCase{"a\\b.png", "png"}, DispatchCase{".png", "png"}));

TEST(ResizeEngineNames, OutputPathAndExtension) {
    EXPECT_EQ(TResizeEngine::FileNamePart(u("/x/y/a b.jpg")), u("a b.jpg"));
    EXPECT_EQ(TResizeEngine::FileNamePart(u("/x/y\\z.jpg")), u("y\\z.jpg"));
    EXPECT_EQ(TResizeEngine::FileNamePart(u("plain.jpg")), u("plain.jpg"));
    EXPECT_EQ(TResizeEngine::ExtensionOf(u("/d.x/name")), QString());
    EXPECT_EQ(TResizeEngine::ExtensionOf(u("/d/na.me.jPeG")), u(".JPEG"));
    EXPECT_EQ(TResizeEngine::ExtensionOf(u("/d/n.\xC3\xA9z")), u(".\xC3\xA9Z"));  // only a-z change
    pipelinerun::CollectingPort port(TOverwriteAnswer::No);
    TResizeEngine engine(port);
    engine.outDir = u("/out put");
    EXPECT_EQ(engine.OutputPath(u("/in/-x\\y \xC5\x82.png")), u("/out put/-x\\y \xC5\x82.png"));
}

struct ControlsCase {
    const char* width;
    const char* height;
    bool fixedHeight, fixedWidth;
    int32_t dw, dh;
};

class Controls : public ::testing::TestWithParam<ControlsCase> {};

TEST_P(Controls, SetDwAndDh) {
    ScriptedPort port;
    TResizeEngine engine(port);
    engine.dw = engine.dh = 77;
    const auto c = GetParam();
    engine.SetTargetFromControls(u(c.width), u(c.height), c.fixedHeight, c.fixedWidth);
    EXPECT_EQ(engine.dw, c.dw);
    EXPECT_EQ(engine.dh, c.dh);
}

INSTANTIATE_TEST_SUITE_P(
    Options, Controls,
    ::testing::Values(ControlsCase{"640", "480", false, false, 640, 480},
                      ControlsCase{"4064", "2704", false, false, 4064, 2704},
                      ControlsCase{"800", "480", false, true, 800, 0},
                      ControlsCase{"640", "600", true, false, 0, 600},
                      ControlsCase{"", "600", true, false, 0, 600},
                      ControlsCase{"abc", "12x", false, false, 0, 0},
                      ControlsCase{"99999999999", "5", false, false, 0, 5},
                      ControlsCase{"800", "600", true, true, 0, 0}));

struct TargetCase {
    int32_t option, width, height;
    int32_t dw, dh;
};

class TypedTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TypedTarget, FixedOptionsClearTheOtherValue) {
    ScriptedPort port;
    TResizeEngine engine(port);
    const auto c = GetParam();
    engine.SetTarget(c.option, c.width, c.height);
    EXPECT_EQ(engine.dw, c.dw);
    EXPECT_EQ(engine.dh, c.dh);
}

INSTANTIATE_TEST_SUITE_P(Options, TypedTarget,
                         ::testing::Values(TargetCase{0, 640, 480, 640, 480}, TargetCase{6, 4064, 2704, 4064, 2704},
                                           TargetCase{7, 800, 480, 800, 0}, TargetCase{8, 640, 600, 0, 600}));

TEST_F(ResizeLoop, OverwriteAnswersYesNoAndOtherValues) {
    for (const char* n : {"a.jpg", "b.jpg", "c.jpg"}) testimages::WriteFile(Out(n), "old");
    RecordingEngine engine(port_);
    port_.answers = {Yes, No, static_cast<TOverwriteAnswer>(7)};  // an unknown value counts as Yes
    Run(engine, {In("a.jpg"), In("b.jpg"), In("c.jpg")});
    const std::vector<std::string> want = {
        "progress Resizing image 1 of 3 | a.jpg", "pump", "ask a.jpg", "jpg " + s(In("a.jpg")),
        "progress Resizing image 2 of 3 | b.jpg", "pump", "ask b.jpg",
        "progress Resizing image 3 of 3 | c.jpg", "pump", "ask c.jpg", "jpg " + s(In("c.jpg")),
    };
    EXPECT_EQ(port_.events, want);
    EXPECT_EQ(testimages::ReadFile(Out("b.jpg")), QByteArray("old"));
    EXPECT_EQ(engine.Summary().written, 2);
    EXPECT_EQ(engine.Summary().skipped, 1);
}

TEST_F(ResizeLoop, YesToAllHoldsForTheCurrentRunOnly) {
    for (const char* n : {"a.png", "b.png", "c.png"}) testimages::WriteFile(Out(n), "old");
    RecordingEngine engine(port_);
    port_.answers = {Yes, YesToAll};
    Run(engine, {In("a.png"), In("b.png"), In("c.png")});
    EXPECT_EQ(std::count_if(port_.events.begin(), port_.events.end(),
                            [](const std::string& e) { return e.rfind("ask", 0) == 0; }),
              2);
    EXPECT_EQ(engine.Summary().written, 3);
    // The next run asks again.
    port_.events.clear();
    port_.answers = {No, No, No};
    Run(engine, {In("a.png"), In("b.png"), In("c.png")});
    EXPECT_EQ(std::count_if(port_.events.begin(), port_.events.end(),
                            [](const std::string& e) { return e.rfind("ask", 0) == 0; }),
              3);
    EXPECT_EQ(engine.Summary().skipped, 3);
    EXPECT_EQ(engine.Summary().written, 0);
}

TEST_F(ResizeLoop, UnknownFormatMessageComesAfterTheQuestion) {
    testimages::WriteFile(Out("a.gif"), "old");
    RecordingEngine engine(port_);
    port_.answers = {Yes};
    Run(engine, {In("a.gif")});
    EXPECT_EQ(port_.events,
              (std::vector<std::string>{"progress Resizing image 1 of 1 | a.gif", "pump", "ask a.gif",
                                        "error File: " + s(In("a.gif")) + " - Unknown format."}));
    port_.events.clear();
    port_.answers = {No};
    Run(engine, {In("a.gif")});
    EXPECT_EQ(port_.events,
              (std::vector<std::string>{"progress Resizing image 1 of 1 | a.gif", "pump", "ask a.gif"}));
}

TEST_F(ResizeLoop, TheSamePathTwiceIsAskedTheSecondTime) {
    RecordingEngine engine(port_);
    port_.answers = {Yes};
    Run(engine, {In("a.bmp"), In("a.bmp")});
    EXPECT_EQ(port_.events,
              (std::vector<std::string>{"progress Resizing image 1 of 2 | a.bmp", "pump", "bmp " + s(In("a.bmp")),
                                        "progress Resizing image 2 of 2 | a.bmp", "pump", "ask a.bmp",
                                        "bmp " + s(In("a.bmp"))}));
}

TEST_F(ResizeLoop, OutputFolderEqualToTheSourceFolderAsksForEachFile) {
    for (const char* n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) testimages::WriteFile(In(n), "source");
    RecordingEngine engine(port_);
    port_.answers = {Yes, No, YesToAll};
    Run(engine, {In("a.jpg"), In("b.jpg"), In("c.jpg"), In("d.jpg")}, in_.path());
    std::vector<std::string> asked;
    for (const auto& e : port_.events)
        if (e.rfind("ask", 0) == 0) asked.push_back(e);
    EXPECT_EQ(asked, (std::vector<std::string>{"ask a.jpg", "ask b.jpg", "ask c.jpg"}));
    EXPECT_EQ(testimages::ReadFile(In("a.jpg")), QByteArray("resized"));
    EXPECT_EQ(testimages::ReadFile(In("b.jpg")), QByteArray("source"));
    EXPECT_EQ(testimages::ReadFile(In("d.jpg")), QByteArray("resized"));
}

TEST_F(ResizeLoop, CancelBeforeTheFirstFileTouchesNothing) {
    testimages::WriteFile(Out("a.jpg"), "old");
    RecordingEngine engine(port_);
    pipelinerun::ListFiles(engine, {In("a.jpg"), In("b.jpg")}, out_.path());
    engine.Prepare();
    engine.cancelOperation = true;  // pressed before the run starts
    engine.Run();
    EXPECT_TRUE(port_.events.empty());
    EXPECT_EQ(engine.img, nullptr);
    EXPECT_EQ(testimages::ReadFile(Out("a.jpg")), QByteArray("old"));
}

TEST_F(ResizeLoop, CancelSeenAtThePumpStopsBeforeThatFile) {
    testimages::WriteFile(Out("b.jpg"), "old");
    RecordingEngine engine(port_);
    port_.onPump = [&](int pump) {
        if (pump == 2) engine.cancelOperation = true;
    };
    Run(engine, {In("a.jpg"), In("b.jpg"), In("c.jpg")});
    // File 2 is on display but neither asked about nor processed.
    EXPECT_EQ(port_.events,
              (std::vector<std::string>{"progress Resizing image 1 of 3 | a.jpg", "pump", "jpg " + s(In("a.jpg")),
                                        "progress Resizing image 2 of 3 | b.jpg", "pump"}));
    EXPECT_EQ(testimages::ReadFile(Out("b.jpg")), QByteArray("old"));
    EXPECT_EQ(engine.img, nullptr);
    EXPECT_EQ(engine.Summary().written, 1);
}

TEST_F(ResizeLoop, CancelDuringAFileStopsBeforeTheNextDisplay) {
    RecordingEngine engine(port_);
    engine.during = [&](const QString& name) {
        if (name.endsWith(u("b.png"))) engine.cancelOperation = true;
    };
    Run(engine, {In("a.png"), In("b.png"), In("c.png")});
    ASSERT_EQ(port_.events.size(), 6u);
    EXPECT_EQ(port_.events.back(), "png " + s(In("b.png")));
    EXPECT_EQ(engine.Summary().written, 2);
}

TEST_F(ResizeLoop, FailuresAreCountedAndTheRunGoesOn) {
    RecordingEngine engine(port_);
    engine.succeed = false;
    Run(engine, {In("a.jpg"), In("b.gif"), In("c.png")});
    EXPECT_EQ(engine.Summary().failed, 3);
    EXPECT_EQ(port_.positions, (std::vector<int>{1, 2, 3}));
}

// The real pipelines: a missing source and a missing output folder give one
// message per file and the run continues.
class RealPipelines : public ResizeLoop {};

TEST_F(RealPipelines, MissingSourceAndMissingOutputFolder) {
    ASSERT_TRUE(testimages::WriteFile(In("ok.bmp"), testimages::Bmp24(8, 6)));
    TResizeEngine engine(port_);
    pipelinerun::ListFiles(engine, {In("gone.bmp"), In("ok.bmp")}, out_.path());
    port_.expectedMaximum = 2;
    engine.Prepare();
    engine.SetTargetFromControls(u("4"), u("3"), false, true);
    engine.Run();
    EXPECT_EQ(port_.events,
              (std::vector<std::string>{"progress Resizing image 1 of 2 | gone.bmp", "pump",
                                        "error Error resizing " + s(In("gone.bmp")),
                                        "progress Resizing image 2 of 2 | ok.bmp", "pump"}));
    const auto size = testimages::BmpSize(testimages::ReadFile(Out("ok.bmp")));
    EXPECT_EQ(size.w, 4);
    EXPECT_EQ(size.h, 3);
    EXPECT_EQ(engine.Summary().written, 1);
    EXPECT_EQ(engine.Summary().failed, 1);

    port_.events.clear();
    engine.outDir = out_.path() + "/missing";
    engine.Prepare();
    engine.SetTargetFromControls(u("4"), u("3"), false, true);
    engine.Run();
    std::vector<std::string> errors;
    for (const auto& e : port_.events)
        if (e.rfind("error", 0) == 0) errors.push_back(e);
    EXPECT_EQ(errors, (std::vector<std::string>{"error Error resizing " + s(In("gone.bmp")),
                                                "error Error resizing " + s(In("ok.bmp"))}));
    EXPECT_FALSE(QDir(out_.path() + "/missing").exists());
}

}  // namespace
