// The pictures of a folder as the main window adds them.
#pragma once

#include <QString>
#include <QStringList>

struct TFolderWalk {
    QStringList pictures;  // full paths, files of a folder before its subfolders, each in byte order
    QStringList problems;  // messages for what could not be read, in the current language
};

// Whether the list takes a file of this name from a folder (by extension).
bool isPictureName(const QString& path);

// The pictures of `folder`, and of its subfolders when `subfolders` is set.
// A subfolder reached again through a link is skipped with a problem; so is a
// folder that cannot be read. Names are bytes: see batch/FilePath.h.
TFolderWalk walkFolder(const QString& folder, bool subfolders);
