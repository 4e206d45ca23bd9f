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
    const QString trimmed = typed.trimmed();
    // Single letters, either case: y a n in English, s t n in Spanish and
    // Catalan (no letter means one thing in one language and another thing
    // in another).
    if (trimmed.size() == 1) {
        switch (trimmed[0].toLower().unicode()) {
        case 'y':
        case 's': Respuesta = TOverwriteAnswer::Yes; return true;
        case 'a':
        case 't': Respuesta = TOverwriteAnswer::YesToAll; return true;
        case 'n': Respuesta = TOverwriteAnswer::No; return true;
        default: return false;
        }
    }
    const QString key = toKeyText(trimmed);
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
