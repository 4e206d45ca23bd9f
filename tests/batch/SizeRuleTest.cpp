// The size rule against values worked out by hand.
#include "batch/ResizeEngine.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

namespace {

class NullPort : public TResizePort {
public:
    void ShowProgress(const QString&, const QString&, int, int) override {}
    void ProcessMessages() override {}
    TOverwriteAnswer AskOverwrite(const QString&) override { return TOverwriteAnswer::No; }
    void ShowError(const QString&) override {}
};

struct SizeCase {
    int32_t dw, dh, ow, oh, w, h;
};

class SizeRule : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeRule, GivesTheHandWorkedSize) {
    const SizeCase c = GetParam();
    NullPort port;
    TResizeEngine engine(port);
    engine.dw = c.dw;
    engine.dh = c.dh;
    int32_t w = -1, h = -1;
    engine.calculateSize(c.ow, c.oh, w, h);
    EXPECT_EQ(w, c.w) << c.ow << "x" << c.oh;
    EXPECT_EQ(h, c.h) << c.ow << "x" << c.oh;
}

INSTANTIATE_TEST_SUITE_P(
    Presets, SizeRule,
    ::testing::Values(SizeCase{640, 480, 4000, 3000, 640, 480},   // 0.16 x 3000
                      SizeCase{640, 480, 3000, 2000, 640, 427},   // 426.67
                      SizeCase{640, 480, 2000, 3000, 427, 640},   // portrait: dw lands on the height
                      SizeCase{640, 480, 4000, 3200, 640, 512},   // the preset height is exceeded
                      SizeCase{1600, 1200, 3008, 2000, 1600, 1064},  // 1063.83
                      SizeCase{640, 480, 1000, 1000, 640, 640},   // a square counts as portrait
                      SizeCase{1280, 960, 320, 240, 1280, 960},   // enlargement
                      SizeCase{4064, 2704, 100, 75, 4064, 3048}));

INSTANTIATE_TEST_SUITE_P(
    FixedSides, SizeRule,
    ::testing::Values(SizeCase{800, 0, 3000, 4000, 600, 800},  // fixed width: longer side
                      SizeCase{800, 0, 4000, 3000, 800, 600},
                      SizeCase{0, 600, 3000, 4000, 600, 800},  // fixed height: shorter side
                      SizeCase{0, 600, 4000, 3000, 800, 600},
                      SizeCase{0, 480, 1000, 1000, 480, 480},
                      SizeCase{5, 0, 2, 1, 5, 2},      // 2.5 -> 2, ties to even
                      SizeCase{7, 0, 2, 1, 7, 4},      // 3.5 -> 4
                      SizeCase{1, 0, 1000, 100, 1, 0},  // a side may round to 0
                      // 7/78 rounded to 64 bits is just below 7/78, so x39 stays below
                      // 3.5; in double precision the product rounds to exactly 3.5 -> 4.
                      SizeCase{7, 0, 78, 39, 7, 3}));

TEST(SizeRuleErrors, ZeroDivisorRaisesInsteadOfConvertingInfinity) {
    NullPort port;
    TResizeEngine engine(port);
    int32_t w = 0, h = 0;
    engine.dw = 640;
    EXPECT_THROW(engine.calculateSize(0, 0, w, h), EZeroDivide);  // portrait: 640 / oh
    engine.calculateSize(10, 0, w, h);  // landscape divides by the width: 640 / 10 x 0
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 0);
    engine.dw = 0;
    engine.dh = 480;
    EXPECT_THROW(engine.calculateSize(10, 0, w, h), EZeroDivide);  // landscape: 480 / oh
    EXPECT_THROW(engine.calculateSize(0, 10, w, h), EZeroDivide);  // portrait: 480 / ow
}

TEST(SizeRuleErrors, ResultBeyondThirtyTwoBitsIsAnError) {
    NullPort port;
    TResizeEngine engine(port);
    engine.dh = 9999;  // fixed height on a 300000 x 1 strip: width near 3e9
    int32_t w = 0, h = 0;
    EXPECT_THROW(engine.calculateSize(300000, 1, w, h), EMathError);
}

}  // namespace
