#include "batch/ColorStep.h"

#include "codecs/color/ColorProfile.h"

namespace {

class TLcmsStep : public TColorStep {
public:
    explicit TLcmsStep(const std::vector<uint8_t>& icc) : converter_(icc) {}
    bool Valid() const { return converter_.Valid(); }
    void Convert(uint32_t* row, int32_t width) override { converter_.ConvertRow(row, width); }

private:
    TSrgbConverter converter_;
};

}  // namespace

std::unique_ptr<TColorStep> ColorStepFor(const std::vector<uint8_t>& icc) {
    if (icc.empty() || IsSrgbProfile(icc)) return nullptr;
    auto step = std::make_unique<TLcmsStep>(icc);
    if (!step->Valid()) return nullptr;
    return step;
}
