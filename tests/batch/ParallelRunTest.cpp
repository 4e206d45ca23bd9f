// The run with helper threads against the run without: the same events in
// the same order, the same files, the same counts; work done ahead for a file
// answered No or after Cancel leaves nothing behind, and an output that fails
// while it is being written leaves neither a file nor a temporary.
#include "batch/ResizeEngine.h"

#include "platform/Stream.h"
#include "tests/support/PatternPictures.h"
#include "tests/support/PipelineRun.h"
#include "tests/support/PngPatterns.h"
#include "tests/support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace {

class RecordingPort : public TResizePort {
public:
    std::vector<std::string> events;
    std::deque<TOverwriteAnswer> answers;
    std::function<void(int)> onPump;
    int pumps = 0;

    void ShowProgress(const QString& line, const QString& fileName, int position, int maximum) override {
        events.push_back("progress " + line.toStdString() + " " + fileName.toStdString() + " " +
                         std::to_string(position) + "/" + std::to_string(maximum));
    }
    void ProcessMessages() override {
        events.push_back("pump");
        if (onPump) onPump(++pumps);
    }
    TOverwriteAnswer AskOverwrite(const QString& fileName) override {
        events.push_back("ask " + fileName.toStdString());
        if (answers.empty()) return TOverwriteAnswer::No;
        const TOverwriteAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowError(const QString& message) override { events.push_back("error " + message.toStdString()); }
};

struct Outcome {
    std::vector<std::string> events;
    std::vector<QByteArray> outputs;  // per listed name; empty when missing
    QStringList names;                // everything in the output folder, hidden names too
    int written = 0, skipped = 0, failed = 0;
};

class ParallelRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(in_.isValid());
        using patternpictures::Jpeg;
        for (int i = 0; i < 6; ++i) {
            const auto bytes = Jpeg(120 + 17 * i, 90 + 5 * i);
            Write(In(i), testimages::ToQByteArray(bytes));
            paths_ << In(i);
        }
        paths_.insert(2, in_.path() + "/broken.jpg");
        Write(paths_[2], testimages::Png(10, 10));  // a PNG under a JPEG name
        paths_.insert(4, in_.path() + "/notes.txt");
        Write(paths_[4], "text");
        paths_ << in_.path() + "/drawing.png";
        Write(paths_.back(), testimages::Png(70, 40));
        paths_ << in_.path() + "/flat.bmp";
        Write(paths_.back(), testimages::Bmp24(30, 70));
    }

    QString In(int i) const { return in_.path() + "/p" + QString::number(i) + ".jpg"; }

    static void Write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // One run with `jobs`; existing outputs (name -> content) are laid down first.
    Outcome Run(int jobs, const std::vector<std::pair<QString, QByteArray>>& existing,
                std::deque<TOverwriteAnswer> answers, int cancelAtPump = 0, bool streaming = true) {
        QTemporaryDir out;
        EXPECT_TRUE(out.isValid());
        for (const auto& [name, content] : existing) Write(out.path() + "/" + name, content);
        RecordingPort port;
        port.answers = std::move(answers);
        TResizeEngine engine(port);
        port.onPump = [&](int pump) {
            if (pump == cancelAtPump) engine.cancelOperation = true;
        };
        pipelinerun::ListFiles(engine, paths_, out.path());
        engine.SetTarget(sizeFixedWidth, 64, 0);
        engine.jobs = jobs;
        engine.streaming = streaming;
        engine.Prepare();
        engine.Run();
        Outcome o;
        o.events = port.events;
        for (const QString& p : paths_) {
            QFile f(out.path() + "/" + TResizeEngine::FileNamePart(p));
            o.outputs.push_back(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
        }
        o.names = QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        o.written = engine.Summary().written;
        o.skipped = engine.Summary().skipped;
        o.failed = engine.Summary().failed;
        return o;
    }

    static void ExpectSame(const Outcome& have, const Outcome& want) {
        EXPECT_EQ(have.events, want.events);
        EXPECT_EQ(have.outputs, want.outputs);
        EXPECT_EQ(have.names, want.names);
        EXPECT_EQ(have.written, want.written);
        EXPECT_EQ(have.skipped, want.skipped);
        EXPECT_EQ(have.failed, want.failed);
    }

    QTemporaryDir in_;
    QStringList paths_;
};

constexpr auto No = TOverwriteAnswer::No;
constexpr auto Yes = TOverwriteAnswer::Yes;
constexpr auto YesToAll = TOverwriteAnswer::YesToAll;

}  // namespace

TEST_F(ParallelRun, AMixedListLooksTheSameWithAnyNumberOfHelpers) {
    const Outcome one = Run(1, {}, {});
    EXPECT_EQ(one.written, 9);  // broken.jpg is read as the PNG it is
    EXPECT_EQ(one.failed, 1);
    for (int jobs : {2, 3, 64}) {
        SCOPED_TRACE(jobs);
        ExpectSame(Run(jobs, {}, {}), one);
    }
}

TEST_F(ParallelRun, FilesAnsweredNoKeepTheirOldContent) {
    const std::vector<std::pair<QString, QByteArray>> existing = {
        {"p1.jpg", "old 1"}, {"p3.jpg", "old 3"}, {"p4.jpg", "old 4"}, {"flat.bmp", "old bmp"}};
    const std::deque<TOverwriteAnswer> answers = {No, Yes, No, YesToAll};
    const Outcome one = Run(1, existing, answers);
    EXPECT_EQ(one.outputs[1], QByteArray("old 1"));
    EXPECT_EQ(one.outputs[6], QByteArray("old 4"));
    EXPECT_EQ(one.skipped, 2);
    ExpectSame(Run(3, existing, answers), one);
}

TEST_F(ParallelRun, CancelLeavesNoOutputForTheFilesAfterIt) {
    for (int pump : {1, 2, 5}) {
        SCOPED_TRACE(pump);
        const Outcome one = Run(1, {}, {}, pump);
        const Outcome three = Run(3, {}, {}, pump);
        ExpectSame(three, one);
        for (size_t i = size_t(pump) - 1; i < three.outputs.size(); ++i) EXPECT_TRUE(three.outputs[i].isEmpty()) << i;
    }
}

// PNG outputs go to their files as their rows come. Pictures whose image data
// turns out damaged after many rows have been written fail as when nothing
// was written before the end (the whole-picture route), the old file keeps
// its content and no temporary is left, with hidden temporary names so that
// one left behind would show.
TEST_F(ParallelRun, OutputsThatFailHalfwayLeaveNothingBehind) {
    pngpatterns::Layout l;
    l.width = 600;
    l.height = 400;
    l.idatPiece = 4000;
    const std::vector<uint8_t> full = pngpatterns::Png(l);
    std::vector<uint8_t> spoiled = full;
    for (size_t i = spoiled.size() * 2 / 3; i < spoiled.size() * 2 / 3 + 40; ++i) spoiled[i] = uint8_t(i * 37);
    std::vector<uint8_t> badCrc = full;
    badCrc[full.size() * 3 / 4] ^= 0x5A;  // inside a chunk late in the image data; its CRC now fails
    const std::pair<const char*, std::vector<uint8_t>> damaged[] = {{"spoiled.png", spoiled}, {"bad-crc.png", badCrc}};
    for (const auto& [name, bytes] : damaged) {
        paths_.insert(1, in_.path() + "/" + name);
        Write(paths_[1], testimages::ToQByteArray(bytes));
    }
    paths_.insert(3, in_.path() + "/whole.png");
    Write(paths_[3], testimages::ToQByteArray(full));

    velmora::UseNamedTemporariesOnly(true);
    const std::vector<std::pair<QString, QByteArray>> existing = {{"spoiled.png", "old spoiled"}};
    const Outcome whole = Run(1, existing, {YesToAll}, 0, false);
    EXPECT_EQ(whole.failed, 3);  // the two damaged pictures and notes.txt
    EXPECT_EQ(whole.outputs[2], QByteArray("old spoiled"));
    EXPECT_TRUE(whole.outputs[1].isEmpty());
    EXPECT_FALSE(whole.outputs[3].isEmpty());
    for (int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        ExpectSame(Run(jobs, existing, {YesToAll}), whole);
    }
    velmora::UseNamedTemporariesOnly(false);
}
