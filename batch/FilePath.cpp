#include "batch/FilePath.h"

#include <cstdint>

namespace velmora {

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point, or 0 when
// the bytes there are not one (stray continuation byte, overlong form,
// encoded surrogate, beyond U+10FFFF, or cut short).
size_t utf8Sequence(std::string_view s, size_t i, char32_t& cp) {
    const auto b = [&](size_t k) { return uint8_t(s[i + k]); };
    const uint8_t lead = b(0);
    size_t n = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        n = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace

QString DecodePath(std::string_view bytes) {
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const size_t n = utf8Sequence(bytes, i, cp);
        if (n == 0) {
            out += QChar(char16_t(0xDC00 + uint8_t(bytes[i])));
            ++i;
            continue;
        }
        if (cp < 0x10000) {
            out += QChar(char16_t(cp));
        } else {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        }
        i += n;
    }
    return out;
}

std::string EncodePath(const QString& path) {
    std::string out;
    out.reserve(size_t(path.size()));
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (const int byte = EscapedByte(c); byte >= 0) {
            out += char(byte);
        } else if (c.isHighSurrogate() && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(c, path[i + 1]));
            ++i;
        } else if (c.isSurrogate()) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, c.unicode());
        }
    }
    return out;
}

}  // namespace velmora
