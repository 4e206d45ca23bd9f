// Running the desktop windows headless: one QApplication per test program,
// a temporary home folder and settings location (the user's own settings are
// never touched), a fresh settings folder and language state per test, and a
// helper that answers modal dialogs while an action runs.
#pragma once

#include "app/Windows.h"
#include "app/fMain.h"
#include "i18n/uIdiomes.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>

// gtest prints texts as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace apptest {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        home_ = std::make_unique<QTemporaryDir>();
        const QByteArray home = home_->path().toUtf8();
        ::setenv("HOME", home.constData(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/config").constData(), 1);
        ::setenv("XDG_RUNTIME_DIR", home.constData(), 1);
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app_ = std::make_unique<QApplication>(argc_, argv_);
        initApplicationNames();
    }
    void TearDown() override {
        app_.reset();
        home_.reset();
    }

private:
    int argc_ = 1;
    char name_[16] = "velmora_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QApplication> app_;
};

// A test with the program's windows: start() creates and shows them as the
// program does, restart() closes the main window (saving the settings) and
// starts again.
class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        languageTables.clear();
        currentLanguage = 0;
        selectedLanguage = 0;
    }
    void TearDown() override {
        if (windows_)
            windows_->frmMain->close();
        windows_.reset();
        currentLanguage = 0;
    }

    // Starts as `velmora PATH...` does when paths are given.
    void start(const QStringList& paths = {}) {
        selectedLanguage = 0;  // a choice lasts for one run of the program
        windows_ = std::make_unique<TVelmoraWindows>();
        windows_->frmMain->StartPaths = paths;
        windows_->frmMain->show();
    }
    void closeMain() {
        windows_->frmMain->close();
        windows_.reset();
    }
    void restart() {
        closeMain();
        start();
    }

    TfrmMain& main() { return *windows_->frmMain; }
    TVelmoraWindows& windows() { return *windows_; }

    QString settingsFile() const { return settingsDir_.path() + QStringLiteral("/Velmora/Velmora.conf"); }
    static std::unique_ptr<QSettings> store() {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Velmora"),
                                           QStringLiteral("Velmora"));
    }
    // Writes values into the store before the program starts.
    static void storeValues(const QVariantMap& values) {
        auto s = store();
        for (auto it = values.begin(); it != values.end(); ++it)
            s->setValue(it.key(), it.value());
        s->sync();
    }
    static QString picturesFolder() { return QDir::homePath() + QStringLiteral("/Pictures"); }

private:
    QTemporaryDir settingsDir_;
    std::unique_ptr<TVelmoraWindows> windows_;
};

// Runs `action`; while it runs, `answer` is called with the active modal
// widget on every pass of the event loop (also inside a run's message pump).
inline void whileModal(const std::function<void(QWidget*)>& answer, const std::function<void()>& action) {
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* w = QApplication::activeModalWidget())
            answer(w);
    });
    poll.start();
    action();
    poll.stop();
}

// Runs `action` and returns the texts of the message boxes it showed, each
// answered with OK.
inline QStringList messagesWhile(const std::function<void()>& action) {
    QStringList texts;
    whileModal(
        [&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                texts << box->text();
                box->accept();
            }
        },
        action);
    return texts;
}

}  // namespace apptest
