// The overwrite question's protocol: the question line per language, the
// reset to No on every showing, typed answers.
#include "batch/OverwriteQuestion.h"
#include "i18n/uIdiomes.h"

#include <gtest/gtest.h>

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

class OverwriteQuestion : public ::testing::Test {
protected:
    void SetUp() override { loadLanguages(); }
    void TearDown() override {
        languageTables.clear();
        currentLanguage = 0;
    }
};

TEST_F(OverwriteQuestion, QuestionLineInEachLanguage) {
    TOverwriteQuestion q;
    q.NombreFichero = u("IMG 1.BMP");
    EXPECT_EQ(q.FormShow(), u("La imagen de salida \"IMG 1.BMP\" ya existe."));
    setLanguage(langEnglish);
    EXPECT_EQ(q.FormShow(), u("Output image \"IMG 1.BMP\" already exists."));
    EXPECT_EQ(TOverwriteQuestion::SecondLine(), u("Do you want to overwrite it?"));
    EXPECT_EQ(TOverwriteQuestion::YesToAllText(), u("Yes to all"));
    setLanguage(langCatalan);
    EXPECT_EQ(q.FormShow(), u("La imatge de sortida \xE2\x80\x9CIMG 1.BMP\" ja existeix."));
    EXPECT_EQ(TOverwriteQuestion::YesToAllText(), u("Si a tot"));
    setLanguage(langSpanish);
    EXPECT_EQ(TOverwriteQuestion::SecondLine(), u("\xC2\xBF" "Deseas sobreescribirla?"));
}

TEST_F(OverwriteQuestion, EveryShowingStartsFromNo) {
    TOverwriteQuestion q;
    q.NombreFichero = u("a.jpg");
    q.FormShow();
    q.btnSiTodoClick();
    EXPECT_EQ(q.Respuesta, TOverwriteAnswer::YesToAll);
    q.FormShow();
    EXPECT_EQ(q.Respuesta, TOverwriteAnswer::No);  // closed without a button: No
    q.btnSiClick();
    EXPECT_EQ(q.Respuesta, TOverwriteAnswer::Yes);
    q.btnNoClick();
    EXPECT_EQ(q.Respuesta, TOverwriteAnswer::No);
}

struct TypedCase {
    const char* typed;
    bool accepted;
    TOverwriteAnswer answer;
};

class TypedAnswer : public OverwriteQuestion, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedAnswer, ButtonTextsInAnyLanguage) {
    setLanguage(langEnglish);
    TOverwriteQuestion q;
    const auto marker = static_cast<TOverwriteAnswer>(5);  // unchanged on refusal
    q.Respuesta = marker;
    EXPECT_EQ(q.AnswerFromText(u(GetParam().typed)), GetParam().accepted);
    EXPECT_EQ(q.Respuesta, GetParam().accepted ? GetParam().answer : marker);
}

constexpr auto No = TOverwriteAnswer::No;
constexpr auto Yes = TOverwriteAnswer::Yes;
constexpr auto YesToAll = TOverwriteAnswer::YesToAll;

INSTANTIATE_TEST_SUITE_P(Answers, TypedAnswer,
                         ::testing::Values(TypedCase{"Yes", true, Yes}, TypedCase{"  yes\n", true, Yes},
                                           TypedCase{"YES TO ALL", true, YesToAll}, TypedCase{"No", true, No},
                                           TypedCase{"si", true, Yes}, TypedCase{"Si a todo", true, YesToAll},
                                           TypedCase{"si a tot", true, YesToAll}, TypedCase{"", false, No},
                                           TypedCase{"y", true, Yes}, TypedCase{"A", true, YesToAll},
                                           TypedCase{" n ", true, No}, TypedCase{"S", true, Yes},
                                           TypedCase{"t", true, YesToAll}, TypedCase{"x", false, No},
                                           TypedCase{"Cancel", false, No}, TypedCase{"Yes to all!", false, No}));

}  // namespace
