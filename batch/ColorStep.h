// Pixels of a picture tagged with an RGB colour profile, turned into sRGB
// values for an output that will not carry the profile, so that the picture
// looks as it did.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TColorStep {
public:
    virtual ~TColorStep() = default;
    // Converts width 0xAARRGGBB pixels in place; alpha stays as it is.
    virtual void Convert(uint32_t* row, int32_t width) = 0;
};

// The step for a complete RGB ICC profile; nullptr when the pixels need no
// change (no profile, an sRGB one, or one that cannot be used).
std::unique_ptr<TColorStep> ColorStepFor(const std::vector<uint8_t>& icc);
