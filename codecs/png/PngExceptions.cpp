#include "codecs/png/PngExceptions.h"

std::string ZlibResultText(int code) {
    switch (code) {
    case -6: return "incompatible version (-6)";
    case -5: return "buffer error (-5)";
    case -4: return "insufficient memory (-4)";
    case -3: return "data error (-3)";
    case -2: return "stream error (-2)";
    case -1: return "file error (-1)";
    case 0: return "(0)";
    case 1: return "stream end (1)";
    case 2: return "need dictionary (2)";
    default: {
        std::string text = "(";
        text += std::to_string(code);
        text += ")";
        return text;
    }
    }
}
