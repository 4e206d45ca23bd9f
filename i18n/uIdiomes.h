// Language tables, text lookup and the live language switch.
//
// Every text the program shows is written in the key language and looked up
// at run time in four line tables built into the program: line i of every
// table is the same message. Code passes the texts it builds through
// translate(); window texts are re-translated in place by setLanguage(),
// which walks the registered windows through the TLanguageComponent view.
#pragma once

#include "platform/Exceptions.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// A table resource that does not exist: "Resource %s not found".
class EResNotFound : public Exception {
    using Exception::Exception;
};

// Language numbers.
constexpr int32_t langOriginal = 0;  // key language (key texts)
constexpr int32_t langSpanish = 1;
constexpr int32_t langCatalan = 2;
constexpr int32_t langEnglish = 3;
constexpr int languageCount = 4;

// Index = language number; empty until loadLanguages(). Never changed after
// loading.
extern std::vector<QStringList> languageTables;
// The language in force: 0 until the first setLanguage(), then 1..3.
extern int32_t currentLanguage;
// The language chosen in the language chooser: 0 (no choice) or 1..3. Lasts
// for the process only.
extern int32_t selectedLanguage;

// The resource names of the tables, by language number: "original",
// "espanyol", "catala", "angles".
QString languageResourceName(int32_t language);

// Loads the four tables from the resources built into the program, then sets
// currentLanguage to 0. EResNotFound when a table is missing.
void loadLanguages();
// The same from another folder holding files named by the resource names
// (matched in lower case). Used to exercise damaged tables.
void loadLanguagesFrom(const QString& folder);

// Splits a table's bytes into lines: UTF-8, an optional byte-order mark
// skipped, CR, LF or CR LF each ending a line, no empty line after a final
// break.
QStringList splitTableText(const QByteArray& bytes);

// The text in the current language: the text unchanged while currentLanguage
// is 0, else translateFrom(text, 0).
QString translate(const QString& text);
// The text translated from the language of table `from` into the current
// one; the text unchanged on a miss. EListError ("List index out of bounds
// (%d)") when the line found does not exist in the current table.
QString translateFrom(const QString& text, int32_t from);

// The key text of a text written in any of the languages: the key table's
// line for the first table (key, Spanish, Catalan, English) holding the text;
// the text itself when none does. For reading typed answers.
QString toKeyText(const QString& text);

// Locale-aware equality that ignores letter case (the lookup's comparison).
bool sameTextIgnoringCase(const QString& a, const QString& b);

// ---------------------------------------------------------------------------
// The language switch's view of the windows.

// Class tests of the walk; a component may pass several (each is applied).
enum TComponentClass : unsigned {
    ccForm = 1u << 0,         // a window whose class derives directly from the form class
    ccLabel = 1u << 1,        // label or subclass
    ccLinkLabel = 1u << 2,    // link label (caption holds anchor markup)
    ccButton = 1u << 3,       // push button, bitmap button
    ccRadioButton = 1u << 4,
    ccGroupBox = 1u << 5,
    ccEdit = 1u << 6,         // single-line edit: its text is translated
    ccStatusBar = 1u << 7,    // every panel's text is translated
};

// One component as the walk sees it. The desktop windows and their controls
// implement it; everything not overridden reads as empty.
class TLanguageComponent {
public:
    virtual ~TLanguageComponent() = default;

    // Bitwise OR of TComponentClass; 0 for components the walk leaves alone.
    virtual unsigned ComponentClasses() const = 0;

    virtual QString Caption() const { return {}; }
    virtual void SetCaption(const QString&) {}
    // Edits.
    virtual QString Text() const { return {}; }
    virtual void SetText(const QString&) {}
    // Status bars.
    virtual int PanelCount() const { return 0; }
    virtual QString PanelText(int) const { return {}; }
    virtual void SetPanelText(int, const QString&) {}

    // The components this one owns, in ownership order.
    virtual int ComponentCount() const { return 0; }
    virtual TLanguageComponent* Components(int) const { return nullptr; }
};

// The components the application owns, in ownership (creation) order. A
// window adds itself when it is created and removes itself when destroyed.
void registerApplicationComponent(TLanguageComponent* component);
void unregisterApplicationComponent(TLanguageComponent* component);

// Makes `language` current (anything outside 1..3 means 3) and, unless it is
// already current, re-translates every registered component from the old
// language's table.
void setLanguage(int32_t language);
