#include "codecs/color/ColorProfile.h"

#include <lcms2.h>

#include <bit>
#include <cmath>
#include <cstddef>

namespace {

// Two profiles agree when every colorant, white point and curve value is
// within this of the other's.
constexpr double kSrgbTolerance = 1.0 / 1000.0;
// Points at which two tone curves are compared, 0 and 1 included.
constexpr int kCurvePoints = 48;

// 0xAARRGGBB in memory: B, G, R, A on a little-endian machine, the other way
// round on a big-endian one.
constexpr cmsUInt32Number kRowFormat = std::endian::native == std::endian::little ? TYPE_BGRA_8 : TYPE_ARGB_8;

// Owns an open profile.
struct TProfile {
    cmsHPROFILE h = nullptr;
    explicit TProfile(cmsHPROFILE profile) : h(profile) {}
    ~TProfile() {
        if (h) cmsCloseProfile(h);
    }
    TProfile(const TProfile&) = delete;
    TProfile& operator=(const TProfile&) = delete;
};

cmsHPROFILE OpenRgbProfile(const std::vector<uint8_t>& icc) {
    if (icc.empty() || icc.size() > UINT32_MAX) return nullptr;
    cmsHPROFILE h = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    if (h && cmsGetColorSpace(h) != cmsSigRgbData) {
        cmsCloseProfile(h);
        return nullptr;
    }
    return h;
}

bool Near(double a, double b) { return std::fabs(a - b) <= kSrgbTolerance; }

bool NearXYZ(const cmsCIEXYZ& a, const cmsCIEXYZ& b) { return Near(a.X, b.X) && Near(a.Y, b.Y) && Near(a.Z, b.Z); }

bool Inverse3x3(const double* m, double* out) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (std::fabs(det) < 1e-12) return false;
    out[0] = (m[4] * m[8] - m[5] * m[7]) / det;
    out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[2] = (m[1] * m[5] - m[2] * m[4]) / det;
    out[3] = (m[5] * m[6] - m[3] * m[8]) / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[6] = (m[3] * m[7] - m[4] * m[6]) / det;
    out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

// The white of the device: the media white point taken back through the
// profile's chromatic adaptation when it has one (a profile that stores its
// white adapted to D50 says how in that tag), as stored otherwise.
bool DeviceWhite(cmsHPROFILE h, cmsCIEXYZ& white) {
    const auto* wtpt = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, cmsSigMediaWhitePointTag));
    if (!wtpt) return false;
    white = *wtpt;
    const auto* chad = static_cast<const double*>(cmsReadTag(h, cmsSigChromaticAdaptationTag));
    if (!chad) return true;
    double inv[9];
    if (!Inverse3x3(chad, inv)) return false;
    white = {inv[0] * wtpt->X + inv[1] * wtpt->Y + inv[2] * wtpt->Z,
             inv[3] * wtpt->X + inv[4] * wtpt->Y + inv[5] * wtpt->Z,
             inv[6] * wtpt->X + inv[7] * wtpt->Y + inv[8] * wtpt->Z};
    return true;
}

// What decides whether a matrix-and-curves profile is sRGB.
struct TShaper {
    cmsCIEXYZ colorant[3];
    cmsCIEXYZ white;
    const cmsToneCurve* curve[3];
};

bool ReadShaper(cmsHPROFILE h, TShaper& s) {
    if (!cmsIsMatrixShaper(h)) return false;
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int i = 0; i < 3; ++i) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, colorants[i]));
        s.curve[i] = static_cast<const cmsToneCurve*>(cmsReadTag(h, curves[i]));
        if (!xyz || !s.curve[i]) return false;
        s.colorant[i] = *xyz;
    }
    return DeviceWhite(h, s.white);
}

const TShaper& BuiltInSrgb() {
    // Read once; the profile stays open for the program's life so that its
    // curves stay valid.
    static const TShaper shaper = [] {
        TShaper s{};
        ReadShaper(cmsCreate_sRGBProfile(), s);
        return s;
    }();
    return shaper;
}

}  // namespace

bool IsSrgbProfile(const std::vector<uint8_t>& icc) {
    TProfile profile(OpenRgbProfile(icc));
    TShaper have{};
    if (!profile.h || !ReadShaper(profile.h, have)) return false;
    const TShaper& want = BuiltInSrgb();
    if (!NearXYZ(have.white, want.white)) return false;
    for (int i = 0; i < 3; ++i) {
        if (!NearXYZ(have.colorant[i], want.colorant[i])) return false;
        for (int k = 0; k < kCurvePoints; ++k) {
            const float x = float(k) / float(kCurvePoints - 1);
            if (!Near(cmsEvalToneCurveFloat(have.curve[i], x), cmsEvalToneCurveFloat(want.curve[i], x)))
                return false;
        }
    }
    return true;
}

TSrgbConverter::TSrgbConverter(const std::vector<uint8_t>& icc) {
    TProfile source(OpenRgbProfile(icc));
    if (!source.h) return;
    TProfile srgb(cmsCreate_sRGBProfile());
    if (!srgb.h) return;
    // No cache: the transform then holds no state that changes while rows
    // go through it, and several threads may share it.
    transform_ = cmsCreateTransform(source.h, kRowFormat, srgb.h, kRowFormat, INTENT_PERCEPTUAL,
                                    cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
}

TSrgbConverter::~TSrgbConverter() {
    if (transform_) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

void TSrgbConverter::ConvertRow(uint32_t* row, int32_t width) const {
    if (!transform_ || width <= 0) return;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), row, row, cmsUInt32Number(width));
}
