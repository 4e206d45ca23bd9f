// The options of the "More options" window: what they hold, how they are
// stored in the settings file (group "Options") and how a run takes them.
#pragma once

#include "batch/PictureFormats.h"

#include <QSettings>
#include <QString>

class TResizeEngine;
enum class TExistingOutput { Ask, Replace, KeepOld, KeepBoth };

struct TDesktopOptions {
    TOutputFormat format = TOutputFormat::Same;
    int quality = 0;        // 1..100; 0: the output format's own default
    bool lossless = false;  // WebP only
    bool neverEnlarge = false;
    bool subfolders = false;  // folders are added with their subfolders, outputs keep the tree
    TExistingOutput existing = TExistingOutput::Ask;
    QString namePattern = QStringLiteral("{name}.{ext}");
    bool keepMetadata = false;
    bool upright = true;
    bool keepTransparency = false;
    int jobs = 1;              // pictures at once, 1..cores
    bool errorsAtEnd = false;  // failures go to the results window instead of a box each

    bool operator==(const TDesktopOptions&) const = default;
};

// Processor cores, at least 1: the most pictures at once and the default.
int coreCount();
TDesktopOptions defaultOptions();

// Reads the group; a value that is absent, of the wrong kind or out of range
// keeps its default.
TDesktopOptions readOptions(QSettings& store);
void writeOptions(QSettings& store, const TDesktopOptions& options);

// The output name a pattern gives: {name} the source's name without its
// extension, {ext} the output's extension, {w} and {h} the output's size.
// Empty when the pattern gives no usable name (a "/", an empty name, "." or
// "..").
QString applyNamePattern(const QString& pattern, const QString& name, const QString& ext, int w, int h);

// Hands the options a run takes to the engine.
void applyOptions(const TDesktopOptions& options, TResizeEngine& engine);
