// The file edge under faults: replacing a file never leaves a partial or
// lost file, refuses what is not a regular file, and tidies up after writers
// that were killed.
#include "platform/Exceptions.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

void Replace(const fs::path& p, const std::string& text) {
    velmora::WriteFileReplacing(p.string(), text.data(), text.size());
}

// The reason a failing write gives, or "" when it succeeds.
std::string CreateFailure(const fs::path& p, const std::string& text) {
    try {
        Replace(p, text);
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos);
        return e.Reason();
    }
    return {};
}

// The exit status of body(), run in a child process whose files may grow to
// 4 KiB only, with the signal that would end it ignored (as velmora-cli
// does), so that writes beyond the limit fail with EFBIG.
int InChildWithSizeLimit(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The reason both ways of reading a file give when it cannot be opened (they
// must agree), or "" when it opens.
std::string OpenFailure(const fs::path& p) {
    std::string whole, piecewise;
    try {
        velmora::ReadWholeFile(p.string());
    } catch (const EFOpenError& e) {
        whole = e.Reason();
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + p.string() + "\". " + whole);
    }
    try {
        TFileStream stream(p.string());
    } catch (const EFOpenError& e) {
        piecewise = e.Reason();
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + p.string() + "\". " + piecewise);
    }
    EXPECT_EQ(piecewise, whole) << p;
    return whole;
}

// A pid that no process has: a child that has already been reaped.
pid_t GonePid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

class FileReplace : public ::testing::Test {
protected:
    void SetUp() override {
        velmora::UseNamedTemporariesOnly(false);
        char pattern[] = "/tmp/velmora-replace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        velmora::UseNamedTemporariesOnly(false);
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

// Both routes: unnamed files where the file system has them, hidden names
// where it has not.
class FileReplaceRoutes : public FileReplace, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        FileReplace::SetUp();
        velmora::UseNamedTemporariesOnly(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(Temporaries, FileReplaceRoutes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Named" : "Unnamed"; });

TEST_P(FileReplaceRoutes, NewAndReplacedFilesLeaveNothingElseBehind) {
    Replace(dir_ / "new.bin", "fresh");
    EXPECT_EQ(ReadText(dir_ / "new.bin"), "fresh");

    WriteText(dir_ / "old.bin", "the old content, longer than the new");
    ASSERT_EQ(chmod((dir_ / "old.bin").c_str(), 0640), 0);
    Replace(dir_ / "old.bin", "new");
    EXPECT_EQ(ReadText(dir_ / "old.bin"), "new");
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "old.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    Replace(dir_ / "empty.bin", "");
    EXPECT_EQ(ReadText(dir_ / "empty.bin"), "");
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"new.bin", "old.bin", "empty.bin"}));
}

TEST_P(FileReplaceRoutes, NamesUpToTheFileSystemLimitWork) {
    const long nameMax = pathconf(dir_.c_str(), _PC_NAME_MAX);
    ASSERT_GT(nameMax, 14);
    for (const long length : {nameMax - 13, nameMax}) {
        const std::string name = std::string(size_t(length) - 4, 'n') + ".bmp";
        Replace(dir_ / name, "first");
        Replace(dir_ / name, "second");
        EXPECT_EQ(ReadText(dir_ / name), "second") << length;
    }
    EXPECT_EQ(Names(dir_).size(), 2u);
}

TEST_P(FileReplaceRoutes, FailuresNameTheCauseAndKeepTheOldFile) {
    fs::create_directory(dir_ / "taken");
    WriteText(dir_ / "taken" / "inside", "kept");
    EXPECT_EQ(CreateFailure(dir_ / "taken", "data"), "Is a directory");
    EXPECT_EQ(ReadText(dir_ / "taken" / "inside"), "kept");

    EXPECT_EQ(CreateFailure(dir_ / "missing" / "a.bmp", "data"), "No such file or directory");
    EXPECT_FALSE(fs::exists(dir_ / "missing"));

    // A write beyond the file-size limit fails with EFBIG.
    WriteText(dir_ / "big.bin", "old");
    EXPECT_EQ(InChildWithSizeLimit([&] {
                  return CreateFailure(dir_ / "big.bin", std::string(100000, 'x')) == "File too large" ? 0 : 1;
              }),
              0);
    EXPECT_EQ(ReadText(dir_ / "big.bin"), "old");
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"taken", "big.bin"}));
}

TEST_P(FileReplaceRoutes, ARaisedInterruptFlagAbandonsTheFile) {
    WriteText(dir_ / "a.bin", "old");
    volatile std::sig_atomic_t flag = 1;
    velmora::SetWriteInterruptFlag(&flag);
    EXPECT_THROW(Replace(dir_ / "a.bin", "new"), EAbort);
    EXPECT_THROW(Replace(dir_ / "b.bin", "new"), EAbort);
    flag = 0;
    Replace(dir_ / "c.bin", "new");
    velmora::SetWriteInterruptFlag(nullptr);
    EXPECT_EQ(ReadText(dir_ / "a.bin"), "old");
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"a.bin", "c.bin"}));
}

// Names of dir that are not hidden temporaries.
std::set<std::string> VisibleNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const std::string& n : Names(dir))
        if (n.rfind(velmora::kTemporaryPrefix, 0) != 0) names.insert(n);
    return names;
}

// An output written piece by piece: the name shows the old content (or
// nothing) until Commit, and a stream given up leaves nothing at all.
TEST_P(FileReplaceRoutes, AStreamedFileTakesItsNameOnlyWhenCommitted) {
    WriteText(dir_ / "old.bin", "old");
    std::string want;
    {
        TReplacingFileStream out((dir_ / "old.bin").string());
        TReplacingFileStream fresh((dir_ / "new.bin").string());
        for (int i = 0; i < 3000; ++i) {
            const std::string piece = std::to_string(i) + ",";
            out.WriteBuffer(piece.data(), piece.size());
            fresh.WriteBuffer(piece.data(), piece.size());
            want += piece;
        }
        EXPECT_EQ(out.Position(), int64_t(want.size()));
        EXPECT_EQ(ReadText(dir_ / "old.bin"), "old");
        EXPECT_EQ(VisibleNames(dir_), (std::set<std::string>{"old.bin"}));
        out.Commit();
        EXPECT_EQ(ReadText(dir_ / "old.bin"), want);
        // fresh is given up here.
    }
    {
        TReplacingFileStream out((dir_ / "old.bin").string());
        out.WriteBuffer("never", 5);
    }
    EXPECT_EQ(ReadText(dir_ / "old.bin"), want);
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"old.bin"}));
}

// A write that fails halfway does not stop the writer: the failure comes
// from Commit, with the old file kept and nothing left behind.
TEST_P(FileReplaceRoutes, AStreamedWriteFailureIsRaisedByCommit) {
    WriteText(dir_ / "big.bin", "old");
    EXPECT_EQ(InChildWithSizeLimit([&] {
                  TReplacingFileStream out((dir_ / "big.bin").string());
                  const std::string piece(1000, 'x');
                  try {
                      for (int i = 0; i < 20; ++i) out.WriteBuffer(piece.data(), piece.size());
                  } catch (...) {
                      return 2;  // the writer was stopped
                  }
                  try {
                      out.Commit();
                  } catch (const EFCreateError& e) {
                      const bool named =
                          std::string(e.what()).find("Cannot create file \"" + (dir_ / "big.bin").string()) == 0;
                      return named && e.Reason() == "File too large" ? 0 : 3;
                  }
                  return 4;
              }),
              0);
    EXPECT_EQ(ReadText(dir_ / "big.bin"), "old");
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"big.bin"}));

    // A folder that cannot take the file fails at Commit too, however much
    // was written.
    TReplacingFileStream lost((dir_ / "missing" / "a.bin").string());
    lost.WriteBuffer("data", 4);
    try {
        lost.Commit();
        ADD_FAILURE() << "committed into a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Reason(), "No such file or directory");
    }
}

TEST_F(FileReplace, StaleTemporariesOfKilledWritersAreRemoved) {
    const std::string gone = std::string(velmora::kTemporaryPrefix) + std::to_string(GonePid()) + "-0badf00d.tmp";
    const std::string live = std::string(velmora::kTemporaryPrefix) + std::to_string(getppid()) + "-12345678.tmp";
    const std::string oldLive = std::string(velmora::kTemporaryPrefix) + std::to_string(getppid()) + "-87654321.tmp";
    const std::string lookalike = std::string(velmora::kTemporaryPrefix) + "notes.tmp";
    const std::string goneFolder = std::string(velmora::kTemporaryPrefix) + std::to_string(GonePid()) + "-00000000.tmp";
    for (const std::string& n : {gone, live, oldLive, lookalike}) WriteText(dir_ / n, "partial");
    fs::create_directory(dir_ / goneFolder);
    // Two days old: stale even though a process with that pid is running.
    fs::last_write_time(dir_ / oldLive, fs::file_time_type::clock::now() - std::chrono::hours(48));

    Replace(dir_ / "out.jpg", "data");
    EXPECT_EQ(Names(dir_), (std::set<std::string>{live, lookalike, goneFolder, "out.jpg"}));
}

TEST_F(FileReplace, OnlyRegularFilesAreRead) {
    WriteText(dir_ / "a.bin", "abc");
    EXPECT_EQ(velmora::ReadWholeFile((dir_ / "a.bin").string()), (std::vector<uint8_t>{'a', 'b', 'c'}));
    // A FIFO with no writer would block a plain open for ever.
    ASSERT_EQ(mkfifo((dir_ / "fifo.jpg").c_str(), 0600), 0);
    EXPECT_EQ(OpenFailure(dir_ / "fifo.jpg"), "Not a regular file");
    EXPECT_EQ(OpenFailure("/dev/zero"), "Not a regular file");
    EXPECT_EQ(OpenFailure(dir_), "Is a directory");
    EXPECT_EQ(OpenFailure(dir_ / "none.png"), "No such file or directory");
}

TEST_F(FileReplace, FileStreamReadsAnyPieceAnywhere) {
    // 300 000 bytes, none equal to its neighbours: every misplaced piece shows.
    std::string text(300000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char(i * 7 + (i >> 9));
    WriteText(dir_ / "a.bin", text);
    TFileStream stream((dir_ / "a.bin").string());
    EXPECT_EQ(stream.Size(), int64_t(text.size()));
    // Small pieces (through the buffer), pieces crossing its end, large
    // pieces (straight into the caller's memory), forwards and backwards.
    struct Piece {
        int64_t at;
        size_t count;
    };
    const Piece pieces[] = {{0, 1},           {1, 53},        {65530, 20},      {65536, 3},      {299990, 100},
                            {100000, 200000}, {70000, 65536}, {5, 65535},       {250000, 40000}, {299999, 1},
                            {300000, 10},     {400000, 10},   {131072, 131072}, {12, 0}};
    for (const Piece& p : pieces) {
        std::vector<char> got(p.count + 1, '?');
        EXPECT_EQ(stream.Seek(p.at, TSeekOrigin::soBeginning), p.at);
        const size_t expected = p.at >= int64_t(text.size()) ? 0 : std::min(p.count, text.size() - size_t(p.at));
        ASSERT_EQ(stream.Read(got.data(), p.count), expected) << p.at;
        EXPECT_EQ(std::string(got.data(), expected), text.substr(size_t(std::min<int64_t>(p.at, 300000)), expected))
            << p.at << " + " << p.count;
        EXPECT_EQ(got[expected], '?');
        EXPECT_EQ(stream.Position(), p.at + int64_t(expected));
    }
    EXPECT_EQ(stream.Seek(-10, TSeekOrigin::soEnd), 299990);
    EXPECT_EQ(stream.Seek(4, TSeekOrigin::soCurrent), 299994);
    EXPECT_EQ(stream.Remaining(), 6);
    uint8_t bytes[8] = {};
    EXPECT_THROW(stream.ReadBuffer(bytes, 7), EReadError);
    EXPECT_THROW(stream.WriteBuffer(bytes, 1), EWriteError);
    EXPECT_EQ(ReadText(dir_ / "a.bin"), text);
}

}  // namespace
