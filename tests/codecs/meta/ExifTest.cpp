// EXIF orientation and the output copy of an EXIF block, on blocks built by
// hand in both byte orders, including blocks that lie about their layout.
#include "codecs/meta/Exif.h"

#include "tests/support/PhotoFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>

using namespace velmora::meta;
using photofiles::Bytes;
using photofiles::TiffBuilder;

namespace {

int Orientation(const Bytes& b) { return ExifOrientation(b.data(), b.size()); }

// Offset of IFD0's first entry in a TiffBuilder block.
constexpr size_t kFirstEntry = 10;

TEST(ExifOrientation, ReadsEveryValueInBothByteOrders) {
    for (bool little : {true, false})
        for (uint16_t v = 1; v <= 8; ++v) {
            TiffBuilder t(little);
            t.ifd0 = {t.Ascii(0x010F, "Camera maker"), t.Short(0x0112, v), t.Long(0x011A, 72)};
            EXPECT_EQ(Orientation(t.Build()), v) << "little " << little << " value " << v;
        }
}

TEST(ExifOrientation, AbsentOrUntrustworthyTagGivesNone) {
    TiffBuilder t(true);
    t.ifd0 = {t.Ascii(0x010F, "Camera maker")};
    EXPECT_EQ(Orientation(t.Build()), 0) << "no tag";
    for (uint16_t v : std::initializer_list<uint16_t>{0, 9, 0xFFFF})
        EXPECT_EQ(Orientation(photofiles::ExifWithOrientation(v)), 0) << v;

    t.ifd0 = {t.Long(0x0112, 6)};
    EXPECT_EQ(Orientation(t.Build()), 0) << "stored as LONG";
    t.ifd0 = {{0x0112, 3, 2, t.U32(0x00060006)}};
    EXPECT_EQ(Orientation(t.Build()), 0) << "two values";
    t.ifd0 = {t.Short(0x0112, 6), t.Short(0x0112, 6)};
    EXPECT_EQ(Orientation(t.Build()), 0) << "tag given twice";
}

// A big-endian block with orientation 6, changed to lie about its layout.
struct Lie {
    const char* name;
    std::function<void(Bytes&)> change;
};

class ExifLyingLayout : public ::testing::TestWithParam<Lie> {};

TEST_P(ExifLyingLayout, GivesNone) {
    Bytes b = photofiles::ExifWithOrientation(6, false);
    ASSERT_EQ(Orientation(b), 6);
    GetParam().change(b);
    EXPECT_EQ(Orientation(b), 0);
}

INSTANTIATE_TEST_SUITE_P(ExifOrientation, ExifLyingLayout,
                         ::testing::Values(Lie{"BadMagic", [](Bytes& b) { b[2] = b[3] = 0; }},  // not 42
                                           Lie{"NoByteOrderMark", [](Bytes& b) { b[0] = b[1] = 'X'; }},
                                           Lie{"Ifd0PastTheBlock", [](Bytes& b) { b[4] = 0x7F; }},
                                           // offset + entries would wrap 32 bits
                                           Lie{"Ifd0OffsetOverflows",
                                               [](Bytes& b) { b[4] = b[5] = b[6] = 0xFF, b[7] = 0xF8; }},
                                           Lie{"Ifd0InsideTheHeader", [](Bytes& b) { b[7] = 2; }},
                                           // 65535 entries in a block of a few bytes
                                           Lie{"EntryCountPastTheBlock", [](Bytes& b) { b[8] = 0xFF, b[9] = 0xFF; }},
                                           Lie{"Empty", [](Bytes& b) { b.clear(); }}),
                         [](const ::testing::TestParamInfo<Lie>& info) { return std::string(info.param.name); });

TEST(ExifOrientation, NoBlockGivesNone) { EXPECT_EQ(ExifOrientation(nullptr, 100), 0); }

// Every prefix of a block and every single flipped byte: the reader and the
// rewriter only give an answer, never read outside (checked by the sanitizer
// build) or loop.
TEST(ExifOrientation, TruncatedAndCorruptedBlocksAreSafe) {
    TiffBuilder t(true);
    t.ifd0 = {t.Ascii(0x010F, "Camera maker"), t.Short(0x0112, 8)};
    t.exif = {t.Long(0xA002, 4000), t.Long(0xA003, 3000), t.Ascii(0x9003, "2024:01:01 10:00:00")};
    t.thumbnail = Bytes(40, 0xD8);
    const Bytes good = t.Build();
    ASSERT_EQ(Orientation(good), 8);
    const TExifRewrite how{true, 64, 48};
    for (size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + long(n));
        const int o = Orientation(cut);
        EXPECT_TRUE(o == 0 || o == 8) << n;
        (void)RewriteExif(cut.data(), cut.size(), how);
    }
    for (size_t i = 0; i < good.size(); ++i)
        for (uint8_t x : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
            Bytes bad = good;
            bad[i] ^= x;
            const int o = Orientation(bad);
            EXPECT_TRUE(o >= 0 && o <= 8);
            const auto out = RewriteExif(bad.data(), bad.size(), how);
            if (out) {
                EXPECT_LE(out->size(), bad.size());
            }
        }
}

TEST(RewriteExif, ResetsOrientationDropsThumbnailAndUpdatesSize) {
    for (bool little : {true, false}) {
        TiffBuilder t(little);
        t.ifd0 = {t.Ascii(0x010F, "Camera maker"), t.Short(0x0112, 6)};
        t.exif = {t.Short(0xA002, 4000), t.Long(0xA003, 3000)};
        t.thumbnail = Bytes(300, 0xAB);
        const Bytes in = t.Build();
        const auto out = RewriteExif(in.data(), in.size(), TExifRewrite{true, 480, 640});
        ASSERT_TRUE(out) << little;
        EXPECT_EQ(Orientation(*out), 1);
        // The thumbnail was the last thing in the block: cut off, and nothing
        // of it is left.
        EXPECT_LT(out->size(), in.size() - 300 + 1);
        EXPECT_EQ(std::count(out->begin(), out->end(), 0xAB), 0);
        // IFD0's link to IFD1 is 0: right after its 3 entries.
        const size_t link = kFirstEntry + 3 * 12;
        EXPECT_EQ((*out)[link] | (*out)[link + 1] | (*out)[link + 2] | (*out)[link + 3], 0);
        // The maker's name stays where it was.
        const std::string text(out->begin(), out->end());
        EXPECT_NE(text.find("Camera maker"), std::string::npos);
        // Pixel dimensions: 480 as SHORT, 640 as LONG, both read back by
        // their entry positions in the Exif IFD (after IFD0's 3 entries).
        const size_t exifIfd = kFirstEntry + 3 * 12 + 4;
        auto u16 = [&](size_t o) { return little ? (*out)[o] | (*out)[o + 1] << 8 : (*out)[o] << 8 | (*out)[o + 1]; };
        EXPECT_EQ(u16(exifIfd + 2 + 8), 480);
        EXPECT_EQ(u16(exifIfd + 2 + 12 + 8 + (little ? 0 : 2)), 640);
    }
}

TEST(RewriteExif, KeepsOrientationWhenAskedAndRefusesWhatItCannotWalk) {
    const Bytes in = photofiles::ExifWithOrientation(6);
    const auto kept = RewriteExif(in.data(), in.size(), TExifRewrite{false, 0, 0});
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, in);

    Bytes broken = in;
    broken[8] = 0xFF;  // entry count past the block
    EXPECT_FALSE(RewriteExif(broken.data(), broken.size(), TExifRewrite{}));

    // A wrongly typed orientation becomes a proper SHORT 1.
    TiffBuilder t(true);
    t.ifd0 = {t.Long(0x0112, 6)};
    const Bytes wrong = t.Build();
    const auto fixed = RewriteExif(wrong.data(), wrong.size(), TExifRewrite{});
    ASSERT_TRUE(fixed);
    EXPECT_EQ(Orientation(*fixed), 1);
}

TEST(RewriteExif, IfdLoopsEnd) {
    TiffBuilder t(true);
    t.ifd0 = {t.Short(0x0112, 3)};
    t.exif = {t.Long(0xA002, 10)};
    Bytes b = t.Build();
    // The Exif IFD (after IFD0's 2 entries) links to itself as Interop IFD,
    // and IFD0 names itself as IFD1.
    const size_t exifAt = kFirstEntry + 2 * 12 + 4;
    Bytes loop = b;
    loop[exifAt + 2 + 0] = 0x05, loop[exifAt + 2 + 1] = 0xA0;  // tag A005
    loop[exifAt + 2 + 2] = 4;                                   // LONG
    loop[exifAt + 2 + 8] = uint8_t(exifAt);
    loop[exifAt + 2 + 9] = 0;
    const size_t link = kFirstEntry + 2 * 12;
    loop[link] = 8;
    const auto out = RewriteExif(loop.data(), loop.size(), TExifRewrite{});
    ASSERT_TRUE(out);
    EXPECT_EQ(Orientation(*out), 1);
    EXPECT_EQ(out->size(), loop.size()) << "nothing is cleared when IFD1 is IFD0";
}

}  // namespace
