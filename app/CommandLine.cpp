#include "app/CommandLine.h"

#include "app/VersionInfo.h"

#include <cstring>

namespace {
const char* const kUsage =
    "Usage: velmora [FILE...]\n"
    "Opens the Velmora window, where photographs are resized in batches;\n"
    "each FILE given is added to the list of pictures.\n"
    "\n"
    "  -h, --help     this text\n"
    "  --version      the version\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
    "The folders, the size option and the window position are kept between\n"
    "runs in ~/.config/Velmora/Velmora.conf ($XDG_CONFIG_HOME if set).\n";
}  // namespace

TInfoRequest infoRequest(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0) break;
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) return TInfoRequest::Help;
        if (std::strcmp(a, "--version") == 0) return TInfoRequest::Version;
    }
    return TInfoRequest::None;
}

int answerInfoRequest(TInfoRequest request, std::FILE* out) {
    if (request == TInfoRequest::Help)
        std::fputs(kUsage, out);
    else if (request == TInfoRequest::Version)
        std::fprintf(out, "velmora %s\n", getVersionString().toLatin1().constData());
    return std::fflush(out) == 0 ? 0 : 1;
}
