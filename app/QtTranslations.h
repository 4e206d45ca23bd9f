// Qt's own texts (standard dialog buttons, file dialogs) in the program's
// language.
#pragma once

#include <cstdint>

// Installs Qt's translations for a language number (Spanish, Catalan), or
// removes them (English, key language). Returns false when the translation
// files of that language are not installed; Qt then keeps its English texts.
bool loadQtTranslations(int32_t language);
