// Photo metadata from bytes: the input is taken as an EXIF block (orientation
// and the output copy), as an ICC profile split into APP2 payloads, as iCCP
// chunk data and as an XMP packet. Each must give an answer without reading
// outside what it was given, and the answers must hold together.
#include "FuzzSupport.h"

#include "codecs/meta/Exif.h"
#include "codecs/meta/IccProfile.h"
#include "codecs/meta/Xmp.h"

#include <span>
#include <vector>

using namespace velmora::fuzz;
using namespace velmora::meta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copies, so that a read past the end is a sanitizer finding.
    const std::vector<uint8_t> block(data, data + size);

    const int orientation = ExifOrientation(block.data(), block.size());
    if (orientation < 0 || orientation > 8) Finding("orientation out of range");
    for (bool reset : {true, false}) {
        const auto copy = RewriteExif(block.data(), block.size(), TExifRewrite{reset, 640, 480});
        if (!copy) continue;
        if (copy->size() > block.size()) Finding("the EXIF copy grew");
        const int after = ExifOrientation(copy->data(), copy->size());
        if (reset && after > 1) Finding("the EXIF copy still turns the picture");
        if (!reset && orientation != 0 && after != orientation) Finding("the EXIF copy lost its orientation");
    }

    // APP2 payloads: each input byte below 64 ends a segment.
    std::vector<std::vector<uint8_t>> segments(1);
    for (uint8_t b : block) {
        if (b < 64 && !segments.back().empty())
            segments.emplace_back();
        else
            segments.back().push_back(b);
    }
    std::vector<std::span<const uint8_t>> spans;
    for (const auto& s : segments) spans.emplace_back(s);
    if (const auto profile = AssembleIccSegments(spans)) {
        if (!IccProfileComplete(*profile)) Finding("an incomplete profile was assembled");
        std::vector<std::span<const uint8_t>> again;
        const auto pieces = SplitIccProfile(*profile);
        for (const auto& p : pieces) again.emplace_back(p);
        if (AssembleIccSegments(again) != profile) Finding("a profile does not survive splitting");
    }
    if (const auto inflated = IccFromPngChunk(block))
        if (inflated->size() > kMaxIccProfile) Finding("an iCCP profile past the limit");

    std::vector<uint8_t> packet = block;
    ResetXmpOrientation(packet);
    if (packet.size() != block.size()) Finding("the XMP packet changed its length");
    (void)IsXmpSegment(block);
    (void)IsXmpTextChunk(block);
    return 0;
}
