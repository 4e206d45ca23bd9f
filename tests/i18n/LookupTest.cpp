// translate / translateFrom: when the lookup applies, what counts as equal,
// and damaged tables.
#include "LanguageTestSupport.h"

#include "platform/Exceptions.h"

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

TEST_F(LanguageTest, BeforeLoadingEveryTextComesBackUnchanged) {
    EXPECT_EQ(translate(u("Quitar todo")), u("Quitar todo"));
    // Even with a language forced on, a lookup without tables must not fail.
    currentLanguage = langEnglish;
    EXPECT_EQ(translate(u("Quitar todo")), u("Quitar todo"));
    EXPECT_EQ(translateFrom(u("Quitar todo"), 2), u("Quitar todo"));
}

TEST_F(LanguageTest, LoadedButNotSwitchedShowsKeyTexts) {
    loadLanguages();
    EXPECT_EQ(currentLanguage, 0);
    EXPECT_EQ(translate(u("Quitar todo")), u("Quitar todo"));
    EXPECT_EQ(translateFrom(u("Remove all"), langEnglish), u("Remove all"));
}

struct LookupCase {
    const char* name;
    int32_t language;
    const char* in;
    const char* out;
};

class Lookup : public LanguageTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, TranslatesKeyTexts) {
    loadLanguages();
    setLanguage(GetParam().language);
    EXPECT_EQ(translate(u(GetParam().in)), u(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lookup,
    ::testing::Values(
        LookupCase{"AsStored", langEnglish, "Quitar todo", "Remove all"},
        LookupCase{"Capitals", langEnglish, "QUITAR TODO", "Remove all"},
        LookupCase{"LowerCase", langEnglish, "quitar todo", "Remove all"},
        LookupCase{"NonAsciiCase", langEnglish,
                   "A\xC3\x91"
                   "ADIR...",
                   "Add..."},
        LookupCase{"TrailingBlankAddedMisses", langEnglish, "Quitar todo ", "Quitar todo "},
        LookupCase{"LeadingBlankAddedMisses", langEnglish, " Quitar todo", " Quitar todo"},
        LookupCase{"StoredTrailingBlankMatches", langEnglish, "Redimensionando imagen ", "Resizing image "},
        LookupCase{"StoredTrailingBlankRequired", langEnglish, "Redimensionando imagen", "Redimensionando imagen"},
        LookupCase{"StoredLeadingBlank", langEnglish, " - Formato desconocido.", " - Unknown format."},
        LookupCase{"AccentsCount", langEnglish, "Imagenes:", "Imagenes:"},
        LookupCase{"KeyOnlySpelling", langEnglish, "No hay imagenes/ficheros para convertir",
                   "There aren't selected images to resize"},
        LookupCase{"SpanishSpellingIsNotAKeyText", langEnglish, "No hay im\xC3\xA1genes/ficheros para convertir",
                   "No hay im\xC3\xA1genes/ficheros para convertir"},
        LookupCase{"LineZeroTakesPart", langEnglish, "ORIGINAL", "ANGLES"},
        LookupCase{"Miss", langEnglish, "Hola", "Hola"}, LookupCase{"Empty", langEnglish, "", ""},
        LookupCase{"OnlyBlanks", langEnglish, "  \t\r\n ", "  \t\r\n "},
        LookupCase{"ControlCharacters", langEnglish, "\x01\x1f", "\x01\x1f"},
        LookupCase{"SameInEveryLanguage", langEnglish, "Velmora", "Velmora"},
        LookupCase{"Catalan", langCatalan, "Quitar todo", "Treure'ls tots"},
        LookupCase{"CatalanQuote", langCatalan, "La imagen de salida \"", "La imatge de sortida \xE2\x80\x9C"},
        LookupCase{"SpanishLineEighteen", langSpanish, "No hay imagenes/ficheros para convertir",
                   "No hay im\xC3\xA1genes/ficheros para convertir"},
        LookupCase{"SpanishName", langSpanish, "original", "ESPANYOL"},
        LookupCase{"Backslash", langEnglish, "\\Manual.pdf", "\\UserGuide.pdf"}),
    [](const ::testing::TestParamInfo<LookupCase>& i) { return std::string(i.param.name); });

TEST_F(LanguageTest, TranslateFromReadsTheGivenTable) {
    loadLanguages();
    setLanguage(langCatalan);
    EXPECT_EQ(translateFrom(u("Remove all"), langEnglish), u("Treure'ls tots"));
    EXPECT_EQ(translateFrom(u("Quitar todo"), langEnglish), u("Quitar todo"));  // not an English line
    EXPECT_EQ(translateFrom(u("Remove all"), 7), u("Remove all"));            // no such table
}

TEST_F(LanguageTest, TheInputIsNotModified) {
    loadLanguages();
    setLanguage(langEnglish);
    const QString in = u("Cerrar");
    const QString out = translate(in);
    EXPECT_EQ(in, u("Cerrar"));
    EXPECT_EQ(out, u("Close"));
}

TEST_F(LanguageTest, AMissingTableRaisesResourceNotFoundAndKeepsTheOldTables) {
    loadLanguages();
    setLanguage(langEnglish);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeTables(dir.path(), QStringLiteral("catala"), {}, /*omitReplaced=*/true);
    try {
        loadLanguagesFrom(dir.path());
        FAIL() << "no exception";
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource catala not found");
    }
    EXPECT_EQ(languageTables.size(), 4u);
    EXPECT_EQ(translate(u("Quitar todo")), u("Remove all"));
}

TEST_F(LanguageTest, ReloadingGoesBackToTheKeyLanguage) {
    loadLanguages();
    setLanguage(langEnglish);
    loadLanguages();
    EXPECT_EQ(currentLanguage, 0);
    EXPECT_EQ(translate(u("Quitar todo")), u("Quitar todo"));
}

TEST_F(LanguageTest, AShortTableGivesAListErrorNotACrash) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // English stops after line 9.
    QByteArray shortTable = "\xEF\xBB\xBF" "ANGLES";
    for (const char* l : {"Images:", "Add...", "Remove", "Remove all", "Output options:", "Output folder:",
                          "Size:", "Width:", "Height:"})
        shortTable += QByteArray("\r\n") + l;
    writeTables(dir.path(), QStringLiteral("angles"), shortTable);
    loadLanguagesFrom(dir.path());
    setLanguage(langEnglish);
    EXPECT_EQ(translate(u("Quitar todo")), u("Remove all"));
    try {
        translate(u("Cerrar"));
        FAIL() << "no exception";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (28)");
    }
    // A miss still comes back unchanged.
    EXPECT_EQ(translate(u("Hola")), u("Hola"));
}

TEST_F(LanguageTest, ToKeyTextAcceptsEveryLanguage) {
    loadLanguages();
    setLanguage(langEnglish);
    EXPECT_EQ(toKeyText(u("yes to all")), u("Si a todo"));
    EXPECT_EQ(toKeyText(u("SI A TOT")), u("Si a todo"));
    EXPECT_EQ(toKeyText(u("Treure'ls tots")), u("Quitar todo"));
    EXPECT_EQ(toKeyText(u("nothing like it")), u("nothing like it"));
}

}  // namespace
