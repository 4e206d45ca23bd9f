// How the compressed image data is judged, row by row. Hand-assembled streams
// carry every kind of damage the deflate format allows, and each file is read
// through the whole-picture route and the row-by-row route: a damaged stream
// fails with the same message on both, after the same rows. Checks are made
// where the decompressor meets them: a damaged block header right after a
// row fails while that row is read, a far distance only when its bytes are
// wanted, and nothing beyond the last row is looked at unless it is already
// in hand. Code sets the format forbids (incomplete or over-full) fail even
// when the stream never uses the missing codes.
#include "PngTestSupport.h"
#include "tests/support/DeflateWriter.h"
#include "tests/support/PngPatterns.h"

#include <zlib.h>

#include <functional>
#include <string>

using namespace deflatekit;

namespace {

constexpr uint32_t kWidth = 20, kHeight = 6;
constexpr size_t kRowBytes = kWidth + 1;  // filter byte 0, then the grey samples
const std::string kDataError = EPNGZLIBError().Message() + "data error (-3)";

// The filtered rows of a grey picture whose samples never take the value 200.
std::vector<uint8_t> Rows(uint32_t from, uint32_t to) {
    std::vector<uint8_t> out;
    for (uint32_t y = from; y < to; ++y) {
        out.push_back(0);
        for (uint32_t x = 0; x < kWidth; ++x) out.push_back(uint8_t(y * 31 + x * 7 + 1));
    }
    return out;
}
constexpr unsigned kUnusedLiteral = 200;

BitWriter& FixedBlock(BitWriter& w, bool final) { return w.Bits(final ? 1 : 0, 1).Bits(1, 2); }
BitWriter& FixedBytes(BitWriter& w, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) FixedLiteral(w, b);
    return w;
}
// Length 3..10 (symbols 257..264, no extra bits) at a distance of 1..32768.
BitWriter& FixedMatch(BitWriter& w, unsigned length, unsigned distance) {
    FixedLiteral(w, 254 + length);
    unsigned code = 0, base = 1, extra = 0;
    for (;; ++code) {
        extra = code < 4 ? 0 : code / 2 - 1;
        if (distance < base + (1u << extra)) break;
        base += 1u << extra;
    }
    return FixedDistance(w, code).Bits(distance - base, extra);
}
// Rows 0..2 in a fixed block that goes on, the start of every damaged stream.
BitWriter ThreeRows() {
    BitWriter w;
    FixedBlock(w, false);
    FixedBytes(w, Rows(0, 3));
    return w;
}

// Literal/length code lengths: the fixed code's, made complete for 286 or
// 287 symbols.
std::vector<unsigned> LiteralLengths(unsigned count) {
    std::vector<unsigned> l(count);
    for (unsigned i = 0; i < count; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    if (count == 286) l[279] = 6;
    if (count == 287) l[286] = 7;
    return l;
}
// Code length code lengths in file order: all 19 symbols, a complete code.
std::vector<unsigned> CodeLengthLengths() {
    std::vector<unsigned> v(19, 4);
    for (size_t i = 13; i < 19; ++i) v[i] = 5;
    return v;
}

struct Dynamic {
    std::vector<unsigned> literals = LiteralLengths(286);
    std::vector<unsigned> distances = {1};
    std::vector<unsigned> codeLengths = CodeLengthLengths();
    // Changes the code length symbols after they are spelled out.
    std::function<void(std::vector<CodeLengthSymbol>&)> edit;
};

// After rows 0..2: a final dynamic block carrying rows 3..5 with the given
// codes, then the check value. Decoders that accept the codes read it whole.
std::vector<uint8_t> WithDynamicBlock(const Dynamic& d) {
    BitWriter w = ThreeRows();
    FixedLiteral(w, 256);
    w.Bits(1, 1).Bits(2, 2);
    std::vector<unsigned> all = d.literals;
    all.insert(all.end(), d.distances.begin(), d.distances.end());
    std::vector<CodeLengthSymbol> symbols = PlainLengths(all);
    if (d.edit) d.edit(symbols);
    DynamicHeader(w, unsigned(d.literals.size()), unsigned(d.distances.size()), d.codeLengths, symbols);
    std::vector<unsigned> lengths = d.literals;
    lengths.resize(286, 0);
    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    for (uint8_t b : Rows(3, kHeight)) w.Code(codes[b], lengths[b]);
    w.Code(codes[256], lengths[256]);
    return ZlibWrap(w.Data(), Adler32(Rows(0, kHeight)));
}

std::vector<uint8_t> Whole() {
    BitWriter w;
    FixedBlock(w, true);
    FixedBytes(w, Rows(0, kHeight));
    FixedLiteral(w, 256);
    return ZlibWrap(w.Data(), Adler32(Rows(0, kHeight)));
}

struct Case {
    const char* name;
    std::function<std::vector<std::vector<uint8_t>>()> idat;  // the data of each IDAT chunk
    std::vector<uint8_t> rows;                                // rows read before the end or the failure
    bool fails;
    bool shortData;
};

using Chunks = std::vector<std::vector<uint8_t>>;

std::vector<uint8_t> Png(const Chunks& idat) {
    pngref::Builder b;
    b.Ihdr(kWidth, kHeight, 8, 0);
    for (const auto& d : idat) b.Chunk("IDAT", d);
    b.Iend();
    return b.bytes;
}

struct RowCollector : TRowTarget {
    std::vector<uint32_t> row = std::vector<uint32_t>(kWidth);
    std::vector<uint32_t> pushed;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pushed.insert(pushed.end(), row.begin(), row.end()); }
};

// The colours of filtered grey rows as the picture draws them.
std::vector<uint32_t> Colours(const std::vector<uint8_t>& rows) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i % kRowBytes != 0) out.push_back(uint32_t(rows[i]) * 0x010101u);
    return out;
}

std::vector<uint32_t> WithoutAlpha(std::vector<uint32_t> pixels) {
    for (auto& p : pixels) p &= 0xFFFFFFu;
    return pixels;
}

void ExpectOutcome(const std::vector<uint8_t>& file, const Case& c) {
    std::vector<uint8_t> padded = c.rows;
    padded.resize(kRowBytes * kHeight, 0);  // rows the data never reached are zeros
    {
        SCOPED_TRACE("whole picture");
        TPngImage png;
        try {
            LoadBytes(png, file);
            EXPECT_FALSE(c.fails);
            EXPECT_EQ(png.ShortData, c.shortData);
            EXPECT_EQ(testsupport::FirstDifference(DrawOverWhite(png), Colours(padded), kWidth), "");
        } catch (const EPngError& e) {
            EXPECT_TRUE(c.fails) << e.Message();
            EXPECT_EQ(e.Message(), kDataError);
        }
    }
    {
        SCOPED_TRACE("row by row");
        TPngImage png;
        png.DeferImageData = true;
        TMemoryStream stream(file);  // read again by DrawOpaqueRows
        png.LoadFromStream(stream);
        RowCollector rows;
        try {
            ASSERT_TRUE(png.DrawOpaqueRows(int32_t(kWidth), int32_t(kHeight), rows));
            EXPECT_FALSE(c.fails);
            EXPECT_EQ(png.ShortData, c.shortData);
            EXPECT_EQ(testsupport::FirstDifference(WithoutAlpha(rows.pushed), Colours(padded), kWidth), "");
        } catch (const EPngError& e) {
            EXPECT_TRUE(c.fails) << e.Message();
            EXPECT_EQ(e.Message(), kDataError);
            EXPECT_EQ(testsupport::FirstDifference(WithoutAlpha(rows.pushed), Colours(c.rows), kWidth), "");
        }
    }
}

Chunks One(std::vector<uint8_t> data) { return {std::move(data)}; }

// Rows 0..2, then one piece of damage in the stream that goes on.
Chunks DamagedAfterThreeRows(const std::function<void(BitWriter&)>& damage) {
    BitWriter w = ThreeRows();
    damage(w);
    return One(ZlibWrap(w.Data(), Adler32(Rows(0, 3))));
}

Chunks DynamicAfterThreeRows(const std::function<void(Dynamic&)>& change) {
    Dynamic d;
    change(d);
    return One(WithDynamicBlock(d));
}

// The file order of code length symbol 18 and of symbol 15.
constexpr size_t kRepeatZeros18 = 2, kLength15 = 18;

const Case kCases[] = {
    {"Sound", [] { return One(Whole()); }, Rows(0, kHeight), false, false},
    {"EndsBeforeTheLastRows",
     [] {
         BitWriter w;
         FixedBlock(w, true);
         FixedBytes(w, Rows(0, 4));
         FixedLiteral(w, 256);
         return One(ZlibWrap(w.Data(), Adler32(Rows(0, 4))));
     },
     Rows(0, 4), false, true},
    {"DataAfterTheRowsIsNotRead",
     [] {
         // Another literal, then a symbol no stream may hold: the reader stops
         // at the literal, as it has no room for it.
         BitWriter w;
         FixedBlock(w, true);
         FixedBytes(w, Rows(0, kHeight));
         FixedLiteral(w, 9);
         FixedLiteral(w, 286);
         return One(ZlibWrap(w.Data(), 0));
     },
     Rows(0, kHeight), false, false},
    {"WrongCheckValue",
     [] {
         auto data = Whole();
         data.back() ^= 1;
         return One(data);
     },
     Rows(0, kHeight - 1), true, false},
    {"WrongCheckValueInALaterChunkIsNotRead",
     [] {
         auto data = Whole();
         data.back() ^= 1;
         return Chunks{{data.begin(), data.end() - 4}, {data.end() - 4, data.end()}};
     },
     Rows(0, kHeight), false, false},
    {"CheckValueSplitAcrossChunksIsNotRead",
     [] {
         // The check value is tested only once all four bytes are in hand.
         auto data = Whole();
         data.back() ^= 1;
         return Chunks{{data.begin(), data.end() - 2}, {data.end() - 2, data.end()}};
     },
     Rows(0, kHeight), false, false},
    {"LiteralSymbol286", [] { return DamagedAfterThreeRows([](BitWriter& w) { FixedLiteral(w, 286); }); }, Rows(0, 2),
     true, false},
    {"LiteralSymbol287", [] { return DamagedAfterThreeRows([](BitWriter& w) { FixedLiteral(w, 287); }); }, Rows(0, 2),
     true, false},
    {"DistanceCode30",
     [] { return DamagedAfterThreeRows([](BitWriter& w) { FixedDistance(FixedLiteral(w, 257), 30).Bits(0, 13); }); },
     Rows(0, 2), true, false},
    {"DistanceCode31",
     [] { return DamagedAfterThreeRows([](BitWriter& w) { FixedDistance(FixedLiteral(w, 257), 31).Bits(0, 13); }); },
     Rows(0, 2), true, false},
    {"DistanceTooFarBackFailsWhenItsBytesAreWanted",
     [] { return DamagedAfterThreeRows([](BitWriter& w) { FixedMatch(w, 3, 3 * kRowBytes + 1); }); }, Rows(0, 3), true,
     false},
    {"FarthestDistanceIsSound",
     [] {
         BitWriter w = ThreeRows();
         FixedMatch(w, 10, 3 * kRowBytes);
         FixedMatch(w, 10, 3 * kRowBytes);
         FixedBytes(w, {Rows(0, 1).back()});
         FixedBytes(w, Rows(4, kHeight));
         FixedLiteral(w, 256);
         w.Bits(1, 1).Bits(1, 2);  // an empty final block
         FixedLiteral(w, 256);
         std::vector<uint8_t> all = Rows(0, 3);
         for (uint8_t b : Rows(0, 1)) all.push_back(b);
         for (uint8_t b : Rows(4, kHeight)) all.push_back(b);
         return One(ZlibWrap(w.Data(), Adler32(all)));
     },
     [] {
         std::vector<uint8_t> all = Rows(0, 3);
         for (uint8_t b : Rows(0, 1)) all.push_back(b);
         for (uint8_t b : Rows(4, kHeight)) all.push_back(b);
         return all;
     }(),
     false, false},
    {"StoredLengthsDisagree",
     [] {
         return DamagedAfterThreeRows(
             [](BitWriter& w) { FixedLiteral(w, 256).Bits(0, 1).Bits(0, 2).AlignToByte().Bits(5, 16).Bits(5, 16); });
     },
     Rows(0, 2), true, false},
    {"BlockType3",
     [] { return DamagedAfterThreeRows([](BitWriter& w) { FixedLiteral(w, 256).Bits(1, 1).Bits(3, 2); }); }, Rows(0, 2),
     true, false},
    {"DynamicBlockIsSound", [] { return DynamicAfterThreeRows([](Dynamic&) {}); }, Rows(0, kHeight), false, false},
    {"SingleOneBitDistanceCodeIsSound", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.distances = {1}; }); },
     Rows(0, kHeight), false, false},
    {"NoDistanceCodesIsSound", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.distances = {0}; }); },
     Rows(0, kHeight), false, false},
    {"TooManyLiteralCodes", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.literals = LiteralLengths(287); }); },
     Rows(0, 2), true, false},
    {"TooManyDistanceCodes",
     [] {
         return DynamicAfterThreeRows([](Dynamic& d) {
             d.distances.assign(31, 5);
             d.distances[0] = 4;
         });
     },
     Rows(0, 2), true, false},
    {"LiteralCodesIncomplete", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.literals[kUnusedLiteral] = 0; }); },
     Rows(0, 2), true, false},
    {"LiteralCodesOverfull", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.literals[kUnusedLiteral] = 7; }); },
     Rows(0, 2), true, false},
    {"DistanceCodesIncomplete", [] { return DynamicAfterThreeRows([](Dynamic& d) {
                                         d.distances = {1, 2};
                                     }); },
     Rows(0, 2), true, false},
    {"SingleTwoBitDistanceCode", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.distances = {2}; }); },
     Rows(0, 2), true, false},
    {"DistanceCodesOverfull", [] { return DynamicAfterThreeRows([](Dynamic& d) {
                                       d.distances = {1, 1, 1};
                                   }); },
     Rows(0, 2), true, false},
    {"CodeLengthCodesIncomplete",
     [] { return DynamicAfterThreeRows([](Dynamic& d) { d.codeLengths[kRepeatZeros18] = 0; }); }, Rows(0, 2), true,
     false},
    {"CodeLengthCodesOverfull", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.codeLengths[kLength15] = 4; }); },
     Rows(0, 2), true, false},
    {"RepeatWithoutAPreviousLength",
     [] {
         return DynamicAfterThreeRows([](Dynamic& d) {
             d.edit = [](std::vector<CodeLengthSymbol>& s) {
                 s.erase(s.begin(), s.begin() + 3);
                 s.insert(s.begin(), CodeLengthSymbol{16, 0});
             };
         });
     },
     Rows(0, 2), true, false},
    {"RepeatPastTheEnd",
     [] {
         return DynamicAfterThreeRows([](Dynamic& d) {
             d.edit = [](std::vector<CodeLengthSymbol>& s) { s.back() = CodeLengthSymbol{16, 0}; };
         });
     },
     Rows(0, 2), true, false},
    {"NoEndOfBlockCode", [] { return DynamicAfterThreeRows([](Dynamic& d) { d.literals[256] = 0; }); }, Rows(0, 2),
     true, false},
    {"DamageInTheNextChunkWaitsForIt",
     [] {
         // Row 2 ends with the first chunk, so the damage is met while row 3
         // is read.
         BitWriter w = ThreeRows();
         const size_t split = 2 + (w.BitCount() + 7) / 8;
         FixedLiteral(w, 286);
         const auto data = ZlibWrap(w.Data(), 0);
         return Chunks{{data.begin(), data.begin() + long(split)}, {data.begin() + long(split), data.end()}};
     },
     Rows(0, 3), true, false},
};

class PngInflate : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(PngInflate, BothRoutesReadTheSameRowsAndFailAlike) { ExpectOutcome(Png(GetParam().idat()), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Streams, PngInflate, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A sound stream read from chunks split at every byte gives the whole
// picture: nothing depends on where the chunks end.
TEST(PngInflateSplits, EverySplitOfASoundStreamReadsWhole) {
    const auto data = Whole();
    const Case whole{"", nullptr, Rows(0, kHeight), false, false};
    for (size_t at = 0; at <= data.size(); ++at) {
        SCOPED_TRACE("split at " + std::to_string(at));
        ExpectOutcome(Png({{data.begin(), data.begin() + long(at)}, {data.begin() + long(at), data.end()}}), whole);
    }
}

namespace {

struct RouteOutcome {
    std::string message;  // empty when the picture was read
    bool shortData = false;
    std::vector<uint32_t> pixels;
    bool loaded = true;  // row by row: the chunks before the image data were read
};

RouteOutcome ReadWhole(const std::vector<uint8_t>& file) {
    RouteOutcome o;
    TPngImage png;
    try {
        LoadBytes(png, file);
        o.shortData = png.ShortData;
        o.pixels = DrawOverWhite(png);
    } catch (const Exception& e) {
        o.message = e.Message();
    }
    return o;
}

RouteOutcome ReadRowByRow(const std::vector<uint8_t>& file, uint32_t width) {
    RouteOutcome o;
    TPngImage png;
    png.DeferImageData = true;
    TMemoryStream stream(file);
    struct Collector : TRowTarget {
        std::vector<uint32_t> row, pushed;
        uint32_t* NextRow() override { return row.data(); }
        void Push() override { pushed.insert(pushed.end(), row.begin(), row.end()); }
    } rows;
    rows.row.resize(width);
    try {
        png.LoadFromStream(stream);
    } catch (const Exception&) {
        o.loaded = false;
        return o;
    }
    try {
        if (!png.DrawOpaqueRows(png.Width(), png.Height(), rows)) o.message = "not read row by row";
        o.shortData = png.ShortData;
        o.pixels = WithoutAlpha(rows.pushed);
    } catch (const Exception& e) {
        o.message = e.Message();
    }
    return o;
}

}  // namespace

// A file of many small image data chunks with each byte of the image data
// spoiled, its chunk's CRC left as it was or made to match. Both routes say
// the same, or read the same rows and note the same short data.
TEST(PngInflateDamage, EverySpoiledByteFailsOrReadsAlikeOnBothRoutes) {
    pngpatterns::Layout l;
    l.width = 23;
    l.height = 17;
    l.idatPiece = 61;
    l.after = {{"tEXt", {'a', 0, 'b'}}};
    const std::vector<uint8_t> full = pngpatterns::Png(l);
    size_t failed = 0, spoiled = 0;
    for (size_t pos = 8; pos + 12 <= full.size();) {
        const uint32_t length =
            uint32_t(full[pos]) << 24 | uint32_t(full[pos + 1]) << 16 | uint32_t(full[pos + 2]) << 8 | full[pos + 3];
        const size_t data = pos + 8, crcAt = data + length;
        if (std::string(full.begin() + long(pos) + 4, full.begin() + long(data)) == "IDAT") {
            for (size_t at = data; at < crcAt; ++at)
                for (const bool repair : {false, true}) {
                    std::vector<uint8_t> file = full;
                    file[at] = uint8_t(file[at] ^ 0x5A);
                    if (repair) {
                        const uint32_t crc = uint32_t(crc32(0, &file[pos + 4], uInt(length + 4)));
                        for (int k = 0; k < 4; ++k) file[crcAt + size_t(k)] = uint8_t(crc >> (24 - 8 * k));
                    }
                    const RouteOutcome whole = ReadWhole(file), rows = ReadRowByRow(file, l.width);
                    ASSERT_TRUE(rows.loaded) << "byte " << at;
                    ASSERT_EQ(whole.message, rows.message) << "byte " << at << (repair ? " (CRC repaired)" : "");
                    ++spoiled;
                    if (!whole.message.empty()) {
                        ++failed;
                        continue;
                    }
                    EXPECT_EQ(whole.shortData, rows.shortData) << "byte " << at;
                    EXPECT_EQ(testsupport::FirstDifference(rows.pixels, whole.pixels, l.width), "") << "byte " << at;
                }
        }
        pos = crcAt + 4;
    }
    EXPECT_GT(failed, spoiled / 2);  // every unrepaired chunk fails its CRC
}
