// The failure text every pixel comparison relies on: empty exactly when both
// sides are equal, otherwise where they part and the values around it.
#include "tests/support/PixelDiff.h"

#include <gtest/gtest.h>

using testsupport::FirstDifference;
using testsupport::HexGrids;

TEST(PixelDiff, EmptyOnlyWhenBothSidesAreEqual) {
    const std::vector<uint32_t> a{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(FirstDifference(a, a, 3), "");
    EXPECT_EQ(FirstDifference(std::vector<uint32_t>{}, std::vector<uint32_t>{}, 3), "");
    // One side a prefix of the other is a difference too, either way round.
    EXPECT_NE(FirstDifference(a, {1, 2, 3}, 3), "");
    EXPECT_NE(FirstDifference({1, 2, 3}, a, 3), "");
    EXPECT_NE(FirstDifference(std::vector<uint8_t>{9}, std::vector<uint8_t>{}), "");
}

TEST(PixelDiff, NamesTheFirstDifferingPixelByColumnAndRow) {
    const std::vector<uint32_t> want{0, 0, 0, 0, 0, 0};
    const std::vector<uint32_t> have{0, 0, 0, 0, 0xFF00AB, 7};
    const std::string text = FirstDifference(have, want, 3);
    EXPECT_EQ(text.substr(0, text.find('\n')), "(1, 1) have 0x00FF00AB want 0x00000000");
    const std::string bytes = FirstDifference(std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>{1, 2, 4});
    EXPECT_EQ(bytes.substr(0, bytes.find('\n')), "(2, 0) have 0x03 want 0x04");
}

TEST(PixelDiff, GridsShowTheNeighbourhoodAndMarkTheCentre) {
    // 4 x 2 values; radius 1 around (0, 1): columns 0..1, rows 0..2 (row 2 is
    // past the end and prints as dots).
    const std::vector<uint8_t> have{0x10, 0x11, 0x12, 0x13, 0x20, 0x21, 0x22, 0x23};
    const std::vector<uint8_t> want{0x10, 0x11, 0x12, 0x13, 0xEE, 0x21, 0x22, 0x23};
    EXPECT_EQ(HexGrids(have, want, 4, 0, 1, 1),
              "have:\n"
              "   10  11 \n"
              "  [20] 21 \n"
              "   ..  .. \n"
              "want:\n"
              "   10  11 \n"
              "  [EE] 21 \n"
              "   ..  .. \n");
}
