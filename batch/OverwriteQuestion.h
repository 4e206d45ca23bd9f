// The overwrite question's protocol, shared by the desktop dialog and
// velmora-cli: the caller sets NombreFichero, shows the question, and reads
// Respuesta afterwards. Every showing starts from the answer No, so a
// question closed without an answer means No.
#pragma once

#include "batch/OverwriteAnswer.h"

#include <QString>

class TOverwriteQuestion {
public:
    // The output file's name, without folder; set before showing.
    QString NombreFichero;
    TOverwriteAnswer Respuesta = TOverwriteAnswer::No;

    // Starts a showing: Respuesta := No; returns the question line.
    QString FormShow();
    // The question line: the file name between double quotes, translated.
    QString QuestionLine() const;

    void btnSiClick() { Respuesta = TOverwriteAnswer::Yes; }
    void btnSiTodoClick() { Respuesta = TOverwriteAnswer::YesToAll; }
    void btnNoClick() { Respuesta = TOverwriteAnswer::No; }

    // The translated second line and button texts (Yes, Yes to all, No).
    static QString SecondLine();
    static QString YesText();
    static QString YesToAllText();
    static QString NoText();

    // Sets Respuesta from a typed answer: one of the three button texts in
    // any of the languages, or its first letter (y, a, n; s, t, n), letter
    // case and surrounding blanks ignored.
    // Returns false (Respuesta unchanged) for anything else.
    bool AnswerFromText(const QString& typed);
};
