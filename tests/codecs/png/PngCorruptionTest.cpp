// Damaged input: every byte flipped (with and without the chunk CRC
// repaired, so the damage reaches the parsers), every truncation. Loading
// either succeeds or raises an Exception subclass; a loaded image draws and
// saves without fault.
#include "PngTestSupport.h"

#include <zlib.h>

namespace {

enum class Outcome { Loaded, Refused };

Outcome Exercise(const std::vector<uint8_t>& bytes) {
    TPngImage png;
    try {
        LoadBytes(png, bytes);
    } catch (const Exception&) {
        return Outcome::Refused;
    }
    if (!png.Empty() && png.Width() > 0 && png.Height() > 0 && png.Width() <= 256 && png.Height() <= 256) {
        try {
            DrawOverWhite(png);
            TMemoryStream out;
            png.SaveToStream(out);
        } catch (const Exception&) {
        }
    }
    return Outcome::Loaded;
}

// Recomputes the CRC of the chunk holding byte `at`, if the chunk structure
// up to there is still intact.
void RepairCrc(std::vector<uint8_t>& b, size_t at) {
    size_t pos = 8;
    while (pos + 12 <= b.size()) {
        const uint32_t len = uint32_t(b[pos]) << 24 | uint32_t(b[pos + 1]) << 16 | uint32_t(b[pos + 2]) << 8 | b[pos + 3];
        if (len > b.size() - pos - 12) return;
        const size_t end = pos + 8 + len;
        if (at < end) {
            const uint32_t crc = uint32_t(crc32(0, &b[pos + 4], uInt(len + 4)));
            b[end] = uint8_t(crc >> 24); b[end + 1] = uint8_t(crc >> 16);
            b[end + 2] = uint8_t(crc >> 8); b[end + 3] = uint8_t(crc);
            return;
        }
        pos = end + 4;
    }
}

class PngCorruption : public testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(PngCorruption, FlippedBytesAndTruncationsOnlyFailWithExceptions) {
    const auto original = pngref::ReadFile(SuitePath(GetParam()));
    ASSERT_EQ(Exercise(original), Outcome::Loaded);
    size_t refused = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        for (uint8_t mask : {uint8_t(0xFF), uint8_t(0x01)}) {
            auto damaged = original;
            damaged[i] ^= mask;
            refused += Exercise(damaged) == Outcome::Refused;
            RepairCrc(damaged, i);
            Exercise(damaged);
        }
    }
    for (size_t n = 0; n < original.size(); ++n)
        EXPECT_EQ(Exercise(std::vector<uint8_t>(original.begin(), original.begin() + long(n))), Outcome::Refused)
            << "truncated to " << n;
    EXPECT_GT(refused, original.size());  // damage is noticed, mostly by the CRCs
}

INSTANTIATE_TEST_SUITE_P(Files, PngCorruption,
                         testing::Values("basn0g01.png", "basi3p02.png", "basi6a08.png", "basn2c16.png", "tbbn3p08.png",
                                         "basi4a08.png", "g04n0g16.png", "ccwn3p08.png"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string n = info.param;
                             return n.substr(0, n.size() - 4);
                         });
