// The IDAT chunk: decoding the zlib stream of the image data chunks into the
// header's picture, and encoding the picture into image data chunks.
#include "codecs/png/PngChunks.h"
#include "codecs/png/PngFilters.h"
#include "codecs/png/PngImage.h"
#include "codecs/png/PngRows.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace velmora::png;

namespace {

constexpr TChunkName kIDAT = MakeChunkName("IDAT");
constexpr size_t kInputBufferSize = 65535;

[[noreturn]] void RaiseZlib(TPngImage* owner, int code) {
    owner->RaiseError<EPNGZLIBError>(EPNGZLIBError().Message() + ZlibResultText(code));
}

std::vector<uint8_t> NewBuffer(size_t size) {
    try {
        return std::vector<uint8_t>(size, 0);
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory();
    }
}

// The inflated bytes of one zlib stream that may span consecutive IDAT
// chunks. Tracks the running CRC of the chunk being consumed so that its CRC
// is tested where that chunk ends.
class IdatReader {
public:
    IdatReader(TPngImage* owner, TStream& stream, uint32_t firstSize)
        : owner_(owner), stream_(stream), input_(NewBuffer(kInputBufferSize)) {
        crc_ = StartChunkCrc(kIDAT);
        endPos_ = stream_.Position() + int64_t(firstSize);
        const int r = inflateInit(&z_);
        if (r != Z_OK) RaiseZlib(owner_, r);
    }
    ~IdatReader() { inflateEnd(&z_); }
    IdatReader(const IdatReader&) = delete;
    IdatReader& operator=(const IdatReader&) = delete;

    // Fills out[0, size); false when the data ends first (no more calls then).
    bool Read(uint8_t* out, size_t size) {
        z_.next_out = out;
        z_.avail_out = uInt(size);
        while (z_.avail_out > 0) {
            if (ended_) return false;
            if (z_.avail_in == 0 && !Refill()) {
                ended_ = true;
                return false;
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                ended_ = true;
                return z_.avail_out == 0;
            }
            // A stream asking for a preset dictionary cannot go on either.
            if (r < 0 || r == Z_NEED_DICT) RaiseZlib(owner_, r);
        }
        return true;
    }

    // After the rows: the rest of the chunk that held the last data consumed
    // goes into its CRC, which is then read and tested.
    void Finish() {
        if (crcChecked_) return;
        for (int64_t pos = stream_.Position(); pos < endPos_; pos = stream_.Position()) {
            const size_t want = size_t(std::min<int64_t>(endPos_ - pos, int64_t(kInputBufferSize)));
            const size_t got = stream_.Read(input_.data(), want);
            if (got == 0) break;
            crc_ = UpdateCrc(crc_, input_.data(), got);
        }
        CheckCrc();
    }

private:
    void CheckCrc() {
        uint8_t stored[kChunkCrcSize] = {0, 0, 0, 0};
        const size_t got = stream_.Read(stored, kChunkCrcSize);
        crcChecked_ = true;
        if (got != kChunkCrcSize || ReadBE32(stored) != ~crc_) owner_->RaiseError<EPngInvalidCRC>();
    }

    bool Refill() {
        for (;;) {
            const int64_t pos = stream_.Position();
            if (pos >= endPos_) {
                if (!NextChunk()) return false;
                continue;
            }
            const size_t want = size_t(std::min<int64_t>(endPos_ - pos, int64_t(kInputBufferSize)));
            const size_t got = stream_.Read(input_.data(), want);
            if (got == 0) return false;  // the stream itself has ended
            crc_ = UpdateCrc(crc_, input_.data(), got);
            z_.next_in = input_.data();
            z_.avail_in = uInt(got);
            return true;
        }
    }

    // The current chunk is used up: test its CRC and step into the next one,
    // which must be an IDAT chunk. False at the end of the stream.
    bool NextChunk() {
        CheckCrc();
        uint8_t head[kChunkHeadSize];
        if (stream_.Read(head, kChunkHeadSize) != kChunkHeadSize) return false;
        const TChunkHead chunk = ParseChunkHead(head);
        if (chunk.name != kIDAT) owner_->RaiseError<EPNGMissingMultipleIDAT>();
        crc_ = StartChunkCrc(kIDAT);
        crcChecked_ = false;
        endPos_ = stream_.Position() + int64_t(chunk.length);
        return true;
    }

    TPngImage* owner_;
    TStream& stream_;
    std::vector<uint8_t> input_;
    z_stream z_{};
    uint32_t crc_ = 0;
    int64_t endPos_ = 0;
    bool ended_ = false;
    bool crcChecked_ = false;
};

}  // namespace

void TChunkIDAT::StoreLine(TPngImage* owner, const TChunkIHDR* h, const uint8_t* line, uint8_t* dib, uint8_t* alpha,
                           uint32_t x0, uint32_t dx, uint32_t count) {
    const auto& g = owner->GammaTable;
    const unsigned depth = h->IHDRData.BitDepth;
    const unsigned bytes = depth / 8;  // bytes per sample at 8 and 16 bits
    switch (h->IHDRData.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE:
        if (depth == 16) {
            for (uint32_t k = 0; k < count; ++k) dib[x0 + k * dx] = line[2 * size_t(k)];
        } else if (depth == 2) {
            const unsigned scale = h->IHDRData.ColorType == COLOR_GRAYSCALE ? 5 : 1;
            for (uint32_t k = 0; k < count; ++k)
                SetPackedSample(dib, x0 + size_t(k) * dx, 4, scale * PackedSample(line, k, 2));
        } else if (dx == 1 && x0 == 0) {
            std::memcpy(dib, line, RowBytes(count, depth));
        } else {
            for (uint32_t k = 0; k < count; ++k)
                SetPackedSample(dib, x0 + size_t(k) * dx, depth, PackedSample(line, k, depth));
        }
        break;
    case COLOR_RGB:
    case COLOR_RGBALPHA: {
        const bool hasAlpha = h->IHDRData.ColorType == COLOR_RGBALPHA;
        const size_t step = bytes * (hasAlpha ? 4 : 3);
        for (uint32_t k = 0; k < count; ++k) {
            const uint8_t* s = line + k * step;
            uint8_t* d = dib + 3 * (x0 + size_t(k) * dx);
            d[0] = g[s[2 * bytes]];
            d[1] = g[s[bytes]];
            d[2] = g[s[0]];
            if (hasAlpha) alpha[x0 + size_t(k) * dx] = s[3 * bytes];
        }
        break;
    }
    case COLOR_GRAYSCALEALPHA:
        for (uint32_t k = 0; k < count; ++k) {
            const uint8_t* s = line + k * 2 * size_t(bytes);
            dib[x0 + size_t(k) * dx] = s[0];
            alpha[x0 + size_t(k) * dx] = s[bytes];
        }
        break;
    default: break;
    }
}

TChunkIDAT::TChunkIDAT(TPngImage* owner) : TChunkOf(owner, MakeChunkName("IDAT")) {}

TChunkIDAT::~TChunkIDAT() = default;

namespace {

// Decodes the zlib stream that starts in the chunk at the stream's position
// (firstSize bytes of data) into the rows of the picture: for Adam7 pass by
// pass, each line handed to store(line, y, x0, dx, count). Sets the owner's
// ShortData; returns the lines of the last pass decoded.
template <class Store>
uint32_t DecodeImageData(TPngImage* owner, TChunkIHDR* h, TStream& stream, uint32_t firstSize, Store store) {
    const TIHDRData& hd = h->IHDRData;
    const unsigned bpp = unsigned(hd.BitDepth) * SamplesPerPixel(hd.ColorType);
    const size_t offset = FilterOffset(bpp);
    const size_t fullRowBytes = RowBytes(hd.Width, bpp);
    std::vector<uint8_t> a = NewBuffer(fullRowBytes + 1), b = NewBuffer(fullRowBytes + 1);
    uint8_t* row = a.data();
    uint8_t* prior = b.data();

    IdatReader reader(owner, stream, firstSize);
    uint32_t decoded = 0;
    auto decodePass = [&](uint32_t row0, uint32_t col0, uint32_t rowStep, uint32_t colStep) -> bool {
        const uint32_t width = PassExtent(hd.Width, col0, colStep);
        const uint32_t rows = PassExtent(hd.Height, row0, rowStep);
        decoded = 0;
        if (width == 0 || rows == 0) return true;
        const size_t rowBytes = RowBytes(width, bpp);
        std::memset(prior, 0, rowBytes + 1);
        for (uint32_t i = 0; i < rows; ++i) {
            if (!reader.Read(row, rowBytes + 1)) return false;
            UnfilterLine(row[0], row + 1, prior + 1, rowBytes, offset);
            store(row + 1, row0 + i * rowStep, col0, colStep, width);
            ++decoded;
            std::swap(row, prior);
        }
        return true;
    };
    bool complete = true;
    if (hd.InterlaceMethod == 1) {
        for (const Adam7Pass& p : kAdam7)
            if (!(complete = decodePass(p.row0, p.col0, p.rowStep, p.colStep))) break;
    } else {
        complete = decodePass(0, 0, 1, 1);
    }
    owner->ShortData = !complete;
    reader.Finish();
    return decoded;
}

}  // namespace

bool TChunkIDAT::LoadFromStream(TStream& stream, const TChunkName& name, uint32_t size) {
    fName = name;
    fDeferredStream = nullptr;
    TChunkIHDR* h = Header();
    if (!h->HasImage()) fOwner->RaiseError<EPNGHeaderNotPresent>();
    const TIHDRData& hd = h->IHDRData;
    if (hd.ColorType == COLOR_PALETTE && !fOwner->Chunks().FindChunk<TChunkPLTE>())
        fOwner->RaiseError<EPNGMissingPalette>();
    if (hd.ColorType == COLOR_GRAYSCALE || hd.ColorType == COLOR_GRAYSCALEALPHA) h->BuildGreyRamp();

    if (fOwner->DeferImageData) {
        // The chunk's data and CRC are read and tested by DecodeRows.
        fDeferredStream = &stream;
        fDeferredStart = stream.Position();
        fDeferredSize = size;
        stream.Seek(int64_t(size) + int64_t(kChunkCrcSize), TSeekOrigin::soCurrent);
        return true;
    }
    DecodeImageData(fOwner, h, stream, size,
                    [&](const uint8_t* line, uint32_t y, uint32_t x0, uint32_t dx, uint32_t n) {
                        StoreLine(fOwner, h, line, h->ScanLine(y), h->AlphaScanLine(y), x0, dx, n);
                    });
    return true;
}

uint32_t TChunkIDAT::DecodeRows(TLineSink sink, void* context) {
    TStream* stream = fDeferredStream;
    fDeferredStream = nullptr;
    TChunkIHDR* h = Header();
    if (!stream || h->IHDRData.InterlaceMethod != 0) return 0;
    stream->SetPosition(fDeferredStart);
    return DecodeImageData(
        fOwner, h, *stream, fDeferredSize,
        [&](const uint8_t* line, uint32_t y, uint32_t, uint32_t, uint32_t) { sink(context, y, line); });
}

// ---------------------------------------------------------------- writing

namespace {

class IdatWriter {
public:
    IdatWriter(TPngImage* owner, TStream& stream) : stream_(stream), out_(NewBuffer(size_t(owner->MaxIdatSize()))) {
        const int r = deflateInit(&z_, owner->CompressionLevel());
        if (r != Z_OK) RaiseZlib(owner, r);
        z_.next_out = out_.data();
        z_.avail_out = uInt(out_.size());
    }
    ~IdatWriter() { deflateEnd(&z_); }
    IdatWriter(const IdatWriter&) = delete;
    IdatWriter& operator=(const IdatWriter&) = delete;

    void Feed(const uint8_t* data, size_t size) {
        z_.next_in = const_cast<uint8_t*>(data);
        z_.avail_in = uInt(size);
        while (z_.avail_in > 0) {
            deflate(&z_, Z_NO_FLUSH);
            if (z_.avail_out == 0) Flush();
        }
    }

    void Finish() {
        for (;;) {
            const int r = deflate(&z_, Z_FINISH);
            if (z_.avail_out == 0) Flush();
            if (r == Z_STREAM_END || r == Z_STREAM_ERROR) break;
        }
        if (z_.avail_out < out_.size()) Flush();
    }

private:
    void Flush() {
        WriteChunk(stream_, kIDAT, out_.data(), uint32_t(out_.size() - z_.avail_out));
        z_.next_out = out_.data();
        z_.avail_out = uInt(out_.size());
    }

    TStream& stream_;
    std::vector<uint8_t> out_;
    z_stream z_{};
};

// Pixels of image row y, columns x0 + k * dx, as file samples.
void LoadLine(TPngImage* owner, TChunkIHDR* h, uint8_t* raw, size_t rowBytes, uint32_t y, uint32_t x0, uint32_t dx,
              uint32_t count, unsigned depth) {
    const uint8_t* dib = h->ScanLine(y);
    const uint8_t* alpha = h->AlphaScanLine(y);
    const auto& inv = owner->InverseGamma;
    switch (h->IHDRData.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE:
        if (depth == 16) {
            for (uint32_t k = 0; k < count; ++k) {
                raw[2 * size_t(k)] = dib[x0 + size_t(k) * dx];
                raw[2 * size_t(k) + 1] = 0;
            }
        } else if (dx == 1 && x0 == 0) {
            std::memcpy(raw, dib, rowBytes);
        } else {
            std::memset(raw, 0, rowBytes);
            for (uint32_t k = 0; k < count; ++k)
                SetPackedSample(raw, k, depth, PackedSample(dib, x0 + size_t(k) * dx, depth));
        }
        break;
    case COLOR_RGB:
    case COLOR_RGBALPHA: {
        const bool hasAlpha = h->IHDRData.ColorType == COLOR_RGBALPHA;
        const size_t bytes = depth / 8;
        uint8_t* d = raw;
        for (uint32_t k = 0; k < count; ++k) {
            const size_t x = x0 + size_t(k) * dx;
            const uint8_t* s = dib + 3 * x;
            const uint8_t v[4] = {inv[s[2]], inv[s[1]], inv[s[0]], alpha ? alpha[x] : uint8_t(255)};
            for (unsigned c = 0; c < (hasAlpha ? 4u : 3u); ++c) {
                *d++ = v[c];
                if (bytes == 2) *d++ = 0;
            }
        }
        break;
    }
    case COLOR_GRAYSCALEALPHA: {
        const size_t bytes = depth / 8;
        uint8_t* d = raw;
        for (uint32_t k = 0; k < count; ++k) {
            const size_t x = x0 + size_t(k) * dx;
            *d++ = dib[x];
            if (bytes == 2) *d++ = 0;
            *d++ = alpha[x];
            if (bytes == 2) *d++ = 0;
        }
        break;
    }
    default: std::memset(raw, 0, rowBytes); break;
    }
}

}  // namespace

// Filters raw lines (file samples) and feeds each, after its filter type, to
// an IdatWriter. The line just encoded becomes the line above the next.
class TPngLineEncoder {
public:
    TPngLineEncoder(TPngImage* owner, TStream& stream, size_t fullRowBytes, size_t offset)
        : filter_(owner->Filters(), fullRowBytes, offset),
          lines_{NewBuffer(fullRowBytes), NewBuffer(fullRowBytes)},
          writer_(owner, stream) {}

    // Where the next line is to be written, then Encode.
    uint8_t* Raw() { return raw_; }
    // A new pass: the line above the first is zeros.
    void StartPass(size_t rowBytes) { std::memset(prior_, 0, rowBytes); }

    void Encode(size_t rowBytes) {
        const uint8_t* bytes = nullptr;
        const uint8_t type = filter_.Choose(raw_, prior_, rowBytes, bytes);
        writer_.Feed(&type, 1);
        writer_.Feed(bytes, rowBytes);
        std::swap(raw_, prior_);
    }

    void Finish() { writer_.Finish(); }

private:
    TRowFilter filter_;
    std::vector<uint8_t> lines_[2];
    uint8_t* raw_ = lines_[0].data();
    uint8_t* prior_ = lines_[1].data();
    IdatWriter writer_;
};

bool TChunkIDAT::SaveToStream(TStream& stream) {
    if (fRowEncoder) throw EPngError(kPngIncompatibleChunks);
    TChunkIHDR* h = Header();
    const TIHDRData& hd = h->IHDRData;
    if (!h->HasImage() || hd.Width == 0 || hd.Height == 0) fOwner->RaiseError<EPNGInvalidSize>();
    const unsigned depth = hd.BitDepth == 2 ? 4 : hd.BitDepth;
    const unsigned bpp = depth * SamplesPerPixel(hd.ColorType);
    TPngLineEncoder encoder(fOwner, stream, RowBytes(hd.Width, bpp), FilterOffset(bpp));
    auto encodePass = [&](uint32_t row0, uint32_t col0, uint32_t rowStep, uint32_t colStep) {
        const uint32_t width = PassExtent(hd.Width, col0, colStep);
        const uint32_t rows = PassExtent(hd.Height, row0, rowStep);
        if (width == 0 || rows == 0) return;
        const size_t rowBytes = RowBytes(width, bpp);
        encoder.StartPass(rowBytes);
        for (uint32_t i = 0; i < rows; ++i) {
            LoadLine(fOwner, h, encoder.Raw(), rowBytes, row0 + i * rowStep, col0, colStep, width, depth);
            encoder.Encode(rowBytes);
        }
    };
    if (fOwner->InterlaceMethod() == TInterlaceMethod::imAdam7) {
        for (const Adam7Pass& p : kAdam7) encodePass(p.row0, p.col0, p.rowStep, p.colStep);
    } else {
        encodePass(0, 0, 1, 1);
    }
    encoder.Finish();
    return true;
}

void TChunkIDAT::BeginRows(TStream& stream) {
    const TIHDRData& hd = Header()->IHDRData;
    if (hd.Width == 0 || hd.Height == 0) fOwner->RaiseError<EPNGInvalidSize>();
    fRowEncoder = std::make_unique<TPngLineEncoder>(fOwner, stream, RowBytes(hd.Width, 24), FilterOffset(24));
    fRowEncoder->StartPass(RowBytes(hd.Width, 24));
}

void TChunkIDAT::WriteRow(const uint32_t* row) {
    const uint32_t width = Header()->IHDRData.Width;
    const auto& inv = fOwner->InverseGamma;
    uint8_t* d = fRowEncoder->Raw();
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t c = row[x];
        d[0] = inv[(c >> 16) & 0xFF];
        d[1] = inv[(c >> 8) & 0xFF];
        d[2] = inv[c & 0xFF];
        d += 3;
    }
    fRowEncoder->Encode(size_t(width) * 3);
}

void TChunkIDAT::EndRows() {
    fRowEncoder->Finish();
    fRowEncoder.reset();
}
