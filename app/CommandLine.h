// The two questions the desktop program answers on standard output before it
// opens a window, so that they work without a display: --help and --version.
#pragma once

#include <cstdio>

enum class TInfoRequest { None, Help, Version };

// The first of --help (or -h) and --version among the arguments before "--";
// None when neither is there and the program should start.
TInfoRequest infoRequest(int argc, const char* const* argv);

// Writes the usage text or the version line to `out`; returns the exit status.
int answerInfoRequest(TInfoRequest request, std::FILE* out);
