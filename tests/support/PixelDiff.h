// Readable failure messages for pictures and files compared value by value:
// where the first difference is, and the neighbourhood around it printed as
// two hex grids, what the code produced above what was expected.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// "" when `have` equals `want`; otherwise the first differing value as
// "(x, y) have 0x... want 0x..." (or the two sizes when one is a prefix of
// the other), followed by HexGrids around it. Values are laid out in rows of
// `width`: pixels of a picture, or 16 bytes a row for a file.
std::string FirstDifference(const std::vector<uint32_t>& have, const std::vector<uint32_t>& want, int width);
std::string FirstDifference(const std::vector<uint8_t>& have, const std::vector<uint8_t>& want, int width = 16);

// The values within `radius` rows and columns of (x, y) as two hex grids,
// "have:" above "want:", the centre marked with brackets; values past the end
// of either side print as dots.
std::string HexGrids(const std::vector<uint32_t>& have, const std::vector<uint32_t>& want, int width, int x, int y,
                     int radius = 2);
std::string HexGrids(const std::vector<uint8_t>& have, const std::vector<uint8_t>& want, int width, int x, int y,
                     int radius = 2);

}  // namespace testsupport
