// Test-only: hand-assembled deflate streams, bit by bit, so that tests can
// build the damaged and unusual streams no compressor writes (bad code sets,
// out-of-range symbols, far distances, broken trailers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace deflatekit {

class BitWriter {
public:
    // `count` bits of `value`, least significant first (header fields, extra bits).
    BitWriter& Bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) Bit((value >> i) & 1u);
        return *this;
    }
    // A Huffman code of `length` bits, most significant first.
    BitWriter& Code(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) Bit((code >> i) & 1u);
        return *this;
    }
    BitWriter& AlignToByte() {
        while (used_ != 0) Bit(0);
        return *this;
    }
    BitWriter& Byte(uint8_t b) { return Bits(b, 8); }
    BitWriter& Bytes(const std::vector<uint8_t>& b) {
        for (uint8_t v : b) Byte(v);
        return *this;
    }
    size_t BitCount() const { return bytes_.size() * 8 - (used_ ? 8 - used_ : 0); }
    // The bytes so far, the last one padded with zero bits.
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    void Bit(uint32_t b) {
        if (used_ == 0) bytes_.push_back(0);
        bytes_.back() = uint8_t(bytes_.back() | (b << used_));
        used_ = (used_ + 1) & 7;
    }
    std::vector<uint8_t> bytes_;
    unsigned used_ = 0;
};

// Canonical codes for a list of code lengths (0: unused), as the format
// assigns them.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<unsigned>& lengths) {
    unsigned count[16] = {};
    for (unsigned l : lengths)
        if (l) ++count[l];
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (unsigned bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

// Symbols of the fixed literal/length code (0..287) and distance code (0..31).
inline BitWriter& FixedLiteral(BitWriter& w, unsigned symbol) {
    if (symbol < 144) return w.Code(0x30 + symbol, 8);
    if (symbol < 256) return w.Code(0x190 + symbol - 144, 9);
    if (symbol < 280) return w.Code(symbol - 256, 7);
    return w.Code(0xC0 + symbol - 280, 8);
}
inline BitWriter& FixedDistance(BitWriter& w, unsigned code) { return w.Code(code, 5); }

// The header of a dynamic block (after BFINAL and BTYPE) with the given code
// length code lengths (19 entries in file order, HCLEN taken from the list's
// size) and a sequence of code length symbols (symbol, extra bits value).
struct CodeLengthSymbol {
    unsigned symbol, extra = 0;
};
inline BitWriter& DynamicHeader(BitWriter& w, unsigned hlit, unsigned hdist,
                                const std::vector<unsigned>& clenLengthsInFileOrder,
                                const std::vector<CodeLengthSymbol>& symbols) {
    static const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.Bits(hlit - 257, 5).Bits(hdist - 1, 5).Bits(unsigned(clenLengthsInFileOrder.size()) - 4, 4);
    std::vector<unsigned> bySymbol(19, 0);
    for (size_t i = 0; i < clenLengthsInFileOrder.size(); ++i) {
        w.Bits(clenLengthsInFileOrder[i], 3);
        bySymbol[kOrder[i]] = clenLengthsInFileOrder[i];
    }
    const std::vector<uint32_t> codes = CanonicalCodes(bySymbol);
    for (const CodeLengthSymbol& s : symbols) {
        w.Code(codes[s.symbol], bySymbol[s.symbol]);
        if (s.symbol == 16) w.Bits(s.extra, 2);
        if (s.symbol == 17) w.Bits(s.extra, 3);
        if (s.symbol == 18) w.Bits(s.extra, 7);
    }
    return w;
}

// Code length symbols spelling out `lengths` one by one (no repeat codes).
inline std::vector<CodeLengthSymbol> PlainLengths(const std::vector<unsigned>& lengths) {
    std::vector<CodeLengthSymbol> out;
    for (unsigned l : lengths) out.push_back({l, 0});
    return out;
}

inline uint32_t Adler32(const std::vector<uint8_t>& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t v : data) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// Wraps raw deflate bits as a zlib stream: the ordinary header, the data
// (padded to a byte) and the Adler-32 of `content`, big-endian.
inline std::vector<uint8_t> ZlibWrap(const std::vector<uint8_t>& deflate, uint32_t adler) {
    std::vector<uint8_t> out;
    out.reserve(deflate.size() + 6);
    out.push_back(0x78);
    out.push_back(0x9C);
    for (uint8_t b : deflate) out.push_back(b);
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(adler >> s));
    return out;
}

}  // namespace deflatekit
