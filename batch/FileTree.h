// The run's list of files, made before the run from what a user names:
// files, folders (walked, optionally with their subfolders) and lists of
// names read from a file or standard input. Each source gets the folder,
// relative to the output folder, its output goes into. Names are bytes kept
// as the engine's text (batch/FilePath.h).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

class TFileListBuilder {
public:
    // Read before the first Add: descend into subfolders and keep their
    // tree below the output folder.
    bool recursive = false;
    // The output folder: left out of every walk when it lies inside the tree.
    QString outDir;
    // Listed files below this folder keep their path below it; empty: every
    // listed file goes into the output folder itself.
    QString base;
    // One line for what a walk left out or could not read.
    std::function<void(const QString&)> note;

    // The list: sources, their output folders relative to the output folder
    // ("" for the folder itself, "a/b" below it), and the failures already
    // known for an entry (by index), shown at its turn.
    QStringList sources;
    QStringList relDirs;
    QHash<int, QString> errors;

    // A name as given: a folder is walked, anything else is listed as a file
    // (a missing one fails at its turn, as always).
    void Add(const QString& path);
    // Adds the entries of a list: one name a line, or NUL-separated. Empty
    // entries are skipped.
    void AddList(const QByteArray& list, bool nulSeparated);

private:
    void walk(const std::string& root);
    void addFile(const QString& path);
    // Folders a walk went into or files it listed, so that nothing is done twice.
    std::set<std::pair<uint64_t, uint64_t>> walkedFiles_;
    bool outDirKnown_ = false;
    std::pair<uint64_t, uint64_t> outDirId_{0, 0};
};

// Creates the folder and its missing parents. A folder that exists already,
// or is created meanwhile by another process, is fine. Returns 0 or the
// errno of the step that failed.
int MakeFolders(const std::string& path);

// The cause of an errno in words, as the system gives it.
QString ErrnoText(int error);
