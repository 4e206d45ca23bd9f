// The BMP tests read rasters as the program does: through the reader that the
// codec installs when it registers.
#include "codecs/bmp/BmpFile.h"

#include <gtest/gtest.h>

namespace {

class BmpRegistered : public ::testing::Environment {
public:
    void SetUp() override { RegisterBmpFormat(); }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new BmpRegistered);

}  // namespace
