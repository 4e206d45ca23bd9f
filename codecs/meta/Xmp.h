// XMP packets as photos carry them: JPEG APP1 segments named by the XMP
// namespace, or a PNG iTXt chunk with the keyword "XML:com.adobe.xmp".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora::meta {

// An APP1 payload holding the main XMP packet or an extension part.
bool IsXmpSegment(std::span<const uint8_t> payload);
// iTXt chunk data whose keyword is "XML:com.adobe.xmp".
bool IsXmpTextChunk(std::span<const uint8_t> data);

// Sets every tiff:Orientation value of the packet (attribute or element form)
// to 1, in place; the length of the packet does not change.
void ResetXmpOrientation(std::vector<uint8_t>& packet);

}  // namespace velmora::meta
