#include "batch/OverwriteQuestion.h"

#include "i18n/uIdiomes.h"

namespace {

const QString kYes = QStringLiteral("Si");
const QString kYesToAll = QStringLiteral("Si a todo");
const QString kNo = QStringLiteral("No");

}  // namespace

QString TOverwriteQuestion::FormShow() {
    Respuesta = answerNo;
    return QuestionLine();
}

QString TOverwriteQuestion::QuestionLine() const {
    return translate(QStringLiteral("La imagen de salida \"")) + NombreFichero +
           translate(QStringLiteral("\" ya existe."));
}

QString TOverwriteQuestion::SecondLine() { return translate(QStringLiteral("¿Deseas sobreescribirla?")); }
QString TOverwriteQuestion::YesText() { return translate(kYes); }
QString TOverwriteQuestion::YesToAllText() { return translate(kYesToAll); }
QString TOverwriteQuestion::NoText() { return translate(kNo); }

bool TOverwriteQuestion::AnswerFromText(const QString& typed) {
    const QString key = toKeyText(typed.trimmed());
    if (sameTextIgnoringCase(key, kYes))
        Respuesta = answerYes;
    else if (sameTextIgnoringCase(key, kYesToAll))
        Respuesta = answerYesToAll;
    else if (sameTextIgnoringCase(key, kNo))
        Respuesta = answerNo;
    else
        return false;
    return true;
}
