// The list of files made before a run. A folder is walked without recursion
// on the call stack: the folders still to read wait on a list of their own,
// and each folder is read whole and closed before the next is opened, so a
// tree of any depth costs one descriptor at a time.
#include "batch/FileTree.h"

#include "batch/FilePath.h"
#include "batch/PictureFormats.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TFileId = std::pair<uint64_t, uint64_t>;

TFileId idOf(const struct stat& st) { return {uint64_t(st.st_dev), uint64_t(st.st_ino)}; }

// The path made absolute and clean ("a/./b/../c" -> "/cwd/a/c"), as text.
QString absoluteClean(const QString& path) {
    return QDir::cleanPath(path.startsWith(QLatin1Char('/')) ? path : QDir::currentPath() + QLatin1Char('/') + path);
}

struct TEntry {
    std::string name;
    TFileId id;
};

}  // namespace

QString ErrnoText(int error) {
    QString text = QString::fromLocal8Bit(std::strerror(error));
    if (text.size() >= 2 && text[0].isUpper() && !text[1].isUpper()) text[0] = text[0].toLower();
    return text;
}

int MakeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0777) != 0) {
            const int error = errno;
            // Already there, or made meanwhile by another process.
            if (error != EEXIST) return error;
            if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ENOTDIR;
        }
        if (end == std::string::npos) return 0;
    }
}

void TFileListBuilder::Add(const QString& path) {
    const std::string bytes = velmora::EncodePath(path);
    struct stat st {};
    if (!bytes.empty() && ::stat(bytes.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::string root = bytes;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        walk(root);
        return;
    }
    addFile(path);
}

void TFileListBuilder::AddList(const QByteArray& list, bool nulSeparated) {
    const char separator = nulSeparated ? '\0' : '\n';
    qsizetype start = 0;
    while (start < list.size()) {
        qsizetype end = list.indexOf(separator, start);
        if (end < 0) end = list.size();
        if (end > start) Add(velmora::DecodePath(std::string_view(list.constData() + start, size_t(end - start))));
        start = end + 1;
    }
}

void TFileListBuilder::addFile(const QString& path) {
    const int index = int(sources.size());
    sources << path;
    if (base.isEmpty()) {
        relDirs << QString();
        return;
    }
    const QString file = absoluteClean(path);
    QString top = absoluteClean(base);
    if (!top.endsWith(QLatin1Char('/'))) top += QLatin1Char('/');
    if (!file.startsWith(top)) {
        errors.insert(index, QStringLiteral("not below the --base folder ") + base);
        relDirs << QString();
        return;
    }
    const QString below = file.mid(top.size());
    const qsizetype slash = below.lastIndexOf(QLatin1Char('/'));
    relDirs << (slash < 0 ? QString() : below.left(slash));
}

void TFileListBuilder::walk(const std::string& root) {
    if (!outDirKnown_) {
        struct stat st {};
        if (!outDir.isEmpty() && ::stat(velmora::EncodePath(outDir).c_str(), &st) == 0) outDirId_ = idOf(st);
        outDirKnown_ = true;
    }
    struct TPending {
        std::string path;
        std::string rel;
    };
    std::vector<TPending> pending{{root, {}}};
    size_t leftOut = 0;
    const auto say = [&](const QString& line) {
        if (note) note(line);
    };
    while (!pending.empty()) {
        const TPending folder = std::move(pending.back());
        pending.pop_back();
        DIR* dir = ::opendir(folder.path.c_str());
        if (!dir) {
            say(QStringLiteral("Folder left out: ") + velmora::DecodePath(folder.path) + QStringLiteral(" (") +
                ErrnoText(errno) + QLatin1Char(')'));
            continue;
        }
        const int fd = ::dirfd(dir);
        struct stat here {};
        const uint64_t device = ::fstat(fd, &here) == 0 ? uint64_t(here.st_dev) : 0;
        std::vector<TEntry> files, folders;
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (!e) {
                if (errno != 0)
                    say(QStringLiteral("Folder read in part: ") + velmora::DecodePath(folder.path) +
                        QStringLiteral(" (") + ErrnoText(errno) + QLatin1Char(')'));
                break;
            }
            // Hidden names, "." and ".." included.
            if (e->d_name[0] == '.') continue;
            std::string name = e->d_name;
            const bool picture = IsPictureExtension(velmora::DecodePath(name));
            if (e->d_type == DT_REG) {
                if (picture) files.push_back({std::move(name), {device, uint64_t(e->d_ino)}});
                continue;
            }
            if (e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
            struct stat st {};
            // Gone since the listing: nothing to do.
            if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                if (idOf(st) != outDirId_) folders.push_back({std::move(name), idOf(st)});
            } else if (S_ISLNK(st.st_mode)) {
                // A link is listed when it leads to a file; links to folders
                // are not followed.
                if (picture && ::fstatat(fd, name.c_str(), &st, 0) == 0 && !S_ISDIR(st.st_mode))
                    files.push_back({std::move(name), idOf(st)});
            } else if (picture && S_ISREG(st.st_mode)) {
                files.push_back({std::move(name), idOf(st)});
            }
        }
        ::closedir(dir);
        const auto byName = [](const TEntry& a, const TEntry& b) { return a.name < b.name; };
        std::sort(files.begin(), files.end(), byName);
        std::sort(folders.begin(), folders.end(), byName);
        const QString rel = velmora::DecodePath(folder.rel);
        for (const TEntry& f : files) {
            if (!walkedFiles_.insert(f.id).second) continue;
            sources << velmora::DecodePath(folder.path + '/' + f.name);
            relDirs << rel;
        }
        if (!recursive) {
            leftOut += folders.size();
            continue;
        }
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            pending.push_back(
                {folder.path + '/' + it->name, folder.rel.empty() ? it->name : folder.rel + '/' + it->name});
    }
    if (leftOut > 0)
        say(velmora::DecodePath(root) + QStringLiteral(": ") + QString::number(leftOut) +
            (leftOut == 1 ? QStringLiteral(" subfolder") : QStringLiteral(" subfolders")) +
            QStringLiteral(" left out (-r includes them)"));
}
