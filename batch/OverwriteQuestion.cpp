#include "batch/OverwriteQuestion.h"

#include "i18n/uIdiomes.h"

namespace {

const QString kYes = QStringLiteral("Si");
const QString kYesToAll = QStringLiteral("Si a todo");
const QString kNo = QStringLiteral("No");

}  // namespace

QString TOverwriteQuestion::FormShow() {
    Respuesta = TOverwriteAnswer::No;
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
        Respuesta = TOverwriteAnswer::Yes;
    else if (sameTextIgnoringCase(key, kYesToAll))
        Respuesta = TOverwriteAnswer::YesToAll;
    else if (sameTextIgnoringCase(key, kNo))
        Respuesta = TOverwriteAnswer::No;
    else
        return false;
    return true;
}
