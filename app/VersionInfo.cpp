#include "app/VersionInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString getVersionString() {
    return QString::number(VELMORA_VERSION_MAJOR) + QLatin1Char('.') + QString::number(VELMORA_VERSION_MINOR);
}

QString getMyPicturesFolder() {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (path.isEmpty())
        return {};
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return {};
    return QDir::toNativeSeparators(path);
}
