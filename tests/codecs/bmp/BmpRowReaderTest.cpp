// The row reader against the whole-file reader: for every kind of file, and
// for every damaged copy of small ones, both give the same rows (or the same
// error), and the row reader reads each stored byte once, in bounded pieces.
#include "codecs/bmp/BmpRows.h"
#include "codecs/bmp/BmpToBitmap32.h"
#include "platform/Exceptions.h"
#include "raster/Bitmap32.h"
#include "tests/support/BmpPatterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <typeinfo>
#include <vector>

using namespace bmptest;

namespace {

// What reading a file gives: an error, or a picture (top row first).
struct Outcome {
    std::string error;  // the exception's type and text; empty on success
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    bool shortData = false;
    bool wholeOnly = false;  // the row reader declined (run-length data)

    friend bool operator==(const Outcome&, const Outcome&) = default;
};

std::string Describe(const std::exception& e) { return std::string(typeid(e).name()) + ": " + e.what(); }

Outcome ReadWhole(const Bytes& file) {
    Outcome o;
    try {
        TMemoryStream stream(file);
        TBitmap32 raster;
        LoadBmpToBitmap32(raster, stream);
        o.width = raster.Width();
        o.height = raster.Height();
        o.pixels.assign(raster.Bits(), raster.Bits() + size_t(o.width) * size_t(o.height));
        o.shortData = raster.ShortData;
    } catch (const std::exception& e) {
        o.error = Describe(e);
    }
    return o;
}

// Collects the rows a picture sends.
class RowCollector : public TRowTarget {
public:
    explicit RowCollector(int32_t width) : width_(width), row_(size_t(width)) {}
    uint32_t* NextRow() override { return row_.data(); }
    void Push() override { pixels.insert(pixels.end(), row_.begin(), row_.end()); }
    std::vector<uint32_t> pixels;

private:
    int32_t width_;
    std::vector<uint32_t> row_;
};

// A memory stream that records how it is read.
class WatchedStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    size_t Read(void* buffer, size_t count) override {
        largestRead = std::max(largestRead, count);
        const size_t n = TMemoryStream::Read(buffer, count);
        bytesRead += n;
        return n;
    }
    size_t largestRead = 0;
    size_t bytesRead = 0;
};

Outcome ReadRows(const Bytes& file, WatchedStream* watched = nullptr) {
    Outcome o;
    WatchedStream local(file);
    WatchedStream& stream = watched != nullptr ? *watched : local;
    try {
        TBmpRowReader reader(stream);
        if (!reader.CanSendRows()) {
            o = ReadWhole(file);
            o.wholeOnly = true;
            return o;
        }
        o.width = reader.Width();
        o.height = reader.Height();
        o.shortData = reader.ShortData();
        RowCollector rows(o.width);
        reader.SendRows(rows);
        EXPECT_EQ(rows.pixels.size(), size_t(o.width) * size_t(o.height));
        o.pixels = std::move(rows.pixels);
    } catch (const std::exception& e) {
        o.error = Describe(e);
    }
    return o;
}

::testing::AssertionResult SameBothWays(const Bytes& file) {
    Outcome rows = ReadRows(file);
    const Outcome whole = ReadWhole(file);
    const bool wholeOnly = rows.wholeOnly;
    rows.wholeOnly = false;
    if (rows == whole) return ::testing::AssertionSuccess() << (wholeOnly ? "whole only" : "rows");
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "whole: " << (whole.error.empty() ? "picture" : whole.error) << " " << whole.width << " x "
            << whole.height << (whole.shortData ? " short" : "")
            << "; rows: " << (rows.error.empty() ? "picture" : rows.error) << " " << rows.width << " x " << rows.height
            << (rows.shortData ? " short" : "");
    for (size_t i = 0; i < std::min(rows.pixels.size(), whole.pixels.size()); ++i)
        if (rows.pixels[i] != whole.pixels[i]) {
            failure << "; first different pixel " << i % size_t(std::max(1, whole.width)) << ","
                    << i / size_t(std::max(1, whole.width)) << ": " << std::hex << whole.pixels[i] << " vs "
                    << rows.pixels[i];
            break;
        }
    return failure;
}

std::vector<NamedBmp> SmallFiles() {
    std::vector<NamedBmp> out = EveryKind(13, 9);
    for (const NamedBmp& f : EveryKind(1, 3)) out.push_back(f);
    for (const NamedBmp& f : EveryKind(3, 1)) out.push_back(f);
    return out;
}

class BmpRowReaderVariants : public ::testing::TestWithParam<NamedBmp> {};

TEST_P(BmpRowReaderVariants, GivesTheWholeReadersRowsAndErrorsForEveryDamagedCopy) {
    const Bytes& file = GetParam().file;
    // A file needs 54 bytes at least, whatever its header.
    if (file.size() >= 54) {
        ASSERT_TRUE(ReadWhole(file).error.empty()) << ReadWhole(file).error;
    }
    EXPECT_TRUE(SameBothWays(file));
    // Cut at every length: short data, short headers, short tables.
    for (size_t n = 0; n < file.size(); ++n)
        ASSERT_TRUE(SameBothWays(Bytes(file.begin(), file.begin() + ptrdiff_t(n)))) << "cut to " << n;
    // Every header and table byte set to values that break it in different
    // ways, and a few pixel bytes.
    const size_t headers = std::min<size_t>(file.size(), 54 + 12 + 4 * 256);
    for (size_t i = 0; i < headers; ++i)
        for (uint8_t v : {uint8_t(0), uint8_t(0xFF), uint8_t(file[i] ^ 0x80), uint8_t(file[i] + 1)}) {
            Bytes spoiled = file;
            spoiled[i] = v;
            ASSERT_TRUE(SameBothWays(spoiled)) << "byte " << i << " set to " << int(v);
        }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BmpRowReaderVariants, ::testing::ValuesIn(SmallFiles()),
                         [](const auto& info) { return info.param.name; });

TEST(BmpRowReader, LargePicturesAreReadInBoundedPiecesEachByteOnce) {
    // Stored rows of 2100 bytes: several blocks, read forwards for a
    // top-down file and from the end backwards for a bottom-up one.
    for (int height : {700, -700}) {
        for (bool cut : {false, true}) {
            SCOPED_TRACE(testing::Message() << "height " << height << (cut ? " cut" : ""));
            Bytes file = Packed(Shape(700, height, 24));
            if (cut) file.resize(file.size() - 2100 * 250 - 17);
            EXPECT_TRUE(SameBothWays(file));
            WatchedStream stream(file);
            const Outcome rows = ReadRows(file, &stream);
            EXPECT_EQ(rows.shortData, cut);
            // The headers are read twice (to choose the route, then to
            // read them); every stored row once.
            EXPECT_LE(stream.bytesRead, file.size() + 54);
            EXPECT_LE(stream.largestRead, size_t(1) << 18);
        }
    }
}

TEST(BmpRowReader, ConformanceFilesGiveTheWholeReadersRows) {
    int streamed = 0, wholeOnly = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::string(VELMORA_TEST_DATA) + "/bmpsuite")) {
        if (entry.path().extension() != ".bmp") continue;
        const Bytes file = velmora::ReadWholeFile(entry.path().string());
        const ::testing::AssertionResult same = SameBothWays(file);
        EXPECT_TRUE(same) << entry.path();
        (std::string(same.message()) == "whole only" ? wholeOnly : streamed) += 1;
    }
    EXPECT_GT(streamed, 40);
    EXPECT_GT(wholeOnly, 3);  // the run-length files
}

}  // namespace
