// Writes the generated JPEG seeds of the fuzz targets into the folder named
// on the command line: every kind of file the decoder has a route for, made
// with plain libjpeg calls, kept small (a few kilobytes each).
#include "tests/support/JpegTestKit.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    using jpegkit::Recipe;
    struct Seed {
        const char* name;
        Recipe recipe;
    };
    const Seed seeds[] = {
        {"colour-420.jpg", Recipe{}},
        {"colour-444.jpg", Recipe{.subsample = false}},
        {"grey.jpg", Recipe{.kind = Recipe::Grey}},
        {"cmyk.jpg", Recipe{.width = 19, .height = 11, .kind = Recipe::Cmyk}},
        {"ycck.jpg", Recipe{.width = 19, .height = 11, .kind = Recipe::Ycck}},
        {"progressive.jpg", Recipe{.progressive = true}},
        {"progressive-grey.jpg", Recipe{.kind = Recipe::Grey, .progressive = true}},
        {"restart.jpg", Recipe{.width = 40, .height = 40, .restartRows = 1}},
        {"one-pixel.jpg", Recipe{.width = 1, .height = 1}},
        {"tall.jpg", Recipe{.width = 3, .height = 70, .quality = 10}},
        {"wide-q100.jpg", Recipe{.width = 70, .height = 5, .quality = 100}},
    };
    for (const Seed& s : seeds) jpegkit::WriteFile(dir + "/" + s.name, jpegkit::MakeJpeg(s.recipe));
    jpegkit::WriteFile(dir + "/many-scans.jpg", jpegkit::MakeManyScanJpeg(40));
    return 0;
}
