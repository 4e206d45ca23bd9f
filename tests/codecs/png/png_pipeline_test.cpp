#include "png_test_util.h"
