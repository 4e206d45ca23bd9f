#include "codecs/bmp/BmpFile.h"

#include "platform/Exceptions.h"

void LoadBmp(TBitmap&, TStream&) { throw EInvalidGraphic("Bitmap image is not valid"); }
void SaveBmp(const TBitmap&, TStream&) { throw EWriteError(); }
