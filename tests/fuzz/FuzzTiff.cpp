// The TIFF reader from memory: header, directory, metadata, then every row
// through libtiff's RGBA conversion. A picture that says it has no alpha must
// give opaque rows, and every row is sent exactly once.
#include "FuzzSupport.h"

#include "codecs/tiff/TiffFormat.h"

#include <vector>

using namespace velmora::fuzz;

namespace {

struct RowCounter : TRowTarget {
    std::vector<uint32_t> row;
    int32_t rows = 0;
    bool opaque = true;
    uint32_t* NextRow() override { return row.data(); }
    void Push() override {
        ++rows;
        for (uint32_t p : row) opaque = opaque && (p >> 24) == 0xFF;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return Outcome([&] {
        TMemoryStream stream(std::vector<uint8_t>(data, data + size));
        auto reader = NewTiffReader();
        reader->ReadHeader(stream);
        if (reader->Width() <= 0 || reader->Height() <= 0) Finding("a picture without pixels was accepted");
        if (!FuzzPixelsOk(reader->Width(), reader->Height())) return;
        const int orientation = reader->Metadata().orientation;
        if (orientation < 0 || orientation > 8) Finding("orientation out of range");
        RowCounter target;
        target.row.resize(size_t(reader->Width()));
        reader->ReadRows(target);
        if (target.rows != reader->Height()) Finding("not every row was sent");
        if (!reader->HasAlpha() && !target.opaque) Finding("a picture without alpha gave transparent pixels");
    });
}
