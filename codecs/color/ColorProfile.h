// ICC colour profiles as pictures carry them: whether a profile is sRGB, and
// the conversion of rows from a profile's colours to sRGB.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// True when icc is an RGB profile whose colorants (as the profile holds them,
// relative to the D50 connection space), white point and three tone curves
// equal those of Little CMS's built-in sRGB within 1/1000. A profile Little
// CMS cannot read, or one for another colour space, gives false.
bool IsSrgbProfile(const std::vector<uint8_t>& icc);

// Converts 0xAARRGGBB rows in place from the colours of an RGB profile to
// sRGB: perceptual intent, 8 bits per channel, alpha left as it is.
// One converter may serve several threads at once: its transform keeps no
// cache between pixels, so ConvertRow changes nothing but the row it is given.
class TSrgbConverter {
public:
    explicit TSrgbConverter(const std::vector<uint8_t>& icc);
    ~TSrgbConverter();
    TSrgbConverter(const TSrgbConverter&) = delete;
    TSrgbConverter& operator=(const TSrgbConverter&) = delete;

    // False when the profile could not be read or is not an RGB profile that
    // converts to sRGB; ConvertRow then leaves rows alone.
    bool Valid() const { return transform_ != nullptr; }
    void ConvertRow(uint32_t* row, int32_t width) const;

private:
    void* transform_ = nullptr;  // a cmsHTRANSFORM
};
