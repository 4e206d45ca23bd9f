// The answers to the overwrite question, shared by the question, the port
// that asks it and the run loop that acts on it.
#pragma once

#include <cstdint>

// The values are the question's stored answers (0, 1, 2). A port may hand
// back any other value of the underlying type; the loop treats it as Yes.
enum class TOverwriteAnswer : int32_t {
    No = 0,
    Yes = 1,
    YesToAll = 2,
};
