// File names as bytes: every name the file system can hold survives the trip
// into the engine's text and back, and valid UTF-8 reads as its characters.
#include "batch/FilePath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using velmora::DecodePath;
using velmora::EncodePath;

TEST(FilePath, EveryByteSequenceRoundTrips) {
    // Every single byte, every pair of bytes, and sequences that look like
    // UTF-8 but are not: overlong forms, encoded surrogates, beyond U+10FFFF,
    // cut short, stray continuation bytes.
    for (int a = 1; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            std::string s{char(a)};
            if (b != 0) s += char(b);
            ASSERT_EQ(EncodePath(DecodePath(s)), s) << a << " " << b;
        }
    }
    for (const char* s : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80",
                          "\xf0\x9f\x98", "\x80\x80", "a\xff/b\xfe.jpg", "\xed\xb3\xbf"})
        EXPECT_EQ(EncodePath(DecodePath(s)), std::string(s)) << s;
}

TEST(FilePath, ValidUtf8IsText) {
    const std::string utf8 = "/fotos/\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.jpg";
    EXPECT_EQ(DecodePath(utf8), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(EncodePath(QString::fromUtf8(utf8.c_str())), utf8);
    // Bytes that are not UTF-8 are kept apart from the text around them.
    const QString mixed = DecodePath("a\xff" "b");
    ASSERT_EQ(mixed.size(), 3);
    EXPECT_EQ(mixed[0], QLatin1Char('a'));
    EXPECT_EQ(velmora::EscapedByte(mixed[1]), 0xFF);
    EXPECT_EQ(velmora::EscapedByte(mixed[2]), -1);
}

}  // namespace
