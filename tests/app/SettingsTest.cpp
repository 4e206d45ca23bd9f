// The settings store: first start, defaults, damaged values, the round trip
// across a restart and a store that cannot be written.
#include "AppTestSupport.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace {

class SettingsTest : public apptest::WindowsTest {};

TEST_F(SettingsTest, FirstStartUsesThePicturesFolderAndOptionZero) {
    start();
    const QString pictures = picturesFolder();
    EXPECT_TRUE(QFileInfo(pictures).isDir());
    EXPECT_EQ(main().OutDir, pictures);
    EXPECT_EQ(main().txtOutputFolder->text(), pictures);
    EXPECT_TRUE(main().rb03mpx->isChecked());
    EXPECT_EQ(main().txtWidth->text(), "640");
    EXPECT_EQ(main().txtHeight->text(), "480");
    EXPECT_EQ(main().pos(), QPoint(0, 0));

    closeMain();
    ASSERT_TRUE(QFile::exists(settingsFile()));
    auto s = store();
    EXPECT_EQ(s->value("OutputDir").toString(), pictures);
    EXPECT_EQ(s->value("OutShowDir").toString(), pictures);
    EXPECT_EQ(s->value("LastDir").toString(), "");
    EXPECT_EQ(s->value("Size").toInt(), 0);
    EXPECT_EQ(s->value("Width").toInt(), 640);
    EXPECT_EQ(s->value("Height").toInt(), 480);
    EXPECT_EQ(s->value("PosX").toInt(), 0);
    EXPECT_EQ(s->value("PosY").toInt(), 0);
}

TEST_F(SettingsTest, EverySettingSurvivesARestart) {
    QTemporaryDir dir;
    const QString out = dir.path() + QString::fromUtf8("/Fotos reduïdes ") + QString(120, QChar(u'x'));
    ASSERT_TRUE(QDir().mkpath(out));
    start();
    main().SetOutputFolder(out);
    main().AddFiles({dir.path() + QString::fromUtf8("/origen ñ/a.jpg")});
    main().rbAmple->click();
    main().txtWidth->setText("1024");
    main().move(40, 30);
    restart();

    EXPECT_EQ(main().OutDir, out);
    EXPECT_EQ(main().txtOutputFolder->text(), QFileInfo(out).fileName());
    EXPECT_EQ(main().LastDir, dir.path() + QString::fromUtf8("/origen ñ/"));
    EXPECT_TRUE(main().rbAmple->isChecked());
    EXPECT_TRUE(main().txtWidth->isEnabled());
    EXPECT_EQ(main().txtWidth->text(), "1024");
    EXPECT_EQ(main().pos(), QPoint(40, 30));
    EXPECT_TRUE(main().FileList.isEmpty());  // the list itself is not kept
}

TEST_F(SettingsTest, BlankShownFolderFallsBackToThePicturesFolder) {
    QTemporaryDir dir;
    storeValues({{"OutputDir", dir.path()}, {"OutShowDir", " \t "}});
    start();
    EXPECT_EQ(main().OutDir, picturesFolder());
    EXPECT_EQ(main().txtOutputFolder->text(), picturesFolder());
}

TEST_F(SettingsTest, StoredSizeOptionDecidesTheEdits) {
    storeValues({{"Size", 7}, {"Width", 1024}, {"Height", 300}});
    start();
    EXPECT_TRUE(main().rbAmple->isChecked());
    EXPECT_EQ(main().txtWidth->text(), "1024");
    EXPECT_TRUE(main().txtWidth->isEnabled());
    EXPECT_FALSE(main().txtHeight->isEnabled());
    closeMain();

    // A preset's own numbers win over the stored ones.
    storeValues({{"Size", 2}, {"Width", 1024}, {"Height", 300}});
    start();
    EXPECT_TRUE(main().rb20mpx->isChecked());
    EXPECT_EQ(main().txtWidth->text(), "1600");
    EXPECT_EQ(main().txtHeight->text(), "1200");
    closeMain();

    for (int outside : {9, -1, 1000}) {
        storeValues({{"Size", outside}});
        start();
        EXPECT_TRUE(main().rb03mpx->isChecked()) << outside;
        EXPECT_EQ(main().txtWidth->text(), "640") << outside;
        closeMain();
    }
}

TEST_F(SettingsTest, AWrongTypeValueIsSkippedAndTheOthersLoad) {
    QTemporaryDir dir;
    storeValues({{"Size", "seven"},
                 {"Width", "wide"},
                 {"PosX", "left"},
                 {"PosY", 25},
                 {"LastDir", QStringList({"a", "b"})},
                 {"OutputDir", dir.path()},
                 {"OutShowDir", "shown"}});
    start();
    EXPECT_TRUE(main().rb03mpx->isChecked());
    EXPECT_EQ(main().LastDir, "");
    EXPECT_EQ(main().OutDir, dir.path());
    EXPECT_EQ(main().txtOutputFolder->text(), "shown");
    EXPECT_EQ(main().pos(), QPoint(0, 25));
    EXPECT_EQ(main().StatusBar1->PanelText(0).left(8), "Version ");
}

TEST_F(SettingsTest, EmptyWidthIsStoredAsZeroAndFoldersTrimmed) {
    start();
    main().rbAmple->click();
    main().txtWidth->clear();
    main().LastDir = "  /photos/in/ \t";
    main().OutDir = " /photos/out";
    closeMain();
    auto s = store();
    EXPECT_EQ(s->value("Width").toInt(), 0);
    EXPECT_EQ(s->value("Size").toInt(), 7);
    EXPECT_EQ(s->value("LastDir").toString(), "/photos/in/");
    EXPECT_EQ(s->value("OutputDir").toString(), "/photos/out");
}

TEST_F(SettingsTest, PositionOffEveryScreenOpensAtTheDesignedPlace) {
    storeValues({{"PosX", -30000}, {"PosY", 40000}});
    start();
    EXPECT_EQ(main().pos(), QPoint(0, 0));
}

TEST_F(SettingsTest, GarbageInTheStoreStillStartsAndEnds) {
    QDir().mkpath(QFileInfo(settingsFile()).path());
    QFile f(settingsFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919) & 0xFF));
    f.write(junk);
    f.close();
    start();
    EXPECT_EQ(main().btnAnadir->text(), "Add...");
    EXPECT_FALSE(main().OutDir.isEmpty());
    EXPECT_GE(main().llegirIndexTamany(), 0);
}

TEST_F(SettingsTest, AStoreThatCannotBeWrittenIsReportedAtClose) {
    // The settings folder's place is taken by a file.
    QFile blocker(QFileInfo(settingsFile()).path());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    start();
    EXPECT_EQ(apptest::messagesWhile([&] { closeMain(); }), QStringList({"Error saving Velmora's configuration"}));
}

}  // namespace
