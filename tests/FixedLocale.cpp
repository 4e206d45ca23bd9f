// Linked into every test program: pins the locale before main runs, so that
// locale-dependent comparisons (case folding of the text lookup) give the
// same answers whatever locale the machine running the tests is set to.
#include <cstdlib>

namespace {

const bool kLocaleFixed = [] {
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("LANG", "C.UTF-8", 1);
    ::unsetenv("LANGUAGE");
    return true;
}();

}  // namespace
