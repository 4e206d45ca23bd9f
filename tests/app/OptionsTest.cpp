// The "More options" window, its settings group, the name pattern, folders
// added to the list and the program started with files.
#include "AppTestSupport.h"

#include "app/FolderWalk.h"
#include "app/fMoreOptions.h"
#include "batch/FilePath.h"
#include "batch/ResizeEngine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>

#include "tests/support/PipelineRun.h"
#include "tests/support/TestImages.h"

#include <unistd.h>

using apptest::whileModal;

namespace {

class OptionsTest : public apptest::WindowsTest {
protected:
    // Opens More options through its button and lets `edit` work on it.
    void editOptions(const std::function<void(TfrmMoreOptions&)>& edit) {
        whileModal(
            [&](QWidget* w) {
                if (auto* options = dynamic_cast<TfrmMoreOptions*>(w)) edit(*options);
            },
            [&] { main().btnMasOpciones->click(); });
    }
};

TEST_F(OptionsTest, EveryOptionSurvivesARestartAndCancelKeepsThem) {
    start();
    EXPECT_EQ(main().Options, defaultOptions());
    editOptions([](TfrmMoreOptions& o) {
        o.cbFormat->setCurrentIndex(4);  // WebP
        o.spQuality->setValue(55);
        o.chkLossless->setChecked(true);
        o.chkNoEnlarge->setChecked(true);
        o.chkSubfolders->setChecked(true);
        o.cbExisting->setCurrentIndex(3);
        o.txtPattern->setText("{name}-{w}x{h}.{ext}");
        o.chkMetadata->setChecked(true);
        o.chkUpright->setChecked(false);
        o.chkTransparency->setChecked(true);
        o.spJobs->setValue(1);
        o.chkErrorsAtEnd->setChecked(true);
        EXPECT_EQ(o.lblExample->text(), "Example: IMG_0412-640x480.webp");
        EXPECT_FALSE(o.spQuality->isEnabled());  // lossless WebP has no quality
        o.btnOk->click();
    });
    const TDesktopOptions chosen{TOutputFormat::Webp,    55,   true,  true, true, TExistingOutput::KeepBoth,
                                 "{name}-{w}x{h}.{ext}", true, false, true, 1,    true};
    EXPECT_EQ(main().Options, chosen);
    editOptions([](TfrmMoreOptions& o) {
        o.cbFormat->setCurrentIndex(2);
        o.btnCancel->click();
    });
    EXPECT_EQ(main().Options, chosen);
    restart();
    EXPECT_EQ(main().Options, chosen);
    auto s = store();
    EXPECT_EQ(s->value("Options/Format").toString(), "webp");
    EXPECT_EQ(s->value("Options/ExistingOutput").toString(), "both");
    EXPECT_EQ(s->value("Size").toInt(), 0);  // the specified values are where they were
}

struct DamagedValue {
    const char* key;
    QVariant value;
};
void PrintTo(const DamagedValue& v, std::ostream* os) { *os << v.key << "=" << v.value.toString().toStdString(); }

class DamagedOptionTest : public OptionsTest, public ::testing::WithParamInterface<DamagedValue> {};

TEST_P(DamagedOptionTest, CountsAsAbsent) {
    // The damaged value is skipped; the group's other values still load.
    storeValues({{QStringLiteral("Options/") + GetParam().key, GetParam().value}, {"Options/KeepMetadata", true}});
    start();
    TDesktopOptions want = defaultOptions();
    want.keepMetadata = true;
    EXPECT_EQ(main().Options, want);
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedOptionTest,
                         ::testing::Values(DamagedValue{"Quality", 500}, DamagedValue{"Quality", "ninety"},
                                           DamagedValue{"Format", "gif"}, DamagedValue{"Format", 3},
                                           DamagedValue{"Jobs", -2}, DamagedValue{"Jobs", 0},
                                           DamagedValue{"Lossless", "yes"}, DamagedValue{"Upright", "0"},
                                           DamagedValue{"ExistingOutput", "ASK"},
                                           DamagedValue{"NamePattern", "a/{name}.{ext}"},
                                           DamagedValue{"NamePattern", ".."}, DamagedValue{"NamePattern", ""}));

struct PatternCase {
    const char* pattern;
    const char* name;
    const char* want;  // "" when the pattern gives no usable name
};

class NamePatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(NamePatternTest, GivesTheOutputName) {
    EXPECT_EQ(applyNamePattern(GetParam().pattern, QString::fromUtf8(GetParam().name), "jpg", 640, 427),
              QString::fromUtf8(GetParam().want));
}

INSTANTIATE_TEST_SUITE_P(Table, NamePatternTest,
                         ::testing::Values(PatternCase{"{name}.{ext}", "IMG 1", "IMG 1.jpg"},
                                           PatternCase{"{w}x{h}_{name}.{ext}", "ñ", "640x427_ñ.jpg"},
                                           PatternCase{"{name}{name}", "a", "aa"},
                                           PatternCase{"{nam}.{ext}", "a", "{nam}.jpg"},
                                           PatternCase{"{name}/x", "a", ""}, PatternCase{"{name}", "", ""},
                                           PatternCase{"..", "a", ""}, PatternCase{".{ext}", "a", ".jpg"}));

// A tree: top/{b.jpg, a.PNG, notes.txt, sub/{c.bmp, deeper/d.jpeg}, loop -> top}.
class FolderTest : public OptionsTest {
protected:
    void SetUp() override {
        OptionsTest::SetUp();
        top_ = dir_.path() + QString::fromUtf8("/fotos ñ");
        ASSERT_TRUE(QDir().mkpath(top_ + "/sub/deeper"));
        for (const char* f : {"b.jpg", "a.PNG", "notes.txt", "sub/c.bmp", "sub/deeper/d.jpeg"})
            ASSERT_TRUE(testimages::WriteFile(top_ + "/" + f, "x"));
        ASSERT_EQ(::symlink(".", QFile::encodeName(top_ + "/sub/loop").constData()), 0);
    }
    QTemporaryDir dir_;
    QString top_;
};

TEST_F(FolderTest, AFolderAddsItsPicturesAndSubfoldersOnlyWhenAsked) {
    start();
    QStringList problems;
    main().AddFolder(top_, problems);
    EXPECT_EQ(main().FileList, QStringList({top_ + "/a.PNG", top_ + "/b.jpg"}));
    EXPECT_TRUE(problems.isEmpty());

    main().Options.subfolders = true;
    main().AddFiles({top_ + "/b.jpg"});  // one by one, a file may be listed twice
    main().AddFolder(top_, problems);
    EXPECT_EQ(main().FileList, QStringList({top_ + "/a.PNG", top_ + "/b.jpg", top_ + "/b.jpg", top_ + "/sub/c.bmp",
                                            top_ + "/sub/deeper/d.jpeg"}));
    EXPECT_EQ(main().FileRoots.value(3), top_);
    EXPECT_EQ(main().FileRoots.value(2), "");
    ASSERT_EQ(problems.size(), 1);  // the link back to sub
    EXPECT_TRUE(problems[0].contains("/sub/loop")) << problems[0].toStdString();
}

TEST_F(FolderTest, DroppedAndStartingPathsTakeFilesAndFoldersAndNameWhatIsMissing) {
    const QStringList paths = {top_ + "/sub/deeper", top_ + "/gone.jpg", top_ + "/b.jpg"};
    const QStringList messages = apptest::messagesWhile([&] { start(paths); });
    EXPECT_EQ(main().FileList, QStringList({top_ + "/sub/deeper/d.jpeg", top_ + "/b.jpg"}));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "File not found: " + top_ + "/gone.jpg");

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(top_)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main().ListBox1->viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main().ListBox1->viewport(), &drop);
    EXPECT_EQ(main().FileList, QStringList({top_ + "/sub/deeper/d.jpeg", top_ + "/b.jpg", top_ + "/a.PNG"}));
}

TEST(StartArguments, AreLocalPathsAsBytes) {
    char prog[] = "velmora", dash[] = "--", url[] = "file:///tmp/a%20b.jpg", raw[] = "/tmp/\xff.jpg";
    char* argv[] = {prog, dash, url, raw, nullptr};
    const QStringList paths = startPathsFromArguments(4, argv);
    ASSERT_EQ(paths.size(), 2);
    EXPECT_EQ(paths[0], "/tmp/a b.jpg");
    EXPECT_EQ(velmora::EncodePath(paths[1]), "/tmp/\xff.jpg");
}

}  // namespace

namespace {

// What a run takes from the stored options: the choices for an existing
// output, never enlarging and the name pattern reach the engine's fields.
struct TAppliedCase {
    const char* label;
    TExistingOutput existing;
    bool neverEnlarge;
    const char* pattern;
    bool renameExisting;
    const char* enginePattern;  // the default pattern is no pattern
};

class AppliedOptionsTest : public ::testing::TestWithParam<TAppliedCase> {};

TEST_P(AppliedOptionsTest, ReachTheEngine) {
    const TAppliedCase& c = GetParam();
    TDesktopOptions options = defaultOptions();
    options.existing = c.existing;
    options.neverEnlarge = c.neverEnlarge;
    options.namePattern = QString::fromUtf8(c.pattern);
    pipelinerun::CollectingPort port;
    TResizeEngine engine(port);
    applyOptions(options, engine);
    EXPECT_EQ(engine.renameExisting, c.renameExisting);
    EXPECT_EQ(engine.noEnlarge, c.neverEnlarge);
    EXPECT_EQ(engine.namePattern, QString::fromUtf8(c.enginePattern));
}

INSTANTIATE_TEST_SUITE_P(Table, AppliedOptionsTest,
                         ::testing::Values(TAppliedCase{"Ask", TExistingOutput::Ask, false, "{name}.{ext}", false, ""},
                                           TAppliedCase{"KeepBoth", TExistingOutput::KeepBoth, true, "{name}.{ext}",
                                                        true, ""},
                                           TAppliedCase{"Replace", TExistingOutput::Replace, false, "{name}-{w}.{ext}",
                                                        false, "{name}-{w}.{ext}"},
                                           TAppliedCase{"KeepOld", TExistingOutput::KeepOld, true, "small_{name}.{ext}",
                                                        false, "small_{name}.{ext}"}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
