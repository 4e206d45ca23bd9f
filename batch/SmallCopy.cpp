#include "batch/SmallCopy.h"

#include <cstring>

namespace {

uint32_t bigEndian(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int k = 0; k < n; ++k) v = (v << 8) | p[k];
    return v;
}

bool startsWith(const std::vector<uint8_t>& b, size_t at, size_t end, const char* text, size_t n) {
    return end - at >= n && std::memcmp(b.data() + at, text, n) == 0;
}

std::optional<std::vector<uint8_t>> jpegCopy(std::vector<uint8_t> b, bool keepAll) {
    const size_t size = b.size();
    if (size < 4 || b[0] != 0xFF || b[1] != 0xD8 || b[size - 2] != 0xFF || b[size - 1] != 0xD9) return std::nullopt;
    if (keepAll) return b;
    std::vector<uint8_t> out(b.begin(), b.begin() + 2);
    size_t p = 2;
    for (;;) {
        if (p >= size || b[p] != 0xFF) return std::nullopt;
        while (p < size && b[p] == 0xFF) ++p;  // fill bytes
        if (p + 2 >= size) return std::nullopt;
        const uint8_t marker = b[p];
        const size_t length = bigEndian(&b[p + 1], 2);
        if (length < 2 || p + 1 + length > size) return std::nullopt;
        const size_t data = p + 3, end = p + 1 + length;
        if (marker == 0xDA) {
            // The scans and everything after them are the picture.
            out.push_back(0xFF);
            out.insert(out.end(), b.begin() + std::ptrdiff_t(p), b.end());
            return out;
        }
        const bool app = marker >= 0xE0 && marker <= 0xEF;
        const bool keep = (!app && marker != 0xFE) || (marker == 0xE0 && startsWith(b, data, end, "JFIF", 5)) ||
                          (marker == 0xEE && startsWith(b, data, end, "Adobe", 5));
        if (keep) {
            out.push_back(0xFF);
            out.insert(out.end(), b.begin() + std::ptrdiff_t(p), b.begin() + std::ptrdiff_t(end));
        }
        p = end;
    }
}

std::optional<std::vector<uint8_t>> pngCopy(std::vector<uint8_t> b, bool keepAll) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (b.size() < 8 || std::memcmp(b.data(), signature, 8) != 0) return std::nullopt;
    std::vector<uint8_t> out;
    if (!keepAll) out.assign(b.begin(), b.begin() + 8);
    size_t p = 8;
    while (p + 12 <= b.size()) {
        const size_t length = bigEndian(&b[p], 4);
        if (length > b.size() - p - 12) return std::nullopt;
        const size_t end = p + 12 + length;
        const char* type = reinterpret_cast<const char*>(&b[p + 4]);
        const bool critical = (type[0] & 0x20) == 0;
        const bool kept = critical || std::memcmp(type, "gAMA", 4) == 0 || std::memcmp(type, "cHRM", 4) == 0 ||
                          std::memcmp(type, "sRGB", 4) == 0 || std::memcmp(type, "tRNS", 4) == 0;
        if (!keepAll && kept) out.insert(out.end(), b.begin() + std::ptrdiff_t(p), b.begin() + std::ptrdiff_t(end));
        if (std::memcmp(type, "IEND", 4) == 0) {
            if (end != b.size()) return std::nullopt;
            if (keepAll) return b;
            return out;
        }
        p = end;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<uint8_t>> CopiedPictureBytes(TPictureFormat format, std::vector<uint8_t> bytes,
                                                       bool keepAll) {
    switch (format) {
    case TPictureFormat::Jpeg: return jpegCopy(std::move(bytes), keepAll);
    case TPictureFormat::Png: return pngCopy(std::move(bytes), keepAll);
    case TPictureFormat::Bmp: return bytes;
    default: return std::nullopt;
    }
}
