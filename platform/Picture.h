// The picture holder: one decoded picture of whatever class its file's
// extension names, through a registry of picture formats that the codecs fill
// at start-up.
#pragma once

#include "platform/Graphic.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
    std::string Extension;    // lower case, without the dot ("jpg")
    std::string Description;  // "JPEG Image File"
    TGraphicFactory Create;
};

class TPicture {
public:
    // The held picture, or nullptr.
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }

    // Creates a picture of the class registered for the file name's extension
    // (any letter case) and loads the file into it. An extension nobody
    // registered: EInvalidGraphic "Unknown picture file extension (.ext)".
    // The held picture is replaced only when loading succeeds.
    void LoadFromFile(const std::string& fileName);

    // A later registration of the same extension replaces the earlier one.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   TGraphicFactory create);
    static void UnregisterFileFormat(const std::string& extension);
    static const TFileFormat* FindFileFormat(const std::string& extension);

private:
    std::unique_ptr<TGraphic> graphic_;
};
