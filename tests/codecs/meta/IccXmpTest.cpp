// ICC profiles split over JPEG segments or packed into PNG iCCP chunks, and
// the orientation inside XMP packets.
#include "codecs/meta/IccProfile.h"
#include "codecs/meta/Xmp.h"

#include "tests/support/PhotoFiles.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora::meta;
using photofiles::Bytes;
using photofiles::IccSegment;

namespace {

using Spans = std::vector<std::span<const uint8_t>>;

Bytes Piece(const Bytes& p, size_t from, size_t to) { return Bytes(p.begin() + long(from), p.begin() + long(to)); }

TEST(IccSegments, AssembledBySequenceNumber) {
    const Bytes profile = photofiles::IccProfile(1000);
    const Bytes s1 = IccSegment(1, 3, Piece(profile, 0, 400));
    const Bytes s2 = IccSegment(2, 3, Piece(profile, 400, 700));
    const Bytes s3 = IccSegment(3, 3, Piece(profile, 700, 1000));
    EXPECT_EQ(AssembleIccSegments(Spans{s1, s2, s3}), profile);
    EXPECT_EQ(AssembleIccSegments(Spans{s3, s1, s2}), profile) << "stored out of order";

    EXPECT_FALSE(AssembleIccSegments(Spans{s1, s3})) << "one missing";
    EXPECT_FALSE(AssembleIccSegments(Spans{s1, s2, s2, s3})) << "one twice";
    const Bytes other = IccSegment(2, 4, Piece(profile, 400, 700));
    EXPECT_FALSE(AssembleIccSegments(Spans{s1, other, s3})) << "counts disagree";
    EXPECT_FALSE(AssembleIccSegments(Spans{IccSegment(0, 1, profile)})) << "sequence 0";
    EXPECT_FALSE(AssembleIccSegments(Spans{IccSegment(2, 1, profile)})) << "sequence past count";
    EXPECT_FALSE(AssembleIccSegments(Spans{IccSegment(1, 1, Piece(profile, 0, 999))})) << "shorter than declared";
    EXPECT_FALSE(AssembleIccSegments(Spans{}));
}

TEST(IccSegments, SplitRoundTripsAndRefusesTooLarge) {
    const Bytes profile = photofiles::IccProfile(uint32_t(2 * kIccBytesPerSegment + 5));
    const auto payloads = SplitIccProfile(profile);
    ASSERT_EQ(payloads.size(), 3u);
    Spans spans;
    for (const auto& p : payloads) {
        EXPECT_LE(p.size(), 65533u);
        spans.emplace_back(p);
    }
    EXPECT_EQ(AssembleIccSegments(spans), profile);
    EXPECT_TRUE(SplitIccProfile(Bytes(255 * kIccBytesPerSegment + 1, 0)).empty());
}

TEST(IccProfiles, OnlyCompleteRgbProfilesFitTheOutput) {
    EXPECT_TRUE(IccProfileFitsRgb(photofiles::IccProfile(300)));
    EXPECT_FALSE(IccProfileFitsRgb(photofiles::IccProfile(300, "GRAY")));
    EXPECT_FALSE(IccProfileFitsRgb(photofiles::IccProfile(300, "CMYK")));
    Bytes p = photofiles::IccProfile(300);
    p[36] = 'x';
    EXPECT_FALSE(IccProfileComplete(p)) << "no signature";
    EXPECT_FALSE(IccProfileComplete(Bytes(100, 0)));
}

TEST(IccProfiles, PngChunkInflates) {
    const Bytes profile = photofiles::IccProfile(5000);
    const Bytes chunk = photofiles::IccpChunk(profile);
    EXPECT_EQ(IccFromPngChunk(chunk), profile);
    EXPECT_FALSE(IccFromPngChunk(Bytes(chunk.begin(), chunk.end() - 4))) << "stream cut short";
    Bytes method = chunk;
    method[4] = 1;
    EXPECT_FALSE(IccFromPngChunk(method)) << "unknown compression method";
    EXPECT_FALSE(IccFromPngChunk(Bytes{0, 0, 0x78})) << "empty name";
    // A small stream that inflates past the limit is refused, not kept.
    const Bytes bomb = photofiles::IccpChunk(Bytes(kMaxIccProfile + 1, 0));
    EXPECT_FALSE(IccFromPngChunk(bomb));
}

TEST(Xmp, OrientationResetInEveryForm) {
    const std::string in =
        "<x:xmpmeta><rdf:Description tiff:Orientation=\"6\" exif:PixelXDimension=\"8\"/>"
        "<rdf:Description tiff:Orientation = '8'/><tiff:Orientation>3</tiff:Orientation>"
        "<tiff:OrientationNote>7</tiff:OrientationNote><tiff:Orientation>12</tiff:Orientation></x:xmpmeta>";
    const std::string want =
        "<x:xmpmeta><rdf:Description tiff:Orientation=\"1\" exif:PixelXDimension=\"8\"/>"
        "<rdf:Description tiff:Orientation = '1'/><tiff:Orientation>1</tiff:Orientation>"
        "<tiff:OrientationNote>7</tiff:OrientationNote><tiff:Orientation>12</tiff:Orientation></x:xmpmeta>";
    Bytes packet(in.begin(), in.end());
    ResetXmpOrientation(packet);
    EXPECT_EQ(std::string(packet.begin(), packet.end()), want);

    Bytes cut{'t', 'i', 'f', 'f', ':', 'O', 'r', 'i', 'e', 'n', 't', 'a', 't', 'i', 'o', 'n', '=', '"', '6'};
    ResetXmpOrientation(cut);  // ends inside the value: left alone, no read past the end
    EXPECT_EQ(cut.back(), '6');
}

TEST(Xmp, RecognisedByName) {
    const std::string app1 = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>";
    EXPECT_TRUE(IsXmpSegment(Bytes(app1.begin(), app1.end())));
    const std::string ext = std::string("http://ns.adobe.com/xmp/extension/") + '\0' + "GUID";
    EXPECT_TRUE(IsXmpSegment(Bytes(ext.begin(), ext.end())));
    EXPECT_FALSE(IsXmpSegment(Bytes{'E', 'x', 'i', 'f', 0, 0}));
    const std::string itxt = std::string("XML:com.adobe.xmp") + '\0' + '\0' + '\0' + '\0' + '\0' + "<x/>";
    EXPECT_TRUE(IsXmpTextChunk(Bytes(itxt.begin(), itxt.end())));
    EXPECT_FALSE(IsXmpTextChunk(Bytes{'C', 'o', 'm', 'm', 'e', 'n', 't', 0}));
}

}  // namespace
