#include "AppTestSupport.h"

namespace {
[[maybe_unused]] ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new apptest::AppEnvironment);
}  // namespace
