#include "codecs/meta/Xmp.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace velmora::meta {

namespace {

bool StartsWith(std::span<const uint8_t> data, std::string_view prefix) {
    return data.size() >= prefix.size() && std::memcmp(data.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

bool IsXmpSegment(std::span<const uint8_t> payload) {
    using namespace std::string_view_literals;
    return StartsWith(payload, "http://ns.adobe.com/xap/1.0/\0"sv) ||
           StartsWith(payload, "http://ns.adobe.com/xmp/extension/\0"sv);
}

bool IsXmpTextChunk(std::span<const uint8_t> data) {
    using namespace std::string_view_literals;
    return StartsWith(data, "XML:com.adobe.xmp\0"sv);
}

void ResetXmpOrientation(std::vector<uint8_t>& packet) {
    static constexpr std::string_view name = "tiff:Orientation";
    auto at = packet.begin();
    for (;;) {
        at = std::search(at, packet.end(), name.begin(), name.end());
        if (at == packet.end()) return;
        auto p = at + std::ptrdiff_t(name.size());
        at = p;
        // tiff:Orientation="6", tiff:Orientation = '6' or <tiff:Orientation>6<
        while (p != packet.end() && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
        if (p == packet.end()) return;
        if (*p == '=') {
            ++p;
            while (p != packet.end() && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
            if (p == packet.end() || (*p != '"' && *p != '\'')) continue;
            ++p;
        } else if (*p == '>') {
            ++p;
        } else {
            continue;
        }
        if (p != packet.end() && *p >= '1' && *p <= '8' && p + 1 != packet.end() &&
            (p[1] == '"' || p[1] == '\'' || p[1] == '<'))
            *p = '1';
    }
}

}  // namespace velmora::meta
