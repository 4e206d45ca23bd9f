// File names as the engine holds them. Linux names are bytes, not text: any
// byte but '/' and NUL may appear, and a name need not be valid UTF-8. The
// engine keeps names in QString so the front ends can show and sort them, so
// the conversion must not lose a byte: valid UTF-8 becomes its characters,
// and every byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80..U+DCFF carrying it (which valid UTF-8 can never produce). Turning
// the text back gives the same bytes.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace velmora {

// Bytes of a file name or path to the engine's text.
QString DecodePath(std::string_view bytes);

// The engine's text back to the bytes the file system knows. Characters that
// no decoded name holds (other lone surrogates) become U+FFFD.
std::string EncodePath(const QString& path);

// The byte a lone surrogate U+DC80..U+DCFF carries, or -1 for any other
// character: lets a front end show such bytes escaped.
inline int EscapedByte(QChar c) {
    const char16_t u = c.unicode();
    return u >= 0xDC80 && u <= 0xDCFF ? int(u - 0xDC00) : -1;
}

}  // namespace velmora
