// Turns libheif's error codes into the unit's exception texts.
#pragma once

#include "codecs/heif/HeifFormat.h"

#include <libheif/heif.h>

// Raises EHeifError for a failed libheif call: the fixed text that fits the
// error's code, then libheif's message. Returns when err is no error.
void ThrowOnHeifError(const heif_error& err);
