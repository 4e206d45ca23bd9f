#include "codecs/color/ColorProfile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

using TXy = std::array<double, 2>;  // CIE xy chromaticity

// Published chromaticities of the spaces the tests build (all with a D65 white).
constexpr TXy kD65 = {0.3127, 0.3290};
constexpr std::array<TXy, 3> kSrgbPrimaries = {{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}};
constexpr std::array<TXy, 3> kP3Primaries = {{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}};
constexpr std::array<TXy, 3> kAdobePrimaries = {{{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}}};

std::vector<uint8_t> Save(cmsHPROFILE h) {
    cmsUInt32Number n = 0;
    cmsSaveProfileToMem(h, nullptr, &n);
    std::vector<uint8_t> bytes(n);
    cmsSaveProfileToMem(h, bytes.data(), &n);
    cmsCloseProfile(h);
    return bytes;
}

// The sRGB curve (IEC 61966-2-1) as the parametric curve of type 4.
cmsToneCurve* SrgbCurve() {
    const double p[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, p);
}

std::vector<uint8_t> RgbProfile(const std::array<TXy, 3>& xy, cmsToneCurve* curve) {
    const cmsCIExyY white = {kD65[0], kD65[1], 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {xy[0][0], xy[0][1], 1.0}, {xy[1][0], xy[1][1], 1.0}, {xy[2][0], xy[2][1], 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    auto bytes = Save(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

std::vector<uint8_t> SrgbSavedAs(double version) {
    cmsHPROFILE h = cmsCreate_sRGBProfile();
    cmsSetProfileVersion(h, version);
    return Save(h);
}

std::vector<uint8_t> GreyProfile() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    auto bytes = Save(cmsCreateGrayProfile(cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    return bytes;
}

struct TProfileCase {
    std::string name;
    std::vector<uint8_t> icc;
    bool srgb;
    bool convertible;
};

std::vector<TProfileCase> ProfileCases() {
    std::vector<uint8_t> garbage(600);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 37 + 11);
    auto truncated = SrgbSavedAs(4.3);
    truncated.resize(100);
    return {
        {"BuiltInSrgb", SrgbSavedAs(4.3), true, true},
        {"BuiltInSrgbAsVersion2", SrgbSavedAs(2.1), true, true},
        {"SrgbRebuiltFromPrimaries", RgbProfile(kSrgbPrimaries, SrgbCurve()), true, true},
        {"SrgbPrimariesGamma22", RgbProfile(kSrgbPrimaries, cmsBuildGamma(nullptr, 2.2)), false, true},
        {"DisplayP3", RgbProfile(kP3Primaries, SrgbCurve()), false, true},
        {"AdobeRgb", RgbProfile(kAdobePrimaries, cmsBuildGamma(nullptr, 563.0 / 256.0)), false, true},
        {"Grey", GreyProfile(), false, false},
        {"Garbage", garbage, false, false},
        {"Truncated", truncated, false, false},
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
    if (!c.convertible) {
        EXPECT_EQ(row[0], 0x80336699u);
    }
    EXPECT_EQ(row[0] >> 24, 0x80u) << "alpha stays";
    EXPECT_EQ(row[1] >> 24, 0x00u) << "alpha stays";
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileTable, testing::ValuesIn(ProfileCases()),
                         [](const auto& info) { return info.param.name; });

// An independent conversion: linear RGB to XYZ from the primaries and the
// white (both spaces share D65, so no adaptation enters), and back through
// the inverse of sRGB's matrix.
using TMatrix = std::array<double, 9>;

TMatrix Inverse(const TMatrix& m) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
            (m[5] * m[6] - m[3] * m[8]) / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
            (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
}

std::array<double, 3> Apply(const TMatrix& m, const std::array<double, 3>& v) {
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

TMatrix RgbToXyz(const std::array<TXy, 3>& p) {
    // Columns: each primary's XYZ at Y = 1, scaled so that they sum to white.
    TMatrix m{};
    for (int i = 0; i < 3; ++i) {
        m[0 + i] = p[i][0] / p[i][1];
        m[3 + i] = 1.0;
        m[6 + i] = (1 - p[i][0] - p[i][1]) / p[i][1];
    }
    const auto s = Apply(Inverse(m), {kD65[0] / kD65[1], 1.0, (1 - kD65[0] - kD65[1]) / kD65[1]});
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 3; ++i) m[r * 3 + i] *= s[i];
    return m;
}

double SrgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double SrgbEncode(double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

uint32_t P3ToSrgbByHand(uint32_t argb) {
    const TMatrix m = [] {
        const TMatrix a = RgbToXyz(kP3Primaries), b = Inverse(RgbToXyz(kSrgbPrimaries));
        TMatrix r{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k) r[i * 3 + j] += b[i * 3 + k] * a[k * 3 + j];
        return r;
    }();
    const std::array<double, 3> linear = {SrgbDecode(double(argb >> 16 & 255) / 255),
                                          SrgbDecode(double(argb >> 8 & 255) / 255),
                                          SrgbDecode(double(argb & 255) / 255)};
    const auto out = Apply(m, linear);
    uint32_t result = argb & 0xFF000000u;
    for (int i = 0; i < 3; ++i) result |= uint32_t(std::lround(SrgbEncode(out[i]) * 255)) << (16 - 8 * i);
    return result;
}

int LargestChannelDifference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 32; s += 8) d = std::max(d, std::abs(int(a >> s & 255) - int(b >> s & 255)));
    return d;
}

TEST(SrgbConverter, DisplayP3MatchesTheMatrixConversion) {
    // Saturated primaries (clipped in sRGB), mixed colours inside sRGB's
    // gamut, greys, and several alpha values.
    const std::vector<uint32_t> colours = {0xFFFF0000u, 0xFF00FF00u, 0x800000FFu, 0xFFB43C28u, 0x40609070u,
                                           0xFF2050C0u, 0xFFFFFFFFu, 0xFF000000u, 0x00808080u, 0xC0E0A040u};
    TSrgbConverter converter(RgbProfile(kP3Primaries, SrgbCurve()));
    ASSERT_TRUE(converter.Valid());
    std::vector<uint32_t> row = colours;
    converter.ConvertRow(row.data(), int32_t(row.size()));
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_LE(LargestChannelDifference(row[i], P3ToSrgbByHand(colours[i])), 2)
            << std::hex << colours[i] << " gave " << row[i] << ", by hand " << P3ToSrgbByHand(colours[i]);
    EXPECT_EQ(row[0], 0xFFFF0000u) << "P3 red lies outside sRGB: its clipped value is pure red";
}

}  // namespace
