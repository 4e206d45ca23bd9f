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
    setLanguage(langAngles);
    EXPECT_EQ(q.FormShow(), u("Output image \"IMG 1.BMP\" already exists."));
    EXPECT_EQ(TOverwriteQuestion::SecondLine(), u("Do you want to overwrite it?"));
    EXPECT_EQ(TOverwriteQuestion::YesToAllText(), u("Yes to all"));
    setLanguage(langCatala);
    EXPECT_EQ(q.FormShow(), u("La imatge de sortida \xE2\x80\x9CIMG 1.BMP\" ja existeix."));
    EXPECT_EQ(TOverwriteQuestion::YesToAllText(), u("Si a tot"));
    setLanguage(langEspanyol);
    EXPECT_EQ(TOverwriteQuestion::SecondLine(), u("\xC2\xBF" "Deseas sobreescribirla?"));
}

TEST_F(OverwriteQuestion, EveryShowingStartsFromNo) {
    TOverwriteQuestion q;
    q.NombreFichero = u("a.jpg");
    q.FormShow();
    q.btnSiTodoClick();
    EXPECT_EQ(q.Respuesta, 2);
    q.FormShow();
    EXPECT_EQ(q.Respuesta, 0);  // closed without a button: No
    q.btnSiClick();
    EXPECT_EQ(q.Respuesta, 1);
    q.btnNoClick();
    EXPECT_EQ(q.Respuesta, 0);
}

struct TypedCase {
    const char* typed;
    bool accepted;
    int32_t answer;
};

class TypedAnswer : public OverwriteQuestion, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedAnswer, ButtonTextsInAnyLanguage) {
    setLanguage(langAngles);
    TOverwriteQuestion q;
    q.Respuesta = 5;  // marker: unchanged on refusal
    EXPECT_EQ(q.AnswerFromText(u(GetParam().typed)), GetParam().accepted);
    EXPECT_EQ(q.Respuesta, GetParam().accepted ? GetParam().answer : 5);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TypedAnswer,
    ::testing::Values(TypedCase{"Yes", true, 1}, TypedCase{"  yes\n", true, 1}, TypedCase{"YES TO ALL", true, 2},
                      TypedCase{"No", true, 0}, TypedCase{"si", true, 1}, TypedCase{"Si a todo", true, 2},
                      TypedCase{"si a tot", true, 2}, TypedCase{"", false, 0}, TypedCase{"y", false, 0},
                      TypedCase{"Cancel", false, 0}, TypedCase{"Yes to all!", false, 0}));

}  // namespace
