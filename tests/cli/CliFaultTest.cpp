// velmora-cli under hostile conditions: killed at any moment, interrupted,
// a full disk, folders in the way, names that are not text, sources that are
// not files, headers that lie about their size.
#include "tests/support/ChildProcess.h"
#include "tests/support/PngReference.h"
#include "tests/support/TestImages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using childprocess::Child;
using childprocess::Result;

namespace {

std::string Bytes(const QByteArray& b) { return b.toStdString(); }

std::string ReadFile(const fs::path& p) { return Child::ReadAll(p.string()); }

void WriteFile(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// An 8-bit RGB PNG of w x h whose image data holds only `rows` rows.
std::string PngWithRows(uint32_t w, uint32_t h, uint32_t rows) {
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < rows; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), size_t(w) * 3, uint8_t(y * 7));
    }
    const auto png = pngref::Builder().Ihdr(w, h, 8, 2).Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes;
    return std::string(png.begin(), png.end());
}

class CliFaults : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-cli-faults-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_directory(In());
        fs::create_directory(Out());
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(Out(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    fs::path In() const { return dir_ / "in"; }
    fs::path Out() const { return dir_ / "out"; }

    Child::Options Capture(rlim_t fileSizeLimit = 0) const {
        return {fileSizeLimit, (dir_ / "stdout").string(), (dir_ / "stderr").string()};
    }
    std::vector<std::string> Args(const std::vector<std::string>& options, const std::vector<std::string>& names,
                                  const fs::path& outDir) const {
        std::vector<std::string> args{"-o", outDir.string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("--");
        for (const std::string& n : names) args.push_back((In() / n).string());
        return args;
    }
    Result Run(const std::vector<std::string>& options, const std::vector<std::string>& names,
               rlim_t fileSizeLimit = 0) {
        Child child(VELMORA_CLI, Args(options, names, Out()), Capture(fileSizeLimit));
        return child.Wait();
    }
    std::string ErrorLine(const std::string& name, const std::string& cause) const {
        return "Error resizing " + (In() / name).string() + " (" + cause + ")";
    }

    fs::path dir_;
};

// Any moment of a run may be its last: every output name must hold either
// its complete old content or its complete new content (or nothing, where
// there was nothing), never a part. Hidden temporaries of ours may be left
// between a link and a rename; the next run removes them.
TEST_F(CliFaults, KilledAtRandomMomentsLeavesEachOutputOldOrNew) {
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) {
        const int w = 160 + 24 * i, h = 120 + 18 * i;
        std::string name = std::to_string(i);
        name += i % 3 == 0 ? ".bmp" : i % 3 == 1 ? ".png" : ".jpg";
        WriteFile(In() / name, Bytes(i % 3 == 0   ? testimages::Bmp24(w, h, uint8_t(i * 20))
                                     : i % 3 == 1 ? testimages::Png(w, h, uint8_t(i * 20))
                                                  : testimages::Jpeg(w, h, uint8_t(i * 20))));
        names.push_back(name);
    }
    const std::vector<std::string> options{"-W", "300", "--overwrite", "all"};

    // The new versions, from one whole run, and how long a run takes.
    const fs::path fresh = dir_ / "fresh";
    fs::create_directory(fresh);
    const auto t0 = std::chrono::steady_clock::now();
    Child whole(VELMORA_CLI, Args(options, names, fresh), Capture());
    ASSERT_EQ(whole.Wait().status, 0);
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    std::map<std::string, std::string> newer, older;
    for (size_t i = 0; i < names.size(); ++i) {
        newer[names[i]] = ReadFile(fresh / names[i]);
        ASSERT_FALSE(newer[names[i]].empty());
        if (i % 4 != 3) older[names[i]] = "old version of " + names[i] + std::string(i * 1000, 'o');
    }

    std::mt19937 random(20261209);  // fixed: a failure repeats
    std::uniform_int_distribution<long long> moment(0, runTime.count());
    int killedMidRun = 0;
    for (int round = 0; round < 20; ++round) {
        fs::remove_all(Out());
        fs::create_directory(Out());
        for (const auto& [name, bytes] : older) WriteFile(Out() / name, bytes);
        Child child(VELMORA_CLI, Args(options, names, Out()), Capture());
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        child.Signal(SIGKILL);
        const Result r = child.Wait();
        killedMidRun += r.status == 128 + SIGKILL;
        for (const auto& entry : fs::directory_iterator(Out())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".velmora-", 0) == 0) continue;
            ASSERT_TRUE(newer.count(name)) << "round " << round << ": stray file " << name;
            const std::string have = ReadFile(entry.path());
            EXPECT_TRUE(have == newer[name] || (older.count(name) && have == older[name]))
                << "round " << round << ": " << name << " is neither old nor new (" << have.size() << " bytes)";
        }
        for (const auto& [name, bytes] : older) EXPECT_TRUE(fs::exists(Out() / name)) << "round " << round << ": " << name;
    }
    EXPECT_GT(killedMidRun, 0);
    // A later run in the folder leaves no temporary behind.
    ASSERT_EQ(Run(options, names).status, 0);
    for (const auto& entry : fs::directory_iterator(Out()))
        EXPECT_EQ(entry.path().filename().string().rfind(".velmora-", 0), std::string::npos) << entry.path();
}

class Interrupted : public CliFaults, public ::testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param == SIGINT ? "Int" : "Term"; });

TEST_P(Interrupted, StopsBetweenFilesSaysSoAndExitsAsShellsExpect) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back(std::to_string(i) + ".bmp");
        WriteFile(In() / names.back(), Bytes(testimages::Bmp24(400, 300, uint8_t(i))));
    }
    Child child(VELMORA_CLI, Args({"-W", "800"}, names, Out()), Capture());
    // Signal once the first output is there.
    for (int i = 0; i < 20000 && !fs::exists(Out() / names[0]); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    child.Signal(GetParam());
    const Result r = child.Wait();
    EXPECT_EQ(r.status, 128 + GetParam());
    int written = 0, notReached = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "written %d, skipped 0, failed 0; interrupted, %d not reached", &written,
                          &notReached),
              2)
        << r.out;
    EXPECT_EQ(written + notReached, 40) << r.out;
    EXPECT_GT(notReached, 0);
    // What was written is complete, and nothing else is there.
    size_t present = 0;
    for (const auto& entry : fs::directory_iterator(Out())) {
        ++present;
        EXPECT_EQ(entry.file_size(), 54u + 800u * 600u * 4u) << entry.path();
    }
    EXPECT_EQ(present, size_t(written));
}

TEST_F(CliFaults, AFullDiskFailsThatFileKeepsItsOldVersionAndTheRunGoesOn) {
    WriteFile(In() / "big.bmp", Bytes(testimages::Bmp24(40, 30)));
    WriteFile(In() / "small.bmp", Bytes(testimages::Bmp24(40, 30)));
    WriteFile(Out() / "big.bmp", "old big");
    // The limit lets a small output (54 + 20 x 15 x 4 bytes) through but
    // not a big one (54 + 400 x 300 x 4 bytes); each failure is reported
    // and the run goes on to the next file.
    const Result big = Run({"-W", "400", "--overwrite", "all"}, {"big.bmp", "small.bmp"}, 65536);
    EXPECT_EQ(big.status, 1);
    EXPECT_EQ(Lines(big.err), (std::vector<std::string>{ErrorLine("big.bmp", "file too large"),
                                                        ErrorLine("small.bmp", "file too large")}));
    EXPECT_EQ(big.out, "written 0, skipped 0, failed 2\n");
    EXPECT_EQ(ReadFile(Out() / "big.bmp"), "old big");
    const Result small = Run({"-W", "20", "--overwrite", "all"}, {"small.bmp"}, 65536);
    EXPECT_EQ(small.status, 0) << small.err;
    EXPECT_EQ(ReadFile(Out() / "small.bmp").size(), 54u + 20 * 15 * 4);
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(Out())) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"big.bmp", "small.bmp"}));
}

TEST_F(CliFaults, FoldersInTheWayFailOnlyTheirFile) {
    WriteFile(In() / "a.bmp", Bytes(testimages::Bmp24(8, 6)));
    WriteFile(In() / "b.png", Bytes(testimages::Png(8, 6)));
    fs::create_directory(Out() / "a.bmp");
    // A folder given as input is walked for its pictures, whatever its name.
    fs::create_directory(In() / "dir.jpg");
    const Result r = Run({"-W", "4"}, {"a.bmp", "dir.jpg", "b.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{ErrorLine("a.bmp", "is a directory")}));
    EXPECT_EQ(r.out, "written 1, skipped 0, failed 1\n");
    EXPECT_TRUE(fs::is_directory(Out() / "a.bmp"));
    EXPECT_TRUE(fs::is_regular_file(Out() / "b.png"));
}

TEST_F(CliFaults, AReadOnlyOutputFolderStopsTheRunBeforeAnyFile) {
    WriteFile(In() / "a.bmp", Bytes(testimages::Bmp24(8, 6)));
    WriteFile(Out() / "a.bmp", "old a");
    Child::Options options = Capture();
    if (geteuid() == 0) {
        // Permission bits do not stop root: run the program as nobody, for
        // whom the folder is read-only, and let it read the inputs.
        options.runAsUser = 65534;
        for (const fs::path& p : {dir_, In(), Out()})
            fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    } else {
        fs::permissions(Out(), fs::perms::owner_read | fs::perms::owner_exec);
    }
    Child child(VELMORA_CLI, Args({"-W", "4", "--overwrite", "all"}, {"a.bmp"}, Out()), options);
    const Result r = child.Wait();
    if (r.status == 126 || r.status == 127) GTEST_SKIP() << "cannot run the program as another user here";
    // The folder is checked before any file: one message, nothing touched.
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"velmora-cli: the output folder " + Out().string() +
                                                     " cannot be used (permission denied)"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(Out() / "a.bmp"), "old a");
}

TEST_F(CliFaults, SourcesThatAreNotRegularFilesAreRefusedWithoutBlocking) {
    // A FIFO nobody writes to, and devices that never end or are empty.
    ASSERT_EQ(mkfifo((In() / "pipe.png").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", In() / "zero.bmp");
    fs::create_symlink("/dev/null", In() / "null.jpg");
    WriteFile(In() / "after.bmp", Bytes(testimages::Bmp24(8, 6)));
    Child child(VELMORA_CLI, Args({"-W", "4"}, {"pipe.png", "zero.bmp", "null.jpg", "after.bmp"}, Out()), Capture());
    const Result r = child.Wait(std::chrono::seconds(20));
    ASSERT_EQ(r.status, 1) << "blocked or crashed";
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{ErrorLine("pipe.png", "not a regular file"),
                                                      ErrorLine("zero.bmp", "not a regular file"),
                                                      ErrorLine("null.jpg", "not a regular file")}));
    EXPECT_EQ(r.out, "written 1, skipped 0, failed 3\n");
}

TEST_F(CliFaults, NamesUpToTheLimitAndNamesThatAreNotTextWork) {
    const long nameMax = pathconf(In().c_str(), _PC_NAME_MAX);
    const std::vector<std::string> names{std::string(size_t(nameMax) - 4, 'L') + ".bmp",
                                         std::string(242 - 4, 'l') + ".png", "bad\xff\xfe name.bmp",
                                         "two\nlines\t.png", "\xc3(mixed\xe2\x82\xac).jpg"};
    for (const std::string& n : names)
        WriteFile(In() / n,
                  Bytes(n.back() == 'p' ? testimages::Bmp24(8, 6)
                                        : n.back() == 'g' && n[n.size() - 2] == 'n' ? testimages::Png(8, 6)
                                                                                     : testimages::Jpeg(8, 6)));
    const Result first = Run({"-W", "4"}, names);
    EXPECT_EQ(first.status, 0) << first.err;
    for (const std::string& n : names) EXPECT_TRUE(fs::is_regular_file(Out() / n)) << n;
    // Replacing them goes through the temporary route as well.
    const Result again = Run({"-W", "5", "--overwrite", "all"}, names);
    EXPECT_EQ(again.status, 0) << again.err;
    size_t count = 0;
    for (const auto& e : fs::directory_iterator(Out())) count += e.path().filename().string()[0] != '.';
    EXPECT_EQ(count, names.size());

    // A failing name is one line, its odd bytes escaped.
    const Result missing = Run({"-W", "4"}, {"gone\xfe\n\x01.png"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(Lines(missing.err),
              std::vector<std::string>{"Error resizing " + In().string() + "/gone\\xFE\\n\\x01.png (no such file or directory)"});
}

TEST_F(CliFaults, HeadersThatLieAboutTheirSizeCostLittle) {
    // 20000 x 20000 declared, a few bytes of data.
    WriteFile(In() / "huge.png", PngWithRows(20000, 20000, 0));
    std::string bmp = Bytes(testimages::Bmp24(1, 1));
    for (int at : {18, 22}) {
        bmp[size_t(at)] = char(0x20), bmp[size_t(at) + 1] = char(0x4E);  // 20000
    }
    bmp += std::string(60, '\0');
    WriteFile(In() / "huge.bmp", bmp);
    // A picture cut short is written, with a warning.
    WriteFile(In() / "short.png", PngWithRows(300, 200, 80));
    std::string cut = Bytes(testimages::Bmp24(30, 20));
    cut.resize(cut.size() / 2);
    WriteFile(In() / "cut.bmp", cut);

    const auto t0 = std::chrono::steady_clock::now();
    const Result r = Run({"-W", "100"}, {"huge.png", "huge.bmp", "short.png", "cut.bmp"});
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(r.status, 1);
    const std::string warning = " (the data ends before the picture does; the rest is filled in)";
    EXPECT_EQ(Lines(r.err),
              (std::vector<std::string>{
                  ErrorLine("huge.png", "this \"Portable Network Graphics\" image is invalid because it has missing "
                                        "image parts"),
                  ErrorLine("huge.bmp", "bitmap data is too short for its size"),
                  "Written with a warning: " + (In() / "short.png").string() + warning,
                  "Written with a warning: " + (In() / "cut.bmp").string() + warning}));
    EXPECT_EQ(r.out, "written 2, skipped 0, failed 2\n");
}

}  // namespace
