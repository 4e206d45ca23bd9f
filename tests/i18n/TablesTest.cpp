// The built-in tables' byte layout, and the line splitting of table text.
#include "LanguageTestSupport.h"

#include <QStringList>

#include <set>

namespace {

const char* const kNames[] = {"original", "espanyol", "catala", "angles"};

class BuiltInTable : public ::testing::TestWithParam<const char*> {};

TEST_P(BuiltInTable, HasTheStoredLayout) {
    const QByteArray bytes = builtInTable(QString::fromLatin1(GetParam()));
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_FALSE(bytes.endsWith('\n'));
    EXPECT_FALSE(bytes.endsWith('\r'));
    // Every line break is CR LF: as many CRs as LFs, each CR followed by LF.
    EXPECT_EQ(bytes.count('\r'), bytes.count('\n'));
    EXPECT_EQ(bytes.count("\r\n"), 109);
    // Valid UTF-8 throughout.
    const QString text = QString::fromUtf8(bytes);
    EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
}

TEST_P(BuiltInTable, HasFiftyOneDistinctLinesNamedOnLineZero) {
    const QString name = QString::fromLatin1(GetParam());
    const QStringList lines = splitTableText(builtInTable(name));
    ASSERT_EQ(lines.size(), 110);
    EXPECT_EQ(lines[0], name.toUpper());
    std::set<QString> folded;
    for (const QString& l : lines) {
        EXPECT_FALSE(l.isEmpty());
        folded.insert(l.toCaseFolded());
    }
    EXPECT_EQ(folded.size(), 110u) << "two lines equal ignoring letter case";
}

INSTANTIATE_TEST_SUITE_P(AllFour, BuiltInTable, ::testing::ValuesIn(kNames));

TEST(BuiltInTables, KeyAndSpanishDifferOnlyOnTheirNameAndThreeMessages) {
    const QStringList key = splitTableText(builtInTable(QStringLiteral("original")));
    const QStringList es = splitTableText(builtInTable(QStringLiteral("espanyol")));
    ASSERT_EQ(key.size(), es.size());
    std::vector<int> differing;
    for (int i = 0; i < key.size(); ++i)
        if (key[i] != es[i]) differing.push_back(i);
    EXPECT_EQ(differing, (std::vector<int>{0, 18, 26, 27}));
}

// Lines whose blanks and quotes matter, typed from the message list.
TEST(BuiltInTables, KeepBlanksAndQuotesExactly) {
    const QStringList key = splitTableText(builtInTable(QStringLiteral("original")));
    const QStringList ca = splitTableText(builtInTable(QStringLiteral("catala")));
    const QStringList en = splitTableText(builtInTable(QStringLiteral("angles")));
    ASSERT_EQ(key.size(), 110);
    ASSERT_EQ(ca.size(), 110);
    ASSERT_EQ(en.size(), 110);
    EXPECT_EQ(key[30], QStringLiteral("Redimensionando imagen "));
    EXPECT_EQ(en[30], QStringLiteral("Resizing image "));
    EXPECT_EQ(key[32], QStringLiteral(" - Formato desconocido."));
    EXPECT_EQ(ca[32], QStringLiteral(" - Format desconegut"));
    EXPECT_EQ(key[34], QStringLiteral("La imagen de salida \""));
    EXPECT_EQ(ca[34], QString::fromUtf8("La imatge de sortida \xE2\x80\x9C"));
    EXPECT_EQ(en[50], QStringLiteral("\" already exists."));
    EXPECT_EQ(key[48], QString::fromUtf8("Versi\xC3\xB3n "));
    EXPECT_EQ(ca[48], QString::fromUtf8("Versi\xC3\xB3"));
    EXPECT_EQ(en[48], QStringLiteral("Version"));
    EXPECT_EQ(key[15], QStringLiteral("\\Manual.pdf"));
    EXPECT_EQ(en[26], QStringLiteral("Website: <a href=\"https://www.velmora.org/en\">www.velmora.org</a>"));
    EXPECT_EQ(key[27],
              QStringLiteral("Soporte: <a href=\"mailto:support@velmora.org\">support@velmora.org</a>"));
}

struct SplitCase {
    const char* name;
    QByteArray bytes;
    QStringList lines;
};

class SplitTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTable, SplitsAtEveryKindOfBreak) {
    EXPECT_EQ(splitTableText(GetParam().bytes), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTable,
    ::testing::Values(
        SplitCase{"CrLf", "a\r\nb", {"a", "b"}},
        SplitCase{"BareCr", "a\rb", {"a", "b"}},
        SplitCase{"BareLf", "a\nb", {"a", "b"}},
        SplitCase{"LfCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
        SplitCase{"FinalBreakAddsNoLine", "a\r\nb\r\n", {"a", "b"}},
        SplitCase{"EmptyLineKept", "a\r\n\r\nb", {"a", "", "b"}},
        SplitCase{"BlanksKept", " a \r\n\tb ", {" a ", "\tb "}},
        SplitCase{"BomSkipped", "\xEF\xBB\xBFx\r\ny", {"x", "y"}},
        SplitCase{"NoBomReadAsUtf8", "\xC3\xB1", {QString(QChar(0xF1))}},
        SplitCase{"OnlyBom", "\xEF\xBB\xBF", {}},
        SplitCase{"Empty", "", {}},
        SplitCase{"OnlyBreak", "\r\n", {""}}),
    [](const ::testing::TestParamInfo<SplitCase>& i) { return std::string(i.param.name); });

}  // namespace
