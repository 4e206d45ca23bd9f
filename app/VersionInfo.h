// The program's version as the user sees it, and the user's pictures folder.
#pragma once

#include <QString>

// The major and minor numbers of the program's version joined by a full stop
// ("1.4"), from the build's project version.
QString getVersionString();

// The user's pictures folder, created when missing; empty when the platform
// names none or it cannot be created.
QString getMyPicturesFolder();
