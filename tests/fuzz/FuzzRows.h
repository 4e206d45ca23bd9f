// The rows of a picture reader whose header was read, checked as the batch
// relies on them: the rows promised are the rows sent, and a picture without
// alpha sends opaque pixels only.
#pragma once

#include "FuzzSupport.h"

#include "platform/PictureIO.h"

#include <cstdint>
#include <vector>

namespace velmora::fuzz {

inline void CheckEveryRow(TPictureReader& reader) {
    struct TCounter : TRowTarget {
        std::vector<uint32_t> row;
        int32_t rows = 0;
        bool opaque = true;
        uint32_t* NextRow() override { return row.data(); }
        void Push() override {
            ++rows;
            for (uint32_t p : row) opaque = opaque && (p >> 24) == 0xFF;
        }
    } counter;
    counter.row.resize(size_t(reader.Width()));
    reader.ReadRows(counter);
    if (counter.rows != reader.Height()) Finding("not every row was sent");
    if (!reader.HasAlpha() && !counter.opaque) Finding("a picture without alpha sent transparent pixels");
}

}  // namespace velmora::fuzz
