// The TIFF reader from memory: header, directory, metadata, then every row
// through libtiff's RGBA conversion. A picture that says it has no alpha must
// give opaque rows, and every row is sent exactly once.
#include "FuzzRows.h"

#include "codecs/tiff/TiffFormat.h"

#include <vector>

using namespace velmora::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return Outcome([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        auto reader = NewTiffReader();
        reader->ReadHeader(stream);
        if (reader->Width() <= 0 || reader->Height() <= 0) Finding("a picture without pixels was accepted");
        if (!FuzzPixelsOk(reader->Width(), reader->Height())) return;
        const int orientation = reader->Metadata().orientation;
        if (orientation < 0 || orientation > 8) Finding("orientation out of range");
        CheckEveryRow(*reader);
    });
}
