// The engine's one table of formats: which reader takes a file by its first
// bytes, and which writer makes each output format. Adding a format is one
// line in each list (FormatTable.cpp).
#pragma once

#include "batch/PictureFormats.h"
#include "platform/PictureIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Bytes of a file's start that the readers decide on.
inline constexpr size_t kSniffBytes = 64;

struct TReaderEntry {
    TPictureFormat format;
    // Whether the file's first n bytes are this format's.
    bool (*sniff)(const uint8_t* head, size_t n);
    std::unique_ptr<TPictureReader> (*newReader)();
};

struct TWriterEntry {
    TPictureFormat format;
    std::unique_ptr<TPictureWriter> (*newWriter)();
    bool alpha;    // can hold transparency
    bool profile;  // can carry an ICC profile (and EXIF and XMP)
    bool quality;  // has a quality setting
};

// The reader whose signature the first n bytes carry; nullptr for none.
const TReaderEntry* ReaderByContent(const uint8_t* head, size_t n);
// The reader of a format; nullptr when the engine reads no such files.
const TReaderEntry* ReaderOf(TPictureFormat format);
// The writer of a format; nullptr when the engine writes no such files.
const TWriterEntry* WriterOf(TPictureFormat format);
