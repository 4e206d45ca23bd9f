#include "platform/Graphic.h"

#include "platform/Exceptions.h"

void TGraphic::LoadFromStream(TStream&) {
    throw EInvalidGraphicOperation("Operation not supported on selected picture");
}

void TGraphic::SaveToStream(TStream&) {
    throw EInvalidGraphicOperation("Operation not supported on selected picture");
}

void TGraphic::LoadFromFile(const std::string& path) {
    TMemoryStream stream;
    stream.LoadFromFile(path);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& path) {
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(path);
}
