#include "codecs/color/ColorProfile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Save(cmsHPROFILE h) {
    cmsUInt32Number n = 0;
    cmsSaveProfileToMem(h, nullptr, &n);
    std::vector<uint8_t> bytes(n);
    cmsSaveProfileToMem(h, bytes.data(), &n);
    cmsCloseProfile(h);
    return bytes;
}

// A profile from published xy chromaticities (D65 white) and one curve: the
// sRGB curve (parametric type 4) when gamma is 0.
std::vector<uint8_t> RgbProfile(double rx, double ry, double gx, double gy, double bx, double by, double gamma) {
    const double srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = gamma ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{rx, ry, 1.0}, {gx, gy, 1.0}, {bx, by, 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    auto bytes = Save(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}
std::vector<uint8_t> DisplayP3() { return RgbProfile(0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0); }

std::vector<uint8_t> BuiltInSrgb(double version) {
    cmsHPROFILE h = cmsCreate_sRGBProfile();
    cmsSetProfileVersion(h, version);
    return Save(h);
}

struct TProfileCase {
    std::string name;
    std::vector<uint8_t> icc;
    bool srgb, convertible;
};

std::vector<TProfileCase> ProfileCases() {
    cmsToneCurve* grey = cmsBuildGamma(nullptr, 2.2);
    auto greyProfile = Save(cmsCreateGrayProfile(cmsD50_xyY(), grey));
    cmsFreeToneCurve(grey);
    std::vector<uint8_t> garbage(600);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 37 + 11);
    auto cut = BuiltInSrgb(4.3);
    cut.resize(100);
    return {
        {"BuiltInSrgb", BuiltInSrgb(4.3), true, true},
        {"BuiltInSrgbAsVersion2", BuiltInSrgb(2.1), true, true},
        {"SrgbFromItsPrimaries", RgbProfile(0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0), true, true},
        {"SrgbPrimariesGamma22", RgbProfile(0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 2.2), false, true},
        {"DisplayP3", DisplayP3(), false, true},
        {"AdobeRgb", RgbProfile(0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 563.0 / 256.0), false, true},
        {"Grey", greyProfile, false, false},
        {"Garbage", garbage, false, false},
        {"Truncated", cut, false, false},
        {"Empty", {}, false, false},
    };
}

class ProfileTable : public testing::TestWithParam<TProfileCase> {};

TEST_P(ProfileTable, TellsSrgbAndWhatConverts) {
    const auto& c = GetParam();
    EXPECT_EQ(IsSrgbProfile(c.icc), c.srgb);
    TSrgbConverter converter(c.icc);
    EXPECT_EQ(converter.Valid(), c.convertible);
    uint32_t row[2] = {0x80336699u, 0x00FFFFFFu};
    converter.ConvertRow(row, 2);
    EXPECT_EQ(row[0] >> 24, 0x80u) << "alpha stays";
    EXPECT_EQ(row[1] >> 24, 0x00u) << "alpha stays";
    EXPECT_TRUE(c.convertible || row[0] == 0x80336699u) << "rows stay";
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileTable, testing::ValuesIn(ProfileCases()),
                         [](const auto& info) { return info.param.name; });

// Expected values worked out apart from Little CMS: the sRGB curve undone,
// the published Display P3 to sRGB matrix for D65
//   [ 1.2249 -0.2249  0      ]
//   [-0.0421  1.0421  0      ]
//   [-0.0196 -0.0786  1.0983 ]
// applied, values clipped to 0..1, the sRGB curve applied again.
TEST(SrgbConverter, DisplayP3GivesTheMatrixConversion) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0xFFFF0000u, 0xFFFF0000u},  // P3 red lies outside sRGB: clipped to pure red
        {0xFF00FF00u, 0xFF00FF00u}, {0xFFB43C28u, 0xFFC42F1Bu}, {0x40609070u, 0x4050926Du},
        {0xFF2050C0u, 0xFF0051C7u}, {0xC0E0A040u, 0xC0EB9D1Fu}, {0xFF808080u, 0xFF808080u},
    };
    TSrgbConverter converter(DisplayP3());
    ASSERT_TRUE(converter.Valid());
    for (const auto& [from, want] : cases) {
        uint32_t have = from;
        converter.ConvertRow(&have, 1);
        for (int s = 0; s < 32; s += 8)
            EXPECT_LE(std::abs(int(have >> s & 255) - int(want >> s & 255)), 2)
                << std::hex << from << " gave " << have << ", want " << want;
    }
}

}  // namespace
