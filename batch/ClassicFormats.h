// The JPEG, PNG and BMP codecs behind the engine's reader and writer
// interfaces, for every route that is not one of their own pipelines (a
// conversion, a misnamed file).
#pragma once

#include "platform/PictureIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>

bool IsJpeg(const uint8_t* head, size_t n);
bool IsPng(const uint8_t* head, size_t n);
bool IsBmp(const uint8_t* head, size_t n);

std::unique_ptr<TPictureReader> NewJpegReader();
std::unique_ptr<TPictureReader> NewPngReader();
std::unique_ptr<TPictureReader> NewBmpReader();

// Baseline JPEG at the quality asked (0: the JPEG default of today's runs).
std::unique_ptr<TPictureWriter> NewJpegWriter();
// Non-interlaced PNG: RGB, or RGB + alpha when asked for and the rows carry it.
std::unique_ptr<TPictureWriter> NewPngWriter();
// 32-bit BMP as the BMP pipeline writes it.
std::unique_ptr<TPictureWriter> NewBmpWriter();
