// Help opens the guide whose file name the language tables give for the
// current language; every such guide must lie beside the program, as a PDF
// that says it is the guide of that language.
#include "i18n/uIdiomes.h"

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace {

struct GuideCase {
    int32_t language;
    const char* file;   // the name Help must find
    const char* title;  // the guide's own title, stored in the PDF
};

class GuideFiles : public ::testing::TestWithParam<GuideCase> {
protected:
    void SetUp() override { loadLanguages(); }
    void TearDown() override { currentLanguage = 0; }
};

// The guide name as Help forms it: the translated name stands for a file in
// the program's folder, its leading backslash being the separator.
QString guideName()
{
    QString name = translate(QStringLiteral("\\Manual.pdf"));
    if (name.startsWith(QLatin1Char('\\')))
        name.remove(0, 1);
    return name;
}

TEST_P(GuideFiles, LieBesideTheProgramUnderTheNamesHelpUses)
{
    currentLanguage = GetParam().language;
    const QString name = guideName();
    EXPECT_EQ(name, QString::fromLatin1(GetParam().file));

    QFile pdf(QStringLiteral(VELMORA_PROGRAM_DIR "/") + name);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << qPrintable(pdf.fileName());
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
    // The document information carries the title as UTF-16 with a byte-order mark.
    const QString title = QString::fromUtf8(GetParam().title);
    QByteArray utf16("\xFE\xFF", 2);
    for (const QChar c : title) {
        utf16.append(char(c.unicode() >> 8));
        utf16.append(char(c.unicode() & 0xFF));
    }
    EXPECT_TRUE(bytes.contains(utf16)) << "title " << GetParam().title;
}

std::string languageName(const ::testing::TestParamInfo<GuideCase>& info)
{
    static const char* const names[] = {"Key", "Spanish", "Catalan", "English"};
    return names[info.param.language];
}

INSTANTIATE_TEST_SUITE_P(Languages, GuideFiles,
                         ::testing::Values(GuideCase{langEnglish, "UserGuide.pdf", "Velmora User Guide"},
                                           GuideCase{langCatalan, "Ajuda.pdf", "Guia d'ús del Velmora"},
                                           GuideCase{langSpanish, "Manual.pdf", "Manual de Velmora"},
                                           GuideCase{langOriginal, "Manual.pdf", "Manual de Velmora"}),
                         languageName);

}  // namespace
