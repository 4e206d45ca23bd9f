// Shared set-up for the language tests: the globals of the lookup are reset
// around every test, and damaged tables can be written to a temporary folder.
#pragma once

#include "i18n/uIdiomes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        languageTables.clear();
        currentLanguage = 0;
        selectedLanguage = 0;
    }
};

// Reads a built-in table's raw bytes.
inline QByteArray builtInTable(const QString& name) {
    QFile f(QStringLiteral(":/velmora/lang/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Copies the built-in tables into a folder, optionally replacing one table's
// bytes (an empty name leaves all four intact).
inline void writeTables(const QString& folder, const QString& replaced = {},
                        const QByteArray& replacement = {}, bool omitReplaced = false) {
    for (const char* n : {"original", "espanyol", "catala", "angles"}) {
        const QString name = QString::fromLatin1(n);
        if (name == replaced && omitReplaced)
            continue;
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name == replaced ? replacement : builtInTable(name));
    }
}
