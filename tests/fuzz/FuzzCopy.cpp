// Pictures copied instead of resized: the input is taken as a JPEG, a PNG and
// a BMP, with and without its metadata. A copy may be refused, but one that is
// made must start and end as the format does, never grow, and be the input
// itself when everything is kept.
#include "FuzzSupport.h"

#include "batch/SmallCopy.h"

#include <cstring>
#include <vector>

using namespace velmora::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    for (TPictureFormat format : {TPictureFormat::Jpeg, TPictureFormat::Png, TPictureFormat::Bmp}) {
        for (bool keepAll : {false, true}) {
            const auto copy = CopiedPictureBytes(format, bytes, keepAll);
            if (!copy) continue;
            if (copy->size() > size) Finding("the copy grew");
            if (keepAll && *copy != bytes) Finding("a whole copy differs from its source");
            const size_t n = copy->size();
            if (format == TPictureFormat::Jpeg &&
                (n < 4 || (*copy)[0] != 0xFF || (*copy)[1] != 0xD8 || (*copy)[n - 2] != 0xFF || (*copy)[n - 1] != 0xD9))
                Finding("a JPEG copy does not start and end as a JPEG");
            if (format == TPictureFormat::Png && (n < 20 || std::memcmp(copy->data() + n - 8, "IEND", 4) != 0))
                Finding("a PNG copy does not end with IEND");
        }
    }
    return 0;
}
