#include "app/FolderWalk.h"

#include "batch/FilePath.h"
#include "batch/PictureFormats.h"
#include "i18n/uIdiomes.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

bool isPictureName(const QString& path) { return IsPictureExtension(path); }

namespace {

struct TWalker {
    bool subfolders;
    TFolderWalk result;
    std::set<std::pair<dev_t, ino_t>> visited;

    void problem(const char* key, const std::string& path) {
        result.problems << translate(QString::fromUtf8(key)).arg(velmora::DecodePath(path));
    }

    void walk(const std::string& dir) {
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            problem("No se puede leer la carpeta %1", dir);
            return;
        }
        if (!visited.insert({st.st_dev, st.st_ino}).second) {
            problem("Se ha saltado un enlace a una carpeta ya leída: %1", dir);
            return;
        }
        DIR* handle = ::opendir(dir.c_str());
        if (!handle) {
            problem("No se puede leer la carpeta %1", dir);
            return;
        }
        std::vector<std::string> files, folders;
        while (const dirent* entry = ::readdir(handle)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            const std::string full = dir + "/" + name;
            struct stat es {};
            if (::stat(full.c_str(), &es) != 0) continue;  // a dangling link, or gone since the listing
            if (S_ISDIR(es.st_mode))
                folders.push_back(full);
            else if (S_ISREG(es.st_mode) && isPictureName(velmora::DecodePath(name)))
                files.push_back(full);
        }
        ::closedir(handle);
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        for (const std::string& f : files) result.pictures << velmora::DecodePath(f);
        if (subfolders) {
            for (const std::string& f : folders) walk(f);
        }
    }
};

}  // namespace

TFolderWalk walkFolder(const QString& folder, bool subfolders) {
    TWalker walker{subfolders, {}, {}};
    std::string root = velmora::EncodePath(folder);
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    walker.walk(root);
    return std::move(walker.result);
}
