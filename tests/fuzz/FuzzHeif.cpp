// The HEIC/HEIF and AVIF reader from memory: header, metadata and every row
// of pictures within the fuzz size cap. Checks what the batch relies on: the
// rows promised are the rows sent, an opaque picture sends opaque pixels, and
// the metadata keeps the shapes the writers expect.
#include "FuzzRows.h"

#include "codecs/heif/HeifFormat.h"

#include <cstring>
#include <vector>

using namespace velmora::fuzz;

// dav1d keeps a 40-byte block when libheif hands it an empty packet from a
// damaged file: a leak inside Debian's library that its callers cannot free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return Outcome([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        const auto reader = NewHeifReader();
        reader->ReadHeader(stream);
        if (!IsHeif(data, size < 64 ? size : 64)) Finding("a file that is not HEIF was read");
        const int32_t w = reader->Width(), h = reader->Height();
        if (w <= 0 || h <= 0 || int64_t(w) * h > kHeifMaxPixels) Finding("a size out of range passed the header");
        const TPictureMetadata& meta = reader->Metadata();
        if (meta.orientation != 0) Finding("an orientation is left to the caller");
        if (!meta.exif.empty() && std::memcmp(meta.exif.data(), "II*\0", 4) != 0 &&
            std::memcmp(meta.exif.data(), "MM\0*", 4) != 0)
            Finding("the EXIF block does not start with a TIFF header");
        if (!meta.icc.empty() && (meta.icc.size() < 20 || std::memcmp(meta.icc.data() + 16, "RGB ", 4) != 0))
            Finding("a profile that is not RGB was kept");
        if (!FuzzPixelsOk(w, h) || HeifDeclaredPixels(data, size) > int64_t(kMaxFuzzPixels)) return;
        CheckEveryRow(*reader);
    });
}
