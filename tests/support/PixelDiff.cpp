#include "tests/support/PixelDiff.h"

#include <algorithm>
#include <cstdio>

namespace testsupport {

namespace {

template <typename T>
void Grid(std::string& out, const char* label, const std::vector<T>& values, int width, int x, int y, int radius) {
    constexpr int digits = int(sizeof(T)) * 2;
    const int rows = width > 0 ? int((values.size() + size_t(width) - 1) / size_t(width)) : 0;
    out += label;
    out += '\n';
    for (int row = std::max(0, y - radius); row <= y + radius; ++row) {
        out += "  ";
        for (int col = std::max(0, x - radius); col <= std::min(width - 1, x + radius); ++col) {
            const size_t at = size_t(row) * size_t(width) + size_t(col);
            const bool centre = row == y && col == x;
            out += centre ? '[' : ' ';
            if (row < rows && at < values.size()) {
                char text[16];
                std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(values[at]));
                out += text;
            } else {
                out += std::string(size_t(digits), '.');
            }
            out += centre ? ']' : ' ';
        }
        out += '\n';
    }
}

template <typename T>
std::string Grids(const std::vector<T>& have, const std::vector<T>& want, int width, int x, int y, int radius) {
    std::string out;
    Grid(out, "have:", have, width, x, y, radius);
    Grid(out, "want:", want, width, x, y, radius);
    return out;
}

template <typename T>
std::string First(const std::vector<T>& have, const std::vector<T>& want, int width) {
    if (width < 1) width = 1;
    const size_t common = std::min(have.size(), want.size());
    size_t i = 0;
    while (i < common && have[i] == want[i]) ++i;
    if (i == common && have.size() == want.size()) return "";
    const int x = int(i % size_t(width)), y = int(i / size_t(width));
    char text[128];
    if (i < common)
        std::snprintf(text, sizeof text, "(%d, %d) have 0x%0*llX want 0x%0*llX\n", x, y, int(sizeof(T)) * 2,
                      static_cast<unsigned long long>(have[i]), int(sizeof(T)) * 2,
                      static_cast<unsigned long long>(want[i]));
    else
        std::snprintf(text, sizeof text, "sizes differ: have %zu want %zu values, equal up to (%d, %d)\n",
                      have.size(), want.size(), x, y);
    return text + Grids(have, want, width, x, y, 2);
}

}  // namespace

std::string FirstDifference(const std::vector<uint32_t>& have, const std::vector<uint32_t>& want, int width) {
    return First(have, want, width);
}

std::string FirstDifference(const std::vector<uint8_t>& have, const std::vector<uint8_t>& want, int width) {
    return First(have, want, width);
}

std::string HexGrids(const std::vector<uint32_t>& have, const std::vector<uint32_t>& want, int width, int x, int y,
                     int radius) {
    return Grids(have, want, width, x, y, radius);
}

std::string HexGrids(const std::vector<uint8_t>& have, const std::vector<uint8_t>& want, int width, int x, int y,
                     int radius) {
    return Grids(have, want, width, x, y, radius);
}

}  // namespace testsupport
