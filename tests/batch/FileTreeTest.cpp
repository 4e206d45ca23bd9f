// The run's list made from folders and lists: walk order, what a walk leaves
// out, trees deeper and names longer than a path may hold, and lists.
#include "batch/FileTree.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string P(const std::string& rel) const { return dir_.path().toStdString() + "/" + rel; }
    void Touch(const std::string& rel) {
        const std::string path = P(rel);
        for (size_t s = path.find('/', 1); s != std::string::npos; s = path.find('/', s + 1))
            ::mkdir(path.substr(0, s).c_str(), 0777);
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << rel;
        ::close(fd);
    }
    TFileListBuilder Builder(bool recursive) {
        TFileListBuilder b;
        b.recursive = recursive;
        b.note = [this](const QString& line) { notes << line; };
        return b;
    }
    QStringList Below(const QStringList& sources) const {
        QStringList out;
        for (const QString& s : sources) out << s.mid(dir_.path().size() + 1);
        return out;
    }
    QStringList notes;
    QTemporaryDir dir_;
};

TEST_F(FileTree, AFileReachedTwiceIsListedOnceWhileNamesGivenTwiceStay) {
    Touch("t/a.jpg");
    Touch("t/s/b.png");
    ASSERT_EQ(::link(P("t/a.jpg").c_str(), P("t/s/hard.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("../a.jpg", P("t/s/soft.jpg").c_str()), 0);
    TFileListBuilder b = Builder(true);
    b.Add(QString::fromStdString(P("t")));
    b.Add(QString::fromStdString(P("t")));
    b.Add(QString::fromStdString(P("t/a.jpg")));
    b.Add(QString::fromStdString(P("t/a.jpg")));
    EXPECT_EQ(Below(b.sources), (QStringList{"t/a.jpg", "t/s/b.png", "t/a.jpg", "t/a.jpg"}));
    EXPECT_EQ(b.relDirs, (QStringList{"", "s", "", ""}));
}

TEST_F(FileTree, TreesDeeperThanAHundredLevelsAreWalkedWithoutRecursion) {
    std::string rel = "deep";
    for (int level = 0; level < 150; ++level) {
        rel += "/d";
        Touch(rel + "/p.bmp");
    }
    TFileListBuilder b = Builder(true);
    b.Add(QString::fromStdString(P("deep")));
    ASSERT_EQ(b.sources.size(), 150);
    EXPECT_EQ(b.relDirs.back().count(QLatin1Char('d')), 150);
    EXPECT_TRUE(notes.isEmpty());
}

TEST_F(FileTree, PathsPastTheSystemLimitLeaveOutTheirFolderWithItsCause) {
    // Folders of 255-byte names, one inside the other, made through
    // descriptors: the whole path soon passes PATH_MAX.
    const std::string name(255, 'n');
    ASSERT_EQ(::mkdir(P("long").c_str(), 0777), 0);
    int fd = ::open(P("long").c_str(), O_DIRECTORY);
    for (int level = 0; level < 24; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0777), 0);
        const int f = ::openat(fd, (name.substr(0, 251) + ".png").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(f, 0);
        ::close(f);
        const int next = ::openat(fd, name.c_str(), O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    TFileListBuilder b = Builder(true);
    b.Add(QString::fromStdString(P("long")));
    EXPECT_GT(b.sources.size(), 10);
    EXPECT_LT(b.sources.size(), 24);
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].startsWith(QStringLiteral("Folder left out: "))) << notes[0].toStdString();
    EXPECT_TRUE(notes[0].endsWith(QStringLiteral("(file name too long)"))) << notes[0].toStdString();
}

}  // namespace
