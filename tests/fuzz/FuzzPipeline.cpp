// The whole pipeline from bytes: the format is taken from the file's
// signature, then decode, size rule at a small target (the longer side set
// from the input's length, 1 to 48 pixels), resample, and encode to memory,
// keeping metadata and transparency for every other band of lengths.
// The output must be a file the same codec reads back at the target size.
#include "FuzzSupport.h"

#include "batch/ResizeEngine.h"
#include "codecs/bmp/BmpFile.h"
#include "codecs/jpeg/JPEGImage.h"
#include "codecs/png/PngImage.h"
#include "raster/Bitmap32.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace velmora::fuzz;

namespace {

class QuietPort : public TResizePort {
public:
    void ShowProgress(const QString&, const QString&, int, int) override {}
    void ProcessMessages() override {}
    TOverwriteAnswer AskOverwrite(const QString&) override { return TOverwriteAnswer::Yes; }
    void ShowError(const QString&) override {}
};

enum class Format { None, Jpeg, Png, Bmp };

Format FormatOf(const uint8_t* data, size_t size) {
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return Format::Jpeg;
    if (size >= 8 && std::memcmp(data, png, 8) == 0) return Format::Png;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return Format::Bmp;
    return Format::None;
}

// False when a frame header before the first scan declares more than the
// cap. Segments are walked by their lengths; bytes between segments are
// skipped up to the next marker, as the decoder does.
bool JpegSizeOk(const uint8_t* data, size_t size) {
    size_t pos = 2;
    while (pos < size) {
        while (pos < size && data[pos] != 0xFF) ++pos;
        while (pos < size && data[pos] == 0xFF) ++pos;
        if (pos >= size) break;
        const uint8_t marker = data[pos++];
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || marker == 0xDA) break;
        if (pos + 2 > size) break;
        const size_t length = size_t(data[pos]) << 8 | data[pos + 1];
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && pos + 7 <= size) {
            const int64_t height = int64_t(data[pos + 3]) << 8 | data[pos + 4];
            const int64_t width = int64_t(data[pos + 5]) << 8 | data[pos + 6];
            if (!FuzzPixelsOk(width, height)) return false;
        }
        pos += std::max<size_t>(length, 2);
    }
    return true;
}

// Width and height of an encoded output, read back with its own codec.
void ReadBack(Format format, const std::vector<uint8_t>& bytes, int32_t& width, int32_t& height) {
    TMemoryStream stream(bytes);
    if (format == Format::Bmp) {
        RegisterBmpFormat();  // installs the raster's BMP reader
        TBitmap32 raster;
        raster.LoadFromStream(stream);
        width = raster.Width();
        height = raster.Height();
    } else if (format == Format::Jpeg) {
        TJPEGImage jpeg;
        jpeg.LoadFromStream(stream);
        TBitmap bitmap;
        jpeg.AssignTo(bitmap);
        width = bitmap.Width();
        height = bitmap.Height();
    } else {
        TPngImage png;
        png.LoadFromStream(stream);
        TBitmap32 raster;
        raster.Assign(static_cast<TGraphic&>(png));
        width = raster.Width();
        height = raster.Height();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Format format = FormatOf(data, size);
    if (format == Format::None) return 0;
    if (format == Format::Jpeg && !JpegSizeOk(data, size)) return 0;
    if (format == Format::Png && !PngSizeOk(data, size)) return 0;
    if (format == Format::Bmp && !BmpSizeOk(data, size)) return 0;

    static QuietPort port;
    TResizeEngine engine(port);
    engine.dw = int32_t(1 + size % 48);
    // Every other length band also keeps metadata and transparency, so that
    // both ways of writing are reached (orientation is on by default).
    engine.keepMetadata = engine.keepAlpha = (size / 48) % 2 == 0;
    engine.Prepare();
    std::vector<uint8_t> source(data, data + size);
    std::vector<uint8_t> output;
    Outcome([&] {
        switch (format) {
        case Format::Jpeg: output = engine.resizeJpgBytes(std::move(source)); break;
        case Format::Png: output = engine.resizePngBytes(std::move(source)); break;
        default: output = engine.resizeBmpBytes(std::move(source)); break;
        }
    });
    if (output.empty()) return 0;

    // Our own output must read back, its longer side the target value.
    int32_t width = 0, height = 0;
    try {
        ReadBack(format, output, width, height);
    } catch (const Exception&) {
        Finding("the pipeline's output does not read back");
    }
    if (std::max(width, height) != engine.dw || std::min(width, height) < 1) Finding("output size breaks the size rule");
    return 0;
}
