#include "i18n/uIdiomes.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <string>

std::vector<QStringList> languageTables;
int32_t currentLanguage = 0;
int32_t selectedLanguage = 0;

namespace {

// Where the tables built into the program live (see i18n/CMakeLists.txt).
const QString kBuiltInFolder = QStringLiteral(":/velmora/lang");

std::vector<TLanguageComponent*>& applicationComponents() {
    static std::vector<TLanguageComponent*> list;
    return list;
}

[[noreturn]] void listIndexError(qsizetype index) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// Opens a table by name; resource names do not depend on letter case.
QByteArray readTable(const QString& folder, const QString& name) {
    QFile file(folder + QLatin1Char('/') + name.toLower());
    if (!file.open(QIODevice::ReadOnly))
        throw EResNotFound("Resource " + name.toStdString() + " not found");
    return file.readAll();
}

// True when nothing but code points up to U+0020 is in the text.
bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x20; });
}

}  // namespace

QString languageResourceName(int32_t language) {
    static const char* const names[languageCount] = {"original", "espanyol", "catala", "angles"};
    if (language < 0 || language >= languageCount)
        listIndexError(language);
    return QString::fromLatin1(names[language]);
}

QStringList splitTableText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    const QString text = QString::fromUtf8(view);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

void loadLanguagesFrom(const QString& folder) {
    // Built aside and swapped in at the end, so a missing table leaves the
    // previous state untouched.
    std::vector<QStringList> tables;
    tables.reserve(languageCount);
    for (int32_t lang = 0; lang < languageCount; ++lang)
        tables.push_back(splitTableText(readTable(folder, languageResourceName(lang))));
    languageTables = std::move(tables);
    currentLanguage = 0;
}

void loadLanguages() {
    loadLanguagesFrom(kBuiltInFolder);
}

bool sameTextIgnoringCase(const QString& a, const QString& b) {
    // Built once with the user's locale; the lookup must follow it.
    static const QCollator collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        c.setIgnorePunctuation(false);
        return c;
    }();
    return collator.compare(a, b) == 0;
}

QString translateFrom(const QString& text, int32_t from) {
    if (currentLanguage == 0)
        return text;
    if (isBlank(text))
        return text;
    if (from < 0 || size_t(from) >= languageTables.size())
        return text;  // no such table: nothing can match
    const QStringList& source = languageTables[size_t(from)];
    for (qsizetype i = 0; i < source.size(); ++i) {
        if (!sameTextIgnoringCase(source[i], text))
            continue;
        if (currentLanguage < 0 || size_t(currentLanguage) >= languageTables.size())
            listIndexError(i);
        const QStringList& target = languageTables[size_t(currentLanguage)];
        if (i >= target.size())
            listIndexError(i);
        return target[i];
    }
    return text;
}

QString translate(const QString& text) {
    if (currentLanguage == 0)
        return text;
    return translateFrom(text, 0);
}

QString toKeyText(const QString& text) {
    if (languageTables.empty() || isBlank(text))
        return text;
    const QStringList& key = languageTables[0];
    for (const QStringList& table : languageTables) {
        for (qsizetype i = 0; i < table.size(); ++i) {
            if (sameTextIgnoringCase(table[i], text))
                return i < key.size() ? key[i] : text;
        }
    }
    return text;
}

void registerApplicationComponent(TLanguageComponent* component) {
    auto& list = applicationComponents();
    if (component && std::find(list.begin(), list.end(), component) == list.end())
        list.push_back(component);
}

void unregisterApplicationComponent(TLanguageComponent* component) {
    auto& list = applicationComponents();
    list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

namespace {

void translateOwned(TLanguageComponent& c, int32_t old) {
    const unsigned classes = c.ComponentClasses();
    // The tests are independent: a component passing several is handled
    // once for each.
    for (unsigned captioned : {unsigned(ccLabel), unsigned(ccLinkLabel), unsigned(ccButton),
                               unsigned(ccRadioButton), unsigned(ccGroupBox)}) {
        if (classes & captioned)
            c.SetCaption(translateFrom(c.Caption(), old));
    }
    if (classes & ccEdit)
        c.SetText(translateFrom(c.Text(), old));
    if (classes & ccStatusBar) {
        for (int p = 0; p < c.PanelCount(); ++p)
            c.SetPanelText(p, translateFrom(c.PanelText(p), old));
    }
}

}  // namespace

void setLanguage(int32_t language) {
    if (language > langEnglish || language < langSpanish) language = langEnglish;
    if (language == currentLanguage)
        return;
    const int32_t old = currentLanguage;
    currentLanguage = language;

    // A copy: a window may register or unregister others while it is walked.
    const std::vector<TLanguageComponent*> owned = applicationComponents();
    for (TLanguageComponent* top : owned) {
        if (top->ComponentClasses() & ccForm)
            top->SetCaption(translateFrom(top->Caption(), old));
        for (int i = 0; i < top->ComponentCount(); ++i) {
            if (TLanguageComponent* child = top->Components(i))
                translateOwned(*child, old);
        }
    }
}
