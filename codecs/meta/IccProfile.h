// ICC colour profiles as photos carry them: split over JPEG APP2
// "ICC_PROFILE" segments, or zlib-compressed in a PNG iCCP chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmora::meta {

// "ICC_PROFILE" and its terminating zero: the start of every ICC APP2 payload,
// followed by the 1-based sequence number and the segment count.
inline constexpr size_t kIccPrefixSize = 12;
inline constexpr size_t kIccHeaderSize = kIccPrefixSize + 2;
// Profile bytes one APP2 segment can carry (65535 minus length and header).
inline constexpr size_t kIccBytesPerSegment = 65535 - 2 - kIccHeaderSize;
// Inflated iCCP profiles larger than this are not kept.
inline constexpr size_t kMaxIccProfile = size_t(16) << 20;

// True for an APP2 payload that starts with "ICC_PROFILE\0".
bool IsIccSegment(std::span<const uint8_t> payload);

// The profile assembled from the ICC APP2 payloads of one file, by their
// sequence numbers. nullopt unless every segment names the same count, each
// number 1..count appears exactly once, and the result is a whole profile
// (IccProfileComplete).
std::optional<std::vector<uint8_t>> AssembleIccSegments(const std::vector<std::span<const uint8_t>>& payloads);

// APP2 payloads carrying `profile`, header included; empty when it needs more
// than the 255 segments a sequence number can count.
std::vector<std::vector<uint8_t>> SplitIccProfile(std::span<const uint8_t> profile);

// The profile declares its own length, has the "acsp" signature and is at
// least a header long.
bool IccProfileComplete(std::span<const uint8_t> profile);
// A complete profile that describes RGB data: the only kind that fits the
// three-component colour files the encoders write.
bool IccProfileFitsRgb(std::span<const uint8_t> profile);

// The profile inside iCCP chunk data (name, zero, method 0, zlib stream);
// nullopt when the chunk is malformed or inflates past kMaxIccProfile.
std::optional<std::vector<uint8_t>> IccFromPngChunk(std::span<const uint8_t> data);

// iCCP chunk data carrying the profile (name "ICC Profile", zlib stream).
std::vector<uint8_t> PngChunkFromIcc(std::span<const uint8_t> profile);

}  // namespace velmora::meta
