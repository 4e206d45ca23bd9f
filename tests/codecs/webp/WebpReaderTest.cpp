// The WebP reader against dwebp: files made by cwebp, webpmux and img2webp,
// pixels compared exactly with dwebp's decode; damaged and oversized files
// refused with their cause.
#include "WebpTestSupport.h"
#include "tests/support/PixelDiff.h"

using namespace webptest;

namespace {

const Bytes kIcc = photofiles::IccProfile(300);
const Bytes kExif = photofiles::ExifWithOrientation(6, false);
const Bytes kXmp = {'<', 'x', ':', 'x', 'm', 'p', 'm', 'e', 't', 'a', '/', '>'};

struct ReaderCase {
    const char* name;
    int32_t width, height;
    bool alpha;             // the source picture has transparency
    const char* make;       // makes in.webp from a.png (and b.png)
    const char* reference;  // what dwebp decodes for the expected pixels
    bool hasAlpha, metadata;
};

const ReaderCase kReaderCases[] = {
    {"lossy", 40, 30, false, "cwebp -q 75 a.png -o in.webp", "in.webp", false, false},
    {"lossless", 40, 30, false, "cwebp -lossless a.png -o in.webp", "in.webp", false, false},
    {"lossy_alpha", 40, 30, true, "cwebp -q 75 a.png -o in.webp", "in.webp", true, false},
    {"lossless_alpha", 40, 30, true, "cwebp -lossless -exact a.png -o in.webp", "in.webp", true, false},
    // Larger than one piece fed to the decoder (noise does not compress).
    {"lossy_large", 1024, 700, false, "cwebp -q 95 a.png -o in.webp", "in.webp", false, false},
    {"lossless_large", 700, 500, true, "cwebp -lossless a.png -o in.webp", "in.webp", true, false},
    {"metadata", 40, 30, true,
     "cwebp -q 75 a.png -o p.webp && webpmux -set icc p.icc p.webp -o q.webp && webpmux -set exif e.exif q.webp -o "
     "r.webp && webpmux -set xmp x.xmp r.webp -o in.webp",
     "in.webp", true, true},
    {"animation_first_frame", 40, 30, false,
     "img2webp -lossless a.png b.png -o in.webp && webpmux -get frame 1 in.webp -o f.webp", "f.webp", false, false},
};

class WebpReader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(WebpReader, GivesDwebpsPixelsAndTheMetadata) {
    WEBP_NEED_TOOLS();
    const ReaderCase& c = GetParam();
    Folder dir;
    std::vector<uint32_t> source = Pattern(c.width, c.height, c.alpha);
    if (c.width > 100)
        for (size_t i = 0; i < source.size(); ++i) source[i] ^= uint32_t(i * 2654435761u) & 0xFFFFFF;
    Save(dir / "a.png", photofiles::PngRgba(uint32_t(c.width), uint32_t(c.height), source, c.alpha));
    std::vector<uint32_t> second = source;
    for (uint32_t& p : second) p = ~p | 0xFF000000u;
    Save(dir / "b.png", photofiles::PngRgba(uint32_t(c.width), uint32_t(c.height), second, false));
    Save(dir / "p.icc", kIcc);
    Save(dir / "e.exif", kExif);
    Save(dir / "x.xmp", kXmp);
    dir.Run(c.make);
    dir.Run(std::string("dwebp -pam ") + c.reference + " -o ref.pam");
    const Picture want = LoadPam(dir / "ref.pam");

    auto reader = NewWebpReader();
    const Picture have = ReadAll(*reader, Load(dir / "in.webp"));
    ASSERT_EQ(have.width, want.width);
    ASSERT_EQ(have.height, want.height);
    EXPECT_EQ(testsupport::FirstDifference(have.pixels, want.pixels, have.width), "");
    EXPECT_EQ(reader->HasAlpha(), c.hasAlpha);
    const TPictureMetadata& m = reader->Metadata();
    EXPECT_EQ(m.icc, c.metadata ? kIcc : Bytes{});
    EXPECT_EQ(m.exif, c.metadata ? kExif : Bytes{});
    EXPECT_EQ(m.xmp, c.metadata ? std::vector<Bytes>{kXmp} : std::vector<Bytes>{});
    EXPECT_EQ(m.orientation, c.metadata ? 6 : 0);
}

INSTANTIATE_TEST_SUITE_P(Files, WebpReader, ::testing::ValuesIn(kReaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The RIFF head with a declared size, then chunks.
Bytes Riff(uint32_t declared, const std::vector<Bytes>& chunks) {
    Bytes b = {
        'R', 'I', 'F', 'F', uint8_t(declared), uint8_t(declared >> 8), uint8_t(declared >> 16), uint8_t(declared >> 24),
        'W', 'E', 'B', 'P'};
    for (const Bytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
    return b;
}
Bytes Chunk(const char* tag, uint32_t declared, const Bytes& payload) {
    Bytes b(tag, tag + 4);
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(declared >> (8 * i)));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}
// A lossless header: signature, 14 bits width - 1, 14 bits height - 1, no
// alpha, version 0.
Bytes LosslessHead(uint32_t w, uint32_t h) {
    const uint32_t bits = (w - 1) | (h - 1) << 14;
    return {0x2F, uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
}
// A VP8X payload: flags, canvas width - 1 and height - 1 (24 bits each).
Bytes Extended(uint8_t flags, uint32_t w, uint32_t h) {
    Bytes b = {flags, 0, 0, 0};
    for (uint32_t v : {w - 1, h - 1}) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
    return b;
}

struct DamageCase {
    const char* name;
    Bytes (*make)(const Bytes& lossy, const Bytes& lossless);
    std::string message;
};

const DamageCase kDamageCases[] = {
    {"png", [](const Bytes&, const Bytes&) { return photofiles::PngRgba(2, 2, Pattern(2, 2, false)); }, kWebpNotWebp},
    {"riff_head_only", [](const Bytes&, const Bytes&) { return Riff(100, {}); }, kWebpTruncated},
    {"lossless_16383_square_one_colour",
     [](const Bytes&, const Bytes&) {
         return Riff(30, {Chunk("VP8L", 17, LosslessHead(16383, 16383)), Bytes(13, 0)});
     },
     kWebpTooLarge},
    {"animation_canvas_20000_square",
     [](const Bytes&, const Bytes&) { return Riff(22, {Chunk("VP8X", 10, Extended(0x02, 20000, 20000))}); },
     kWebpTooLarge},
    // 48 megapixels pass the size check; the data then runs out.
    {"lossless_48_megapixels_cut",
     [](const Bytes&, const Bytes&) { return Riff(1002, {Chunk("VP8L", 990, LosslessHead(8000, 6000))}); },
     kWebpTruncated},
    {"extended_without_picture",
     [](const Bytes&, const Bytes&) { return Riff(22, {Chunk("VP8X", 10, Extended(0, 10, 10))}); }, kWebpNoPicture},
    {"lossy_cut",
     [](const Bytes& lossy, const Bytes&) { return Bytes(lossy.begin(), lossy.begin() + long(lossy.size() / 2)); },
     kWebpTruncated},
    {"lossless_cut", [](const Bytes&, const Bytes& lossless) { return Bytes(lossless.begin(), lossless.end() - 40); },
     kWebpTruncated},
    {"lossy_bad_start_code",
     [](const Bytes& lossy, const Bytes&) {
         Bytes b = lossy;
         b[23] ^= 0xFF;
         return b;
     },
     std::string(kWebpDamaged) + ": bitstream error"},
};

class WebpDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(WebpDamage, IsRefusedWithItsCause) {
    WEBP_NEED_TOOLS();
    Folder dir;
    Save(dir / "a.png", photofiles::PngRgba(64, 48, Pattern(64, 48, false), false));
    dir.Run("cwebp -q 80 a.png -o lossy.webp && cwebp -lossless a.png -o lossless.webp");
    const Bytes file = GetParam().make(Load(dir / "lossy.webp"), Load(dir / "lossless.webp"));
    std::string message;
    try {
        auto reader = NewWebpReader();
        ReadAll(*reader, file);
    } catch (const EWebpError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Files, WebpDamage, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A stream that counts what was read from it.
struct CountingStream : TMemoryStream {
    using TMemoryStream::TMemoryStream;
    size_t read = 0;
    size_t Read(void* buffer, size_t count) override {
        const size_t n = TMemoryStream::Read(buffer, count);
        read += n;
        return n;
    }
};

TEST(WebpRows, TheFirstRowsComeBeforeTheFileIsRead) {
    WEBP_NEED_TOOLS();
    Folder dir;
    std::vector<uint32_t> noise = Pattern(1000, 1000, false);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] ^= uint32_t(i * 2654435761u) & 0xFFFFFF;
    Save(dir / "a.png", photofiles::PngRgba(1000, 1000, noise, false));
    dir.Run("cwebp -q 95 a.png -o in.webp");
    const Bytes file = Load(dir / "in.webp");
    ASSERT_GT(file.size(), 3u << 18);  // several pieces fed to the decoder
    CountingStream stream(file);
    auto reader = NewWebpReader();
    reader->ReadHeader(stream);
    struct FirstPush : Rows {
        const CountingStream* stream = nullptr;
        size_t readAtFirst = 0;
        void Push() override {
            if (pixels.empty()) readAtFirst = stream->read;
            Rows::Push();
        }
    } rows;
    rows.stream = &stream;
    rows.row.resize(1000);
    reader->ReadRows(rows);
    EXPECT_EQ(rows.pixels.size(), 1000u * 1000u);
    EXPECT_LT(rows.readAtFirst, file.size() / 2);
}

TEST(WebpSignature, NeedsRiffAndWebp) {
    const Bytes ok = Riff(0, {}), avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    EXPECT_TRUE(IsWebp(ok.data(), ok.size()));
    EXPECT_FALSE(IsWebp(ok.data(), 11));
    EXPECT_FALSE(IsWebp(avi.data(), avi.size()));
}

}  // namespace
