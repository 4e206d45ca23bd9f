// Reading: the conformance suite against an independent decoder, the error
// table, and hand-made files for the cases the suite does not cover.
#include "PngTestSupport.h"

#include <zlib.h>

#include <dirent.h>

#include <algorithm>
#include <functional>
#include <typeinfo>

using pngref::Builder;

namespace {

std::vector<std::string> SuiteFiles(bool corrupt) {
    std::vector<std::string> names;
    if (DIR* d = opendir((std::string(VELMORA_TEST_DATA) + "/pngsuite").c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".png" && (n[0] == 'x') == corrupt) names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
    return info.param.substr(0, info.param.size() - 4);
}

// A one-row 8-bit grey image with the given raw (filtered) scan lines.
std::vector<uint8_t> GreyImageData(uint32_t w, uint32_t h, uint8_t base = 10) {
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < w; ++x) raw.push_back(uint8_t(base + x + 7 * y));
    }
    return raw;
}

template <class E>
void ExpectLoadFails(const std::vector<uint8_t>& bytes) {
    TPngImage png;
    try {
        LoadBytes(png, bytes);
        ADD_FAILURE() << "no exception, expected " << typeid(E).name();
    } catch (const Exception& e) {
        EXPECT_EQ(typeid(e), typeid(E)) << "got " << typeid(e).name() << ": " << e.what();
    }
}

}  // namespace

// ------------------------------------------------------------ conformance

class PngSuiteValid : public testing::TestWithParam<std::string> {};

TEST_P(PngSuiteValid, DrawsTheReferencePixelsOverWhite) {
    const std::string path = SuitePath(GetParam());
    const std::vector<uint8_t> bytes = pngref::ReadFile(path);
    const pngref::Image ref = pngref::Decode(bytes);

    TPngImage png;
    png.LoadFromFile(path);
    ASSERT_EQ(png.Width(), int32_t(ref.width));
    ASSERT_EQ(png.Height(), int32_t(ref.height));
    EXPECT_EQ(png.InterlaceMethod(), ref.interlace ? TInterlaceMethod::imAdam7 : TInterlaceMethod::imNone);
    const auto have = DrawOverWhite(png);
    const auto want = pngref::OverWhite(ref);
    EXPECT_EQ(have, want) << testsupport::FirstDifference(have, want, int(ref.width));
}

INSTANTIATE_TEST_SUITE_P(Suite, PngSuiteValid, testing::ValuesIn(SuiteFiles(false)), TestName);

struct CorruptCase {
    const char* file;
    std::function<void(TPngImage&, const std::string&)> check;
};

template <class E>
void Fails(TPngImage& png, const std::string& path) {
    try {
        png.LoadFromFile(path);
        ADD_FAILURE() << path << " loaded";
    } catch (const Exception& e) {
        EXPECT_EQ(typeid(e), typeid(E)) << path << ": " << typeid(e).name() << " " << e.what();
    }
}

TEST(PngSuiteCorrupt, EachFileFailsWithItsErrorClass) {
    const std::vector<std::pair<std::string, void (*)(TPngImage&, const std::string&)>> cases = {
        {"xc1n0g08.png", &Fails<EPNGInvalidColorFormat>},  // colour type 1
        {"xc9n2c08.png", &Fails<EPNGInvalidColorFormat>},  // colour type 9
        {"xcrn0g04.png", &Fails<EPNGInvalidFileHeader>},   // CR added to the signature
        {"xcsn0g01.png", &Fails<EPngInvalidCRC>},          // IDAT checksum
        {"xd0n2c08.png", &Fails<EPNGInvalidColorFormat>},  // bit depth 0
        {"xd3n2c08.png", &Fails<EPNGInvalidColorFormat>},  // bit depth 3
        {"xd9n2c08.png", &Fails<EPNGInvalidColorFormat>},  // bit depth 99
        {"xdtn0g01.png", &Fails<EPNGNoImageData>},         // no IDAT
        {"xhdn0g08.png", &Fails<EPngInvalidCRC>},          // IHDR checksum
        {"xlfn0g04.png", &Fails<EPNGInvalidFileHeader>},   // LF added to the signature
        {"xs1n0g01.png", &Fails<EPNGInvalidFileHeader>},
        {"xs2n0g01.png", &Fails<EPNGInvalidFileHeader>},
        {"xs4n0g01.png", &Fails<EPNGInvalidFileHeader>},
        {"xs7n0g01.png", &Fails<EPNGInvalidFileHeader>},
    };
    std::vector<std::string> covered;
    for (const auto& [file, check] : cases) {
        TPngImage png;
        check(png, SuitePath(file));
        covered.push_back(file);
    }
    EXPECT_EQ(covered, SuiteFiles(true)) << "every corrupt file of the suite has its case";
}

// ------------------------------------------------------------ pixel layout

TEST(PngReader, Rgb8KeepsFilePixelsAsBlueGreenRedRowsBottomUp) {
    const std::vector<uint8_t> raw = {0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12};  // 2 x 2
    const auto file = Builder().Ihdr(2, 2, 8, 2).Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes;
    TPngImage png;
    LoadBytes(png, file);
    TChunkIHDR* h = png.Header();
    EXPECT_EQ(h->BitCount, 24);
    EXPECT_EQ(h->BytesPerRow, 8u);
    // Memory order: bottom row first.
    const uint8_t* bits = h->ImageData.Data();
    EXPECT_EQ(std::vector<uint8_t>(bits, bits + 16),
              (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
    EXPECT_EQ(png.Scanline(0), bits + 8);
    EXPECT_EQ(png.TransparencyMode(), TPNGTransparencyMode::ptmNone);
    EXPECT_FALSE(png.Transparent());
}

TEST(PngReader, TwoBitGreyAndPaletteBecomeFourBitPixels) {
    // 4 pixels of 2 bits: samples 0, 1, 2, 3 packed into one byte.
    const std::vector<uint8_t> raw = {0, 0x1B};
    const auto grey = Builder().Ihdr(4, 1, 2, 0).Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes;
    TPngImage png;
    LoadBytes(png, grey);
    EXPECT_EQ(png.Header()->BitCount, 4);
    EXPECT_EQ(png.Scanline(0)[0], 0x05);  // values 5 x v
    EXPECT_EQ(png.Scanline(0)[1], 0xAF);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}));

    const auto pal = Builder()
                         .Ihdr(4, 1, 2, 3)
                         .Chunk("PLTE", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
                         .Chunk("IDAT", pngref::Deflate(raw))
                         .Iend()
                         .bytes;
    LoadBytes(png, pal);
    EXPECT_EQ(png.Scanline(0)[0], 0x01);
    EXPECT_EQ(png.Scanline(0)[1], 0x23);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0x010203, 0x040506, 0x070809, 0x0A0B0C}));
}

// ------------------------------------------------------------ chunks

TEST(PngReader, ChunkListKeepsAncillaryChunksAndDropsChrm) {
    const auto file = Builder()
                          .Ihdr(3, 2, 8, 0)
                          .ChunkBadCrc("cHRM", std::vector<uint8_t>(32, 1))  // skipped unread
                          .Chunk("teSt", {1, 2, 3})
                          .Chunk("tIME", {0x07, 0xE8, 2, 29, 13, 14, 15})
                          .Chunk("pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1})
                          .Chunk("tEXt", {'K', 0, 'v', 'a', 'l'})
                          .Chunk("zTXt", [] {
                              std::vector<uint8_t> d = {'Z', 0, 0};
                              const auto c = pngref::Deflate({'h', 'e', 'l', 'l', 'o'});
                              d.insert(d.end(), c.begin(), c.end());
                              return d;
                          }())
                          .Chunk("IDAT", pngref::Deflate(GreyImageData(3, 2)))
                          .Chunk("IDAT", {})  // a second run of IDAT is skipped
                          .Iend()
                          .bytes;
    TPngImage png;
    LoadBytes(png, file);
    std::vector<std::string> names;
    for (int i = 0; i < png.Chunks().Count(); ++i) names.push_back(png.Chunks().Item(i)->NameString());
    EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "teSt", "tIME", "pHYs", "tEXt", "zTXt", "IDAT", "IEND"}));
    EXPECT_EQ(png.Chunks().Item(1)->DataSize(), 3u);
    EXPECT_EQ(png.Chunks().Item(99), nullptr);
    auto* time = png.Chunks().FindChunk<TChunktIME>();
    EXPECT_EQ(time->Year, 2024);
    EXPECT_EQ(time->Second, 15);
    auto* phys = png.Chunks().FindChunk<TChunkpHYs>();
    EXPECT_EQ(phys->PPUnitX, 2835u);
    EXPECT_EQ(phys->Unit, TUnitType::utMeter);
    auto* text = dynamic_cast<TChunktEXt*>(png.Chunks().Item(4));
    EXPECT_EQ(text->Keyword, "K");
    EXPECT_EQ(text->Text, "val");
    auto* ztext = png.Chunks().FindChunk<TChunkzTXt>();
    EXPECT_EQ(ztext->Text, "hello");
    EXPECT_EQ(DrawOverWhite(png)[4], 0x121212u);  // 10 + 1 + 7
}

TEST(PngReader, ImageDataSpanningManyChunks) {
    const auto compressed = pngref::Deflate(GreyImageData(20, 9));
    Builder b;
    b.Ihdr(20, 9, 8, 0);
    for (uint8_t byte : compressed) b.Chunk("IDAT", {byte});
    b.Chunk("IDAT", {}).Iend();
    TPngImage png;
    LoadBytes(png, b.bytes);
    EXPECT_EQ(DrawOverWhite(png), pngref::OverWhite(pngref::Decode(b.bytes)));
    EXPECT_EQ(DrawOverWhite(png)[20 * 8 + 19], 0x555555u);  // 10 + 19 + 7 x 8
}

TEST(PngReader, RowsFinishingInsideALargeImageChunkStillLoad) {
    // One IDAT chunk: the zlib stream, then far more than one 65535-byte
    // refill of trailing bytes. The CRC belongs after all of them.
    std::vector<uint8_t> data = pngref::Deflate(GreyImageData(5, 4));
    data.resize(data.size() + 200000, 0xA5);
    const auto file = Builder().Ihdr(5, 4, 8, 0).Chunk("IDAT", data).Iend().bytes;
    TPngImage png;
    ASSERT_NO_THROW(LoadBytes(png, file));
    EXPECT_EQ(png.Chunks().Count(), 3);
    EXPECT_EQ(DrawOverWhite(png)[19], uint32_t(0x010101 * (10 + 4 + 21)));

    // The same with the CRC damaged fails.
    auto bad = file;
    bad[bad.size() - 13] ^= 1;  // last byte of the IDAT CRC
    ExpectLoadFails<EPngInvalidCRC>(bad);
}

TEST(PngReader, CompressedDataEndingBeforeTheLastRowEndsTheRows) {
    // Two of four rows in the zlib stream; the rows after it stay zero.
    const auto file = Builder().Ihdr(3, 4, 8, 0).Chunk("IDAT", pngref::Deflate(GreyImageData(3, 2))).Iend().bytes;
    TPngImage png;
    ASSERT_NO_THROW(LoadBytes(png, file));
    EXPECT_TRUE(png.ShortData);
    const auto px = DrawOverWhite(png);
    EXPECT_EQ(px[0], 0x0A0A0Au);
    EXPECT_EQ(px[5], 0x131313u);  // 10 + 2 + 7
    EXPECT_EQ(px[6], 0u);
    EXPECT_EQ(px[11], 0u);
    // The whole picture there: no shortage, also after a short one.
    LoadBytes(png, Builder().Ihdr(3, 4, 8, 0).Chunk("IDAT", pngref::Deflate(GreyImageData(3, 4))).Iend().bytes);
    EXPECT_FALSE(png.ShortData);
}

TEST(PngReader, ImageDataTooShortForTheDeclaredRowsIsRefusedUpFront) {
    // 20000 x 20000 RGB needs 1.2 GB of rows; 20 bytes of deflate data can
    // give at most about 20 KB.
    const auto tiny = pngref::Deflate(GreyImageData(3, 2));
    ExpectLoadFails<EPNGMissingMultipleIDAT>(Builder().Ihdr(20000, 20000, 8, 2).Chunk("IDAT", tiny).Iend().bytes);
    // The data counted is every IDAT chunk of the file: split data at the
    // best ratio deflate has still loads.
    const std::vector<uint8_t> zeros(size_t(4000) * (3 * 4000 + 1), 0);
    const auto packed = pngref::Deflate(std::vector<uint8_t>(zeros));
    const size_t half = packed.size() / 2;
    TPngImage png;
    ASSERT_NO_THROW(LoadBytes(png, Builder()
                                       .Ihdr(4000, 4000, 8, 2)
                                       .Chunk("IDAT", std::vector<uint8_t>(packed.begin(), packed.begin() + half))
                                       .Chunk("IDAT", std::vector<uint8_t>(packed.begin() + half, packed.end()))
                                       .Iend()
                                       .bytes));
    EXPECT_FALSE(png.ShortData);
}

TEST(PngReader, ImageDataErrors) {
    const auto compressed = pngref::Deflate(GreyImageData(6, 6));
    const std::vector<uint8_t> first(compressed.begin(), compressed.begin() + 10);
    const std::vector<uint8_t> rest(compressed.begin() + 10, compressed.end());
    // A foreign chunk between two parts of unfinished data.
    ExpectLoadFails<EPNGMissingMultipleIDAT>(
        Builder().Ihdr(6, 6, 8, 0).Chunk("IDAT", first).Chunk("teXt", {}).Chunk("IDAT", rest).Iend().bytes);
    // CRC of an inner IDAT.
    ExpectLoadFails<EPngInvalidCRC>(
        Builder().Ihdr(6, 6, 8, 0).ChunkBadCrc("IDAT", first).Chunk("IDAT", rest).Iend().bytes);
    // Not a zlib stream.
    std::vector<uint8_t> garbage(40, 0xFF);
    TPngImage png;
    try {
        LoadBytes(png, Builder().Ihdr(6, 6, 8, 0).Chunk("IDAT", garbage).Iend().bytes);
        ADD_FAILURE() << "loaded";
    } catch (const EPNGZLIBError& e) {
        EXPECT_EQ(e.Message(),
                  "Could not decompress the image because it contains invalid compressed data.\r\n Description: data "
                  "error (-3)");
    }
    // A stream that asks for a preset dictionary cannot go on (and must not spin).
    std::vector<uint8_t> dict = {0x78, 0xBB, 0, 0, 0, 1, 0x03, 0x00};
    ExpectLoadFails<EPNGZLIBError>(Builder().Ihdr(6, 6, 8, 0).Chunk("IDAT", dict).Iend().bytes);
    // Data cut off at the end of the stream: the rows end, then the CRC test fails.
    auto cut = Builder().Ihdr(6, 6, 8, 0).Chunk("IDAT", compressed).bytes;
    cut.resize(cut.size() - 4 - compressed.size() / 2);
    ExpectLoadFails<EPngInvalidCRC>(cut);
}

TEST(PngReader, HeaderAndStructureErrors) {
    const auto idat = pngref::Deflate(GreyImageData(2, 2));
    ExpectLoadFails<EPNGInvalidFileHeader>({1, 2, 3});
    ExpectLoadFails<EPngUnexpectedEnd>(Builder().bytes);
    ExpectLoadFails<EPngUnexpectedEnd>(Builder().Ihdr(2, 2, 8, 0).Chunk("IDAT", idat).bytes);
    ExpectLoadFails<EPNGIHDRNotFirst>(Builder().Chunk("gAMA", {0, 0, 0xB1, 0x8F}).Ihdr(2, 2, 8, 0).bytes);
    ExpectLoadFails<EPngInvalidIHDR>(Builder().Chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 2, 8, 0, 0, 0}).bytes);
    ExpectLoadFails<EPngInvalidIHDR>(Builder().Ihdr(2, 2, 8, 0).Ihdr(2, 2, 8, 0).bytes);
    ExpectLoadFails<EPNGSizeExceeds>(Builder().Ihdr(65536, 1, 8, 0).bytes);
    ExpectLoadFails<EPNGSizeExceeds>(Builder().Ihdr(1, 70000, 8, 0).bytes);
    ExpectLoadFails<EPNGUnknownCompression>(Builder().Ihdr(2, 2, 8, 0, 0, 1).bytes);
    ExpectLoadFails<EPNGUnknownInterlace>(Builder().Ihdr(2, 2, 8, 0, 2).bytes);
    ExpectLoadFails<EPNGInvalidSize>(Builder().Ihdr(0, 2, 8, 0).bytes);
    ExpectLoadFails<EPNGInvalidSize>(Builder().Ihdr(2, 0, 8, 0).bytes);
    // Pictures beyond the pixel budget fail before any allocation.
    ExpectLoadFails<EPNGOutMemory>(Builder().Ihdr(65535, 65535, 16, 6).bytes);
    ExpectLoadFails<EPNGUnknownCriticalChunk>(Builder().Ihdr(2, 2, 8, 0).Chunk("ABCD", {}).bytes);
    ExpectLoadFails<EPNGNoImageData>(Builder().Ihdr(2, 2, 8, 0).Iend().bytes);
    ExpectLoadFails<EPngInvalidCRC>(Builder().Ihdr(2, 2, 8, 0).ChunkBadCrc("teXt", {1}).bytes);
    ExpectLoadFails<EPNGInvalidPalette>(Builder().Ihdr(2, 2, 8, 3).Chunk("PLTE", {1, 2, 3, 4}).bytes);
    ExpectLoadFails<EPNGInvalidPalette>(Builder().Ihdr(2, 2, 8, 3).Chunk("PLTE", std::vector<uint8_t>(771)).bytes);
    ExpectLoadFails<EPNGInvalidPalette>(Builder().Ihdr(2, 2, 8, 3).Chunk("tRNS", std::vector<uint8_t>(257)).bytes);
    ExpectLoadFails<EPNGMissingPalette>(Builder().Ihdr(2, 2, 8, 3).Chunk("IDAT", idat).Iend().bytes);
    // Lengths past the end of the stream or past the format's limit.
    auto huge = Builder().Ihdr(2, 2, 8, 0).bytes;
    pngref::PutBE32(huge, 0xFFFFFFF0u);
    huge.insert(huge.end(), {'t', 'E', 'X', 't', 0, 0});
    ExpectLoadFails<EPngInvalidCRC>(huge);
    auto past = Builder().Ihdr(2, 2, 8, 0).bytes;
    pngref::PutBE32(past, 1000);
    past.insert(past.end(), {'t', 'E', 'X', 't', 1, 2, 3});
    ExpectLoadFails<EPngInvalidCRC>(past);
}

TEST(PngReader, ForbiddenColourTypeAndDepthPairs) {
    const std::pair<int, int> bad[] = {{0, 3}, {0, 32}, {2, 4}, {2, 1}, {3, 16}, {4, 4}, {6, 2}, {5, 8}, {7, 8}, {1, 8}};
    for (auto [type, depth] : bad) {
        SCOPED_TRACE(testing::Message() << "colour type " << type << " depth " << depth);
        ExpectLoadFails<EPNGInvalidColorFormat>(Builder().Ihdr(2, 2, uint8_t(depth), uint8_t(type)).bytes);
    }
}

TEST(PngReader, MessagesAreTheFixedTexts) {
    EXPECT_EQ(EPNGIHDRNotFirst().Message(),
              "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is not "
              "the first)");
    EXPECT_EQ(EPngUnexpectedEnd().Message(),
              "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of the "
              "file.");
    EXPECT_EQ(EPngInvalidCRC().Message(),
              "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc "
              "error)");
    EXPECT_EQ(ZlibResultText(-6), "incompatible version (-6)");
    EXPECT_EQ(ZlibResultText(0), "(0)");
    EXPECT_EQ(ZlibResultText(2), "need dictionary (2)");
    TPngImage empty;
    EXPECT_THROW(empty.Header(), EPNGHeaderNotPresent);
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.Width(), 0);
}

TEST(PngReader, FailedReadKeepsTheChunksReadSoFarAndTheNextReadStartsAfresh) {
    TPngImage png;
    EXPECT_THROW(LoadBytes(png, Builder().Ihdr(2, 2, 8, 0).Chunk("teXt", {1}).Iend().bytes), EPNGNoImageData);
    EXPECT_EQ(png.Chunks().Count(), 3);
    EXPECT_EQ(png.Width(), 2);
    LoadBytes(png, Builder().Ihdr(3, 1, 8, 0).Chunk("IDAT", pngref::Deflate(GreyImageData(3, 1))).Iend().bytes);
    EXPECT_EQ(png.Chunks().Count(), 3);
    EXPECT_EQ(png.Width(), 3);
}

// ------------------------------------------------------------ gamma

TEST(PngReader, GammaTables) {
    const auto data = pngref::Deflate(std::vector<uint8_t>{0, 0, 64, 128, 0, 128, 255});  // 2 x 1 RGB
    auto withGamma = [&](std::vector<uint8_t> gama) {
        return Builder().Ihdr(2, 1, 8, 2).Chunk("gAMA", gama).Chunk("IDAT", data).Iend().bytes;
    };
    TPngImage png;
    LoadBytes(png, withGamma({0, 0, 0xB1, 0x8F}));  // 45455
    for (int i = 0; i < 256; ++i) ASSERT_EQ(png.GammaTable[size_t(i)], i);
    LoadBytes(png, withGamma({0, 1, 0x86, 0xA0}));  // 100000
    EXPECT_EQ(png.GammaTable[128], 186);
    EXPECT_EQ(png.GammaTable[0], 0);
    EXPECT_EQ(png.GammaTable[255], 255);
    EXPECT_EQ(png.InverseGamma[186], 128);
    EXPECT_EQ(DrawOverWhite(png)[0], 0x0088BAu);  // (0, 64, 128) -> (0, 136, 186)
    LoadBytes(png, withGamma({0, 1, 0x86}));  // wrong length counts as 1
    for (int i = 0; i < 255; ++i) ASSERT_EQ(png.GammaTable[size_t(i)], 0);
    EXPECT_EQ(png.GammaTable[255], 255);
    LoadBytes(png, withGamma({0, 0, 0, 0}));  // zero: tables stay identities
    EXPECT_EQ(png.GammaTable[128], 128);
    // Every read starts from identities.
    LoadBytes(png, Builder().Ihdr(2, 1, 8, 2).Chunk("IDAT", data).Iend().bytes);
    EXPECT_EQ(png.GammaTable[128], 128);
    EXPECT_EQ(png.InverseGamma[186], 186);
}

// ------------------------------------------------------------ transparency and drawing

namespace {
std::vector<uint8_t> PaletteFile(const std::vector<uint8_t>& trns, const std::vector<uint8_t>& indices) {
    std::vector<uint8_t> raw = {0};
    raw.insert(raw.end(), indices.begin(), indices.end());
    Builder b;
    b.Ihdr(uint32_t(indices.size()), 1, 8, 3).Chunk("PLTE", {10, 20, 30, 0, 0, 0, 200, 100, 50, 10, 20, 30});
    if (!trns.empty()) b.Chunk("tRNS", trns);
    return b.Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes;
}
}  // namespace

TEST(PngDraw, PaletteTransparency) {
    TPngImage png;
    // One entry fully transparent: a colour key on that entry only (entry 3
    // has the same colour and stays).
    LoadBytes(png, PaletteFile({0, 255, 255}, {0, 1, 2, 3}));
    EXPECT_EQ(png.TransparencyMode(), TPNGTransparencyMode::ptmBit);
    EXPECT_EQ(png.TransparentColor(), 0x1E140Au);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0xFFFFFF, 0x000000, 0xC86432, 0x0A141E}));
    // A single partial entry is blended, and black stays black.
    LoadBytes(png, PaletteFile({255, 255, 128}, {0, 1, 2}));
    EXPECT_EQ(png.TransparencyMode(), TPNGTransparencyMode::ptmPartial);
    // (a S + (255 - a) 255 + 255) >> 8 with a = 128: 200 -> 227, 100 -> 177, 50 -> 152.
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0x0A141E, 0x000000, 0xE3B198}));
    // Several entries below 255.
    LoadBytes(png, PaletteFile({0, 64}, {0, 1, 2}));
    EXPECT_EQ(png.TransparencyMode(), TPNGTransparencyMode::ptmPartial);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0xFFFFFF, 0xBFBFBF, 0xC86432}));
}

TEST(PngDraw, PartialPaletteIndexBeyondThePaletteFailsWithoutDrawing) {
    TPngImage png;
    LoadBytes(png, PaletteFile({0, 64}, {0, 9, 1}));
    std::vector<uint32_t> full;
    try {
        DrawOverWhite(png, &full);
        ADD_FAILURE() << "drawn";
    } catch (const EPngError& e) {
        EXPECT_EQ(typeid(e), typeid(EPngError));
        EXPECT_EQ(e.Message(), "There is no such palette entry.");
    }
    std::vector<uint32_t> canvas(3, 0xFF123456u);
    TCanvas c{canvas.data(), 3, 1};
    EXPECT_THROW(png.Draw(c, TRect(0, 0, 3, 1)), EPngError);
    EXPECT_EQ(canvas, std::vector<uint32_t>(3, 0xFF123456u));
}

TEST(PngDraw, RgbaBlendingFormulasOverAnyCanvas) {
    // 4 x 1 RGBA: alpha 0, 255, 128, 1.
    const std::vector<uint8_t> raw = {0, 200, 100, 50, 0, 200, 100, 50, 255, 200, 100, 50, 128, 7, 8, 9, 1};
    TPngImage png;
    LoadBytes(png, Builder().Ihdr(4, 1, 8, 6).Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes);
    EXPECT_EQ(png.TransparencyMode(), TPNGTransparencyMode::ptmPartial);
    std::vector<uint32_t> canvas = {0x40102030u, 0x40102030u, 0x40102030u, 0x00FFFFFFu};
    TCanvas c{canvas.data(), 4, 1};
    png.Draw(c, TRect(0, 0, 4, 1));
    auto blend = [](unsigned d, unsigned s, unsigned a) { return (d * (255 - a) + s * a + 127) / 255; };
    const unsigned a4 = 255 - ((255 - 128) * (255 - 0x40) + 127) / 255;
    const uint32_t third = a4 << 24 | blend(0x10, 200, 128) << 16 | blend(0x20, 100, 128) << 8 | blend(0x30, 50, 128);
    const unsigned b4 = 255 - ((255 - 1) * (255 - 0) + 127) / 255;
    const uint32_t fourth = b4 << 24 | blend(255, 7, 1) << 16 | blend(255, 8, 1) << 8 | blend(255, 9, 1);
    EXPECT_EQ(canvas, (std::vector<uint32_t>{0x40102030u, 0xFFC86432u, third, fourth}));
}

TEST(PngDraw, GreyAlphaBlendsTheStoredGreyEvenAtFullAlpha) {
    const std::vector<uint8_t> raw = {0, 100, 0, 100, 255, 100, 51};
    TPngImage png;
    LoadBytes(png, Builder().Ihdr(3, 1, 8, 4).Chunk("gAMA", {0, 1, 0x86, 0xA0}).Chunk("IDAT", pngref::Deflate(raw)).Iend().bytes);
    std::vector<uint32_t> canvas = {0x80FFFFFFu, 0x80FFFFFFu, 0x80FFFFFFu};
    TCanvas c{canvas.data(), 3, 1};
    png.Draw(c, TRect(0, 0, 3, 1));
    const unsigned g3 = (255 * 204 + 100 * 51 + 127) / 255;
    const unsigned a3 = 255 - (204 * 127 + 127) / 255;
    EXPECT_EQ(canvas, (std::vector<uint32_t>{0x80FFFFFFu, 0xFF646464u, a3 << 24 | g3 * 0x010101u}));
}

TEST(PngDraw, ColourKeys) {
    TPngImage png;
    // RGB 8: key (1, 2, 3).
    const std::vector<uint8_t> rgb = {0, 1, 2, 3, 1, 2, 4};
    LoadBytes(png, Builder().Ihdr(2, 1, 8, 2).Chunk("tRNS", {0, 1, 0, 2, 0, 3}).Chunk("IDAT", pngref::Deflate(rgb)).Iend().bytes);
    EXPECT_EQ(png.TransparencyMode(), TPNGTransparencyMode::ptmBit);
    EXPECT_EQ(png.TransparentColor(), 0x030201u);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0xFFFFFF, 0x010204}));
    // Grey 4 bits: key sample 3.
    LoadBytes(png, Builder().Ihdr(3, 1, 4, 0).Chunk("tRNS", {0, 3}).Chunk("IDAT", pngref::Deflate({0, 0x34, 0x30})).Iend().bytes);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0xFFFFFF, 0x444444, 0xFFFFFF}));
    // A key sample out of range for the depth matches nothing.
    LoadBytes(png, Builder().Ihdr(2, 1, 4, 0).Chunk("tRNS", {0, 0x20}).Chunk("IDAT", pngref::Deflate({0, 0x00})).Iend().bytes);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0, 0}));
    // 16-bit RGB: matched on the high bytes the picture keeps.
    const std::vector<uint8_t> rgb16 = {0, 1, 9, 2, 9, 3, 9, 1, 0, 2, 0, 4, 0};
    LoadBytes(png, Builder().Ihdr(2, 1, 16, 2).Chunk("tRNS", {1, 0, 2, 0, 3, 0}).Chunk("IDAT", pngref::Deflate(rgb16)).Iend().bytes);
    EXPECT_EQ(DrawOverWhite(png), (std::vector<uint32_t>{0xFFFFFF, 0x010204}));
}

TEST(PngDraw, StretchedAndClippedDrawing) {
    TPngImage png;
    LoadBytes(png, Builder().Ihdr(2, 2, 8, 0).Chunk("IDAT", pngref::Deflate({0, 10, 20, 0, 30, 40})).Iend().bytes);
    std::vector<uint32_t> canvas(16, 0);
    TCanvas c{canvas.data(), 4, 4};
    png.Draw(c, TRect(0, 0, 4, 4));
    EXPECT_EQ(canvas[0] & 0xFFFFFF, 0x0A0A0Au);
    EXPECT_EQ(canvas[5] & 0xFFFFFF, 0x0A0A0Au);
    EXPECT_EQ(canvas[15] & 0xFFFFFF, 0x282828u);
    // Partly outside the canvas: only the inside is written.
    std::vector<uint32_t> small(4, 7);
    TCanvas s{small.data(), 2, 2};
    png.Draw(s, TRect(1, 1, 3, 3));
    EXPECT_EQ(small, (std::vector<uint32_t>{7, 7, 7, 0xFF0A0A0Au}));
    png.Draw(s, TRect(5, 5, 3, 3));  // reversed, off the canvas
    EXPECT_EQ(small, (std::vector<uint32_t>{7, 7, 7, 0xFF0A0A0Au}));
}
