#include "platform/Picture.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <mutex>

namespace {

std::vector<TFileFormat>& formats() {
    static std::vector<TFileFormat> list;
    return list;
}

std::mutex& formatsLock() {
    static std::mutex lock;
    return lock;
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  TGraphicFactory create) {
    const std::lock_guard<std::mutex> hold(formatsLock());
    const std::string ext = lowerAscii(extension);
    auto& list = formats();
    list.erase(std::remove_if(list.begin(), list.end(), [&](const TFileFormat& f) { return f.Extension == ext; }),
               list.end());
    list.push_back(TFileFormat{ext, description, std::move(create)});
}

void TPicture::UnregisterFileFormat(const std::string& extension) {
    const std::lock_guard<std::mutex> hold(formatsLock());
    const std::string ext = lowerAscii(extension);
    auto& list = formats();
    list.erase(std::remove_if(list.begin(), list.end(), [&](const TFileFormat& f) { return f.Extension == ext; }),
               list.end());
}

const TFileFormat* TPicture::FindFileFormat(const std::string& extension) {
    const std::lock_guard<std::mutex> hold(formatsLock());
    const std::string ext = lowerAscii(extension);
    for (const TFileFormat& f : formats())
        if (f.Extension == ext) return &f;
    return nullptr;
}

void TPicture::LoadFromFile(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    const size_t dot = fileName.rfind('.');
    const std::string ext =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string() : fileName.substr(dot + 1);
    const TFileFormat* format = FindFileFormat(ext);
    if (format == nullptr) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
    std::unique_ptr<TGraphic> graphic = format->Create();
    graphic->LoadFromFile(fileName);
    graphic_ = std::move(graphic);
}
