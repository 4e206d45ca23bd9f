// Writing: exact bytes, chunk order, IDAT splitting, filters, interlacing,
// and round trips through this reader and through the independent decoder.
#include "PngTestSupport.h"
#include "tests/support/BitmapBuilder.h"

#include <zlib.h>

#include <cstring>

namespace {

using testsupport::MakeBitmap;

uint32_t Noise(int x, int y) {
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15; h *= 0x2C1B3C6Du; h ^= h >> 12;
    return h;
}

std::vector<pngref::RawChunk> ChunksOf(const std::vector<uint8_t>& file) { return pngref::Chunks(file); }

std::vector<uint8_t> ImageData(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> all;
    for (const auto& c : ChunksOf(file))
        if (c.type == "IDAT") all.insert(all.end(), c.data.begin(), c.data.end());
    return pngref::Inflate(all);
}

std::vector<uint8_t> ChunkBytes(const std::string& type, const std::vector<uint8_t>& data) {
    pngref::Builder b;
    b.Chunk(type, data);
    return std::vector<uint8_t>(b.bytes.begin() + 8, b.bytes.end());
}

}  // namespace

TEST(PngWriter, ThreeByTwoBitmapGivesTheExactFile) {
    // (x, y) -> red 10 x + 1, green 20 y + 2, blue 30 + x + y; fourth byte 0x55 (never written).
    TBitmap bmp = MakeBitmap(3, 2, TPixelFormat::pf32bit, [](int x, int y) {
        return 0x55000000u | uint32_t(10 * x + 1) << 16 | uint32_t(20 * y + 2) << 8 | uint32_t(30 + x + y);
    });
    TPngImage png;
    png.Assign(bmp);
    const auto file = SaveBytes(png);

    // Lines of red, green, blue, Sub-filtered with a 3-byte pixel distance.
    const std::vector<uint8_t> raw = {1, 1, 2, 30, 10, 0, 1, 10, 0, 1,
                                      1, 1, 22, 31, 10, 0, 1, 10, 0, 1};
    std::vector<uint8_t> want = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const auto ihdr = ChunkBytes("IHDR", {0, 0, 0, 3, 0, 0, 0, 2, 8, 2, 0, 0, 0});
    const auto idat = ChunkBytes("IDAT", pngref::Deflate(raw, 7));
    const std::vector<uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    for (const auto* part : {&ihdr, &idat, &iend}) want.insert(want.end(), part->begin(), part->end());
    EXPECT_EQ(file, want);
    EXPECT_EQ(ImageData(file), raw);
    // Saving twice gives the same bytes.
    EXPECT_EQ(SaveBytes(png), file);
}

TEST(PngWriter, ChunkOrderAndHeaderPerBitmapFormat) {
    struct Case { TPixelFormat pf; uint8_t depth, type; std::vector<std::string> chunks; size_t plte; };
    const Case cases[] = {
        {TPixelFormat::pf32bit, 8, 2, {"IHDR", "IDAT", "IEND"}, 0},
        {TPixelFormat::pf24bit, 8, 2, {"IHDR", "IDAT", "IEND"}, 0},
        {TPixelFormat::pf8bit, 8, 3, {"IHDR", "PLTE", "IDAT", "IEND"}, 256},
        {TPixelFormat::pf4bit, 4, 3, {"IHDR", "PLTE", "IDAT", "IEND"}, 16},
        {TPixelFormat::pf1bit, 1, 3, {"IHDR", "PLTE", "IDAT", "IEND"}, 2},
    };
    for (const Case& c : cases) {
        TBitmap bmp = MakeBitmap(5, 3, c.pf, [](int x, int y) { return Noise(x, y); });
        bmp.Palette.resize(c.plte);
        for (size_t i = 0; i < c.plte; ++i) bmp.Palette[i] = TRGBQuad{uint8_t(i), uint8_t(2 * i), uint8_t(255 - i), 9};
        TPngImage png;
        png.Assign(bmp);
        const auto file = SaveBytes(png);
        std::vector<std::string> names;
        for (const auto& ch : ChunksOf(file)) names.push_back(ch.type);
        EXPECT_EQ(names, c.chunks);
        const auto chunks = ChunksOf(file);
        EXPECT_EQ(chunks[0].data[8], c.depth);
        EXPECT_EQ(chunks[0].data[9], c.type);
        if (c.plte) {
            ASSERT_EQ(chunks[1].data.size(), 3 * c.plte);
            EXPECT_EQ(chunks[1].data[3], 255 - 1);  // red of entry 1
            EXPECT_EQ(chunks[1].data[5], 1);        // blue of entry 1
        }
        // Whatever the format, the independent decoder sees the bitmap's colours.
        const auto ref = pngref::OverWhite(pngref::Decode(file));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(ref[size_t(y * 5 + x)], bmp.Pixel(x, y) & 0xFFFFFF) << x << "," << y;
    }
}

TEST(PngWriter, TransparentBitmapsGetATransparencyChunk) {
    TBitmap bmp = MakeBitmap(4, 1, TPixelFormat::pf24bit, [](int x, int) { return x == 2 ? 0x102030u : 0x405060u; });
    bmp.SetTransparent(true);
    bmp.TransparentColor = 0x302010;  // 0x00BBGGRR of (0x10, 0x20, 0x30)
    TPngImage png;
    png.Assign(bmp);
    const auto chunks = ChunksOf(SaveBytes(png));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[1].type, "tRNS");
    EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{0, 0x10, 0, 0x20, 0, 0x30}));
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0x405060, 0x405060, 0xFFFFFF, 0x405060}));

    TBitmap pal = MakeBitmap(3, 1, TPixelFormat::pf8bit, [](int x, int) { return uint32_t(x); });
    pal.Palette = {TRGBQuad{1, 1, 1, 0}, TRGBQuad{2, 2, 2, 0}, TRGBQuad{3, 3, 3, 0}};
    pal.SetTransparent(true);
    pal.TransparentColor = 0x030303;
    png.Assign(pal);
    const auto pchunks = ChunksOf(SaveBytes(png));
    EXPECT_EQ(pchunks[2].type, "tRNS");
    EXPECT_EQ(pchunks[2].data, (std::vector<uint8_t>{255, 255, 0}));
}

TEST(PngWriter, ImageDataSplitAtMaxIdatSize) {
    TBitmap bmp = MakeBitmap(300, 300, TPixelFormat::pf32bit, [](int x, int y) { return Noise(x, y); });
    TPngImage png;
    png.Assign(bmp);
    EXPECT_EQ(png.MaxIdatSize(), 65535);
    png.SetMaxIdatSize(100);
    EXPECT_EQ(png.MaxIdatSize(), 65535);
    const auto file = SaveBytes(png);
    std::vector<size_t> sizes;
    for (const auto& c : ChunksOf(file))
        if (c.type == "IDAT") sizes.push_back(c.data.size());
    ASSERT_GE(sizes.size(), 4u);
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 65535u);
    EXPECT_GE(sizes.back(), 1u);
    EXPECT_LE(sizes.back(), 65535u);
    TPngImage back;
    LoadBytes(back, file);
    const auto px = DrawOverWhite(back);
    for (int y = 0; y < 300; y += 37)
        for (int x = 0; x < 300; x += 29) ASSERT_EQ(px[size_t(y * 300 + x)], Noise(x, y) & 0xFFFFFF);

    png.SetMaxIdatSize(200000);
    size_t idats = 0;
    for (const auto& c : ChunksOf(SaveBytes(png))) idats += c.type == "IDAT";
    EXPECT_EQ(idats, 2u);
}

TEST(PngWriter, FilterChoiceScoresRepeatedBytes) {
    auto firstFilter = [](uint32_t a, uint32_t b, uint32_t c, TFilters filters) {
        TBitmap bmp = MakeBitmap(3, 1, TPixelFormat::pf24bit, [&](int x, int) { return x == 0 ? a : x == 1 ? b : c; });
        TPngImage png;
        png.Assign(bmp);
        png.SetFilters(filters);
        return ImageData(SaveBytes(png))[0];
    };
    const TFilters all{TFilter::pfNone, TFilter::pfSub, TFilter::pfUp, TFilter::pfAverage, TFilter::pfPaeth};
    // Nine equal bytes: None and Up tie, the lower type wins.
    EXPECT_EQ(firstFilter(0x070707, 0x070707, 0x070707, all), 0);
    // 0,0,0, 1,1,1, 2,2,2: Sub repeats more.
    EXPECT_EQ(firstFilter(0x000000, 0x010101, 0x020202, all), 1);
    // A single filter is used as it is; an empty set means None.
    EXPECT_EQ(firstFilter(0x000000, 0x010101, 0x020202, {TFilter::pfPaeth}), 4);
    EXPECT_EQ(firstFilter(0x000000, 0x010101, 0x020202, {}), 0);
    EXPECT_EQ(firstFilter(0x000000, 0x010101, 0x020202, {TFilter::pfNone}), 0);
    // No listed filter scores: None.
    EXPECT_EQ(firstFilter(0x010204, 0x081020, 0x4080FF, {TFilter::pfUp, TFilter::pfPaeth}), 0);
}

TEST(PngWriter, RoundTripsAgreeWithTheIndependentDecoder) {
    const std::vector<TFilters> filterSets = {
        {TFilter::pfSub},
        {TFilter::pfNone, TFilter::pfSub, TFilter::pfUp, TFilter::pfAverage, TFilter::pfPaeth},
        {TFilter::pfAverage, TFilter::pfPaeth}};
    std::vector<std::pair<int, int>> sizes;
    for (int n = 1; n <= 11; ++n)
        for (int m = 1; m <= 11; m += 3) sizes.push_back({n, m});
    sizes.insert(sizes.end(), {{1, 40}, {40, 1}, {17, 1}, {1, 17}});
    const TPixelFormat formats[] = {TPixelFormat::pf32bit, TPixelFormat::pf24bit, TPixelFormat::pf8bit,
                                    TPixelFormat::pf4bit, TPixelFormat::pf1bit};
    int run = 0;
    for (auto [w, h] : sizes) {
        for (TPixelFormat pf : formats) {
            ++run;
            TBitmap bmp = MakeBitmap(w, h, pf, [&](int x, int y) { return (x + y) % 3 ? Noise(x + run, y) : 0x10203u * uint32_t(x); });
            bmp.Palette.resize(256);
            for (size_t i = 0; i < 256; ++i) bmp.Palette[i] = TRGBQuad{uint8_t(i * 7), uint8_t(i), uint8_t(i * 3), 0};
            TPngImage png;
            png.Assign(bmp);
            png.SetFilters(filterSets[size_t(run) % filterSets.size()]);
            png.SetInterlaceMethod(run % 2 ? TInterlaceMethod::imAdam7 : TInterlaceMethod::imNone);
            const auto file = SaveBytes(png);
            std::vector<uint32_t> want;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) want.push_back(bmp.Pixel(x, y) & 0xFFFFFF);
            SCOPED_TRACE(testing::Message() << w << "x" << h << " format " << int(pf) << " run " << run);
            const pngref::Image ref = pngref::Decode(file);
            EXPECT_EQ(ref.interlace, run % 2);
            ASSERT_EQ(pngref::OverWhite(ref), want);
            TPngImage back;
            LoadBytes(back, file);
            ASSERT_EQ(DrawOverWhite(back), want);
        }
    }
}

TEST(PngWriter, InterlaceMethodCarriesOverFromTheLastFileRead) {
    TPngImage png;
    png.LoadFromFile(SuitePath("basi2c08.png"));
    EXPECT_EQ(png.InterlaceMethod(), TInterlaceMethod::imAdam7);
    TBitmap bmp = MakeBitmap(9, 7, TPixelFormat::pf32bit, [](int x, int y) { return Noise(x, y); });
    png.Assign(bmp);
    auto file = SaveBytes(png);
    EXPECT_EQ(ChunksOf(file)[0].data[12], 1);
    EXPECT_EQ(pngref::Decode(file).interlace, 1);

    png.LoadFromFile(SuitePath("basn2c08.png"));
    png.Assign(bmp);
    file = SaveBytes(png);
    EXPECT_EQ(ChunksOf(file)[0].data[12], 0);
}

TEST(PngWriter, ReadImagesWriteBackTheirPixels) {
    // Every valid suite image written again by the same object decodes
    // (independently) to the same picture over white as the original.
    for (const char* name : {"basn0g02.png", "basi0g04.png", "basn3p02.png", "basi3p04.png", "basn0g16.png",
                             "basn2c16.png", "basi4a16.png", "basn6a08.png", "g10n2c08.png", "g25n3p04.png",
                             "tbrn2c08.png", "tp1n3p08.png"}) {
        SCOPED_TRACE(name);
        TPngImage png;
        png.LoadFromFile(SuitePath(name));
        const auto before = DrawOverWhite(png);
        const auto file = SaveBytes(png);
        TPngImage back;
        LoadBytes(back, file);
        EXPECT_EQ(DrawOverWhite(back), before);
    }
}

TEST(PngWriter, AssignCopiesAndClears) {
    TPngImage src;
    src.LoadFromFile(SuitePath("g03n2c08.png"));
    src.SetCompressionLevel(3);
    TPngImage copy;
    copy.Assign(src);
    EXPECT_EQ(copy.Chunks().Count(), src.Chunks().Count());
    EXPECT_EQ(copy.CompressionLevel(), 3);
    EXPECT_EQ(copy.InverseGamma, src.InverseGamma);
    EXPECT_EQ(DrawOverWhite(copy), DrawOverWhite(src));
    src.Assign(nullptr);  // the copy is independent
    EXPECT_TRUE(src.Empty());
    EXPECT_EQ(copy.Width(), 32);
    EXPECT_EQ(SaveBytes(copy).size() > 100, true);
    // Chunks of different classes do not assign.
    TChunkIEND iend(&copy);
    TChunkIDAT idat(&copy);
    EXPECT_THROW(iend.Assign(idat), EPngError);
}

TEST(PngWriter, EmptyImagesAreNeverEncoded) {
    TPngImage png;
    TMemoryStream out;
    EXPECT_THROW(png.SaveToStream(out), EPNGHeaderNotPresent);
    TBitmap empty;
    empty.SetPixelFormat(TPixelFormat::pf32bit);
    empty.SetSize(0, 5);
    png.Assign(empty);
    EXPECT_EQ(png.Width(), 0);
    EXPECT_EQ(png.Height(), 5);
    EXPECT_THROW(png.SaveToStream(out), EPNGInvalidSize);
    EXPECT_EQ(out.Size(), 0);
    std::vector<uint32_t> canvas(4, 1);
    TCanvas c{canvas.data(), 2, 2};
    png.Draw(c, TRect(0, 0, 2, 2));
    EXPECT_EQ(canvas, std::vector<uint32_t>(4, 1));
}

TEST(PngWriter, AddingChunksFollowsTheOrderRules) {
    TPngImage png;
    TBitmap bmp = MakeBitmap(2, 2, TPixelFormat::pf24bit, [](int, int) { return 0u; });
    png.Assign(bmp);
    auto* phys = png.Chunks().Add<TChunkpHYs>();
    EXPECT_EQ(phys->Index(), 1);
    auto* text = png.Chunks().Add<TChunktEXt>();
    EXPECT_EQ(text->Index(), png.Chunks().Count() - 2);
    auto* trns = png.Chunks().Add<TChunktRNS>();
    EXPECT_EQ(trns->Index(), png.Chunks().IndexOf(png.Chunks().FindChunk<TChunkIDAT>()) - 1);
    EXPECT_THROW(png.Chunks().Add<TChunktRNS>(), EPngError);
    EXPECT_THROW(png.Chunks().Add<TChunkIDAT>(), EPngError);
    TPngImage empty;
    try {
        empty.Chunks().Add<TChunktEXt>();
        ADD_FAILURE();
    } catch (const EPngError& e) {
        EXPECT_EQ(e.Message(), "It's not allowed to add a new chunk because the current image is invalid.");
    }
}

namespace {

// The table's first entries are those the PNG standard's sample code prints;
// the fast register update agrees with stepping through the table byte by
// byte at every length and starting value.
TEST(PngCrc, TableAndFastUpdateAgree) {
    const uint32_t* table = CrcTable();
    EXPECT_EQ(table[0], 0x00000000u);
    EXPECT_EQ(table[1], 0x77073096u);
    EXPECT_EQ(table[255], 0x2D02EF8Du);
    std::vector<uint8_t> data(300);
    uint32_t seed = 12345;
    for (auto& b : data) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(64), data.size()}) {
        for (uint32_t start : {0xFFFFFFFFu, 0x1234ABCDu, 0u}) {
            uint32_t slow = start;
            for (size_t i = 0; i < n; ++i) slow = table[(slow ^ data[i]) & 0xFF] ^ (slow >> 8);
            EXPECT_EQ(UpdateCrc(start, data.data(), n), slow) << n << " from " << start;
        }
    }
    const char* iend = "IEND";
    EXPECT_EQ(~UpdateCrc(0xFFFFFFFFu, iend, 4), 0xAE426082u);  // the CRC every PNG file ends with
}

}  // namespace
