#include "codecs/meta/IccProfile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace velmora::meta {

namespace {

constexpr char kIccPrefix[kIccPrefixSize] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kProfileHeaderSize = 128;

uint32_t BE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace

bool IsIccSegment(std::span<const uint8_t> payload) {
    return payload.size() >= kIccPrefixSize && std::memcmp(payload.data(), kIccPrefix, kIccPrefixSize) == 0;
}

bool IccProfileComplete(std::span<const uint8_t> profile) {
    return profile.size() >= kProfileHeaderSize && BE32(profile.data()) == profile.size() &&
           std::memcmp(profile.data() + 36, "acsp", 4) == 0;
}

bool IccProfileFitsRgb(std::span<const uint8_t> profile) {
    return IccProfileComplete(profile) && std::memcmp(profile.data() + 16, "RGB ", 4) == 0;
}

std::optional<std::vector<uint8_t>> AssembleIccSegments(const std::vector<std::span<const uint8_t>>& payloads) {
    if (payloads.empty()) return std::nullopt;
    std::vector<std::span<const uint8_t>> bySequence;
    std::vector<bool> seen;
    for (const auto& p : payloads) {
        if (!IsIccSegment(p) || p.size() < kIccHeaderSize) return std::nullopt;
        const unsigned seq = p[kIccPrefixSize], count = p[kIccPrefixSize + 1];
        if (count == 0 || seq == 0 || seq > count) return std::nullopt;
        if (bySequence.empty()) {
            bySequence.resize(count);
            seen.resize(count, false);
        }
        // Another count, or a number given twice.
        if (bySequence.size() != count || seen[seq - 1]) return std::nullopt;
        bySequence[seq - 1] = p.subspan(kIccHeaderSize);
        seen[seq - 1] = true;
    }
    if (std::find(seen.begin(), seen.end(), false) != seen.end()) return std::nullopt;  // one is missing
    std::vector<uint8_t> profile;
    for (const auto& piece : bySequence) profile.insert(profile.end(), piece.begin(), piece.end());
    if (!IccProfileComplete(profile)) return std::nullopt;
    return profile;
}

std::vector<std::vector<uint8_t>> SplitIccProfile(std::span<const uint8_t> profile) {
    const size_t count = (profile.size() + kIccBytesPerSegment - 1) / kIccBytesPerSegment;
    if (count == 0 || count > 255) return {};
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = 0; i < count; ++i) {
        const auto piece = profile.subspan(i * kIccBytesPerSegment,
                                           std::min(kIccBytesPerSegment, profile.size() - i * kIccBytesPerSegment));
        std::vector<uint8_t> payload(kIccPrefix, kIccPrefix + kIccPrefixSize);
        payload.push_back(uint8_t(i + 1));
        payload.push_back(uint8_t(count));
        payload.insert(payload.end(), piece.begin(), piece.end());
        out.push_back(std::move(payload));
    }
    return out;
}

std::optional<std::vector<uint8_t>> IccFromPngChunk(std::span<const uint8_t> data) {
    // Name of 1..79 bytes, its terminating zero, compression method 0.
    size_t nameEnd = 0;
    while (nameEnd < data.size() && nameEnd < 80 && data[nameEnd] != 0) ++nameEnd;
    if (nameEnd == 0 || nameEnd >= 80 || nameEnd + 2 > data.size() || data[nameEnd] != 0 || data[nameEnd + 1] != 0)
        return std::nullopt;
    const auto stream = data.subspan(nameEnd + 2);

    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    std::vector<uint8_t> profile;
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = uInt(stream.size());
    int result = Z_OK;
    uint8_t buffer[16384];
    while (result == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        const size_t produced = sizeof buffer - z.avail_out;
        if (profile.size() + produced > kMaxIccProfile) {
            result = Z_MEM_ERROR;
            break;
        }
        profile.insert(profile.end(), buffer, buffer + produced);
        if (result == Z_BUF_ERROR && z.avail_in == 0) break;  // the stream was cut short
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END) return std::nullopt;
    return profile;
}

std::vector<uint8_t> PngChunkFromIcc(std::span<const uint8_t> profile) {
    static constexpr char kName[] = "ICC Profile";
    std::vector<uint8_t> data(kName, kName + sizeof kName);  // the name and its zero
    data.push_back(0);                                       // compression method 0
    uLongf size = compressBound(uLong(profile.size()));
    const size_t at = data.size();
    data.resize(at + size);
    if (compress2(data.data() + at, &size, profile.data(), uLong(profile.size()), 9) != Z_OK) return {};
    data.resize(at + size);
    return data;
}

}  // namespace velmora::meta
