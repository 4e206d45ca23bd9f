// The WebP reader from memory: the chunk walk, the size check, the metadata
// chunks, the incremental decode of still pictures and the first frame of
// animations. A still picture that libwebp decodes whole must come out of the
// reader with the same pixels, and small pictures written back losslessly
// must read back exactly.
#include "FuzzSupport.h"

#include "codecs/webp/WebpFormat.h"

#include <webp/decode.h>

#include <cstring>
#include <string>
#include <vector>

using namespace velmora::fuzz;

namespace {

// Pictures up to this size are also written back and compared.
constexpr int64_t kRoundTripPixels = 1 << 12;

struct RowCollector : TRowTarget {
    explicit RowCollector(int32_t width) : row(size_t(width)) {}
    std::vector<uint32_t> row, pixels;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override { pixels.insert(pixels.end(), row.begin(), row.end()); }
};

struct Decoded {
    bool ok = false;
    int32_t width = 0, height = 0;
    bool alpha = false;
    std::vector<uint32_t> pixels;
};

Decoded Read(const std::vector<uint8_t>& bytes) {
    Decoded d;
    Outcome([&] {
        TMemoryStream stream(bytes);
        auto reader = NewWebpReader();
        reader->ReadHeader(stream);
        d.width = reader->Width();
        d.height = reader->Height();
        d.alpha = reader->HasAlpha();
        if (d.width <= 0 || d.height <= 0) Finding("a header without a size was accepted");
        if (!FuzzPixelsOk(d.width, d.height)) return;
        const int o = reader->Metadata().orientation;
        if (o < 0 || o > 8) Finding("orientation out of range");
        RowCollector rows(d.width);
        reader->ReadRows(rows);
        if (rows.pixels.size() != size_t(d.width) * size_t(d.height)) Finding("not every row was sent");
        if (!d.alpha)
            for (uint32_t p : rows.pixels)
                if (p >> 24 != 0xFF) Finding("a picture without alpha sent a transparent pixel");
        d.pixels = std::move(rows.pixels);
        d.ok = true;
    });
    return d;
}

// A simple-format file: the RIFF head, one VP8 or VP8L chunk, nothing after.
bool OnePictureChunk(const uint8_t* data, size_t size) {
    if (size < 20 || (std::memcmp(data + 12, "VP8 ", 4) != 0 && std::memcmp(data + 12, "VP8L", 4) != 0)) return false;
    const uint64_t chunk = Le32(data + 16);
    return uint64_t(Le32(data + 4)) + 8 == size && 20 + chunk + (chunk & 1) == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    const Decoded mine = Read(bytes);

    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) == VP8_STATUS_OK && !features.has_animation &&
        FuzzPixelsOk(features.width, features.height)) {
        int w = 0, h = 0;
        uint8_t* whole = WebPDecodeBGRA(data, size, &w, &h);
        if (whole) {
            // libwebp's whole decode reads on past the picture's chunk when
            // the file goes on; only a file that is exactly one picture chunk
            // must then read through the reader too.
            if (!mine.ok && OnePictureChunk(data, size))
                Finding("the reader fails where libwebp decodes the file whole");
            if (!mine.ok) {
                WebPFree(whole);
                return 0;
            }
            if (w != mine.width || h != mine.height) Finding("the reader gives another size");
            const uint32_t keep = mine.alpha ? 0xFFFFFFFFu : 0xFFFFFFu;
            for (size_t i = 0; i < mine.pixels.size(); ++i) {
                uint32_t p;
                std::memcpy(&p, whole + 4 * i, 4);
                if ((p ^ mine.pixels[i]) & keep) Finding("the reader's pixels differ from a whole decode");
            }
            WebPFree(whole);
        }
    }

    if (!mine.ok || int64_t(mine.width) * mine.height > kRoundTripPixels) return 0;
    Outcome([&] {
        TMemoryStream copy;
        auto writer = NewWebpWriter();
        TWriteSettings settings;
        settings.lossless = true;
        settings.alpha = mine.alpha;
        writer->Begin(mine.width, mine.height, {}, settings, copy);
        for (int32_t y = 0; y < mine.height; ++y) writer->WriteRow(mine.pixels.data() + size_t(y) * size_t(mine.width));
        writer->End();
        const Decoded again = Read(copy.Bytes());
        if (!again.ok || again.pixels != mine.pixels) Finding("a lossless copy reads back other pixels");
    });
    return 0;
}
