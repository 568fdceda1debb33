#pragma once
// Qt's own texts (the standard buttons of message boxes and dialogs, the context menus of edits) in
// Russian, as the window's own texts are: "Да"/"Нет" under a Russian question, not "Yes"/"No".
#include <QString>

class QCoreApplication;
class QTranslator;

namespace korvex {

// Installs Qt's Russian translation from Qt's translations folder (Debian's qt6-translations-l10n)
// on `app` and answers it (`app` owns it). Answers null when it is not there, and the buttons stay
// in English.
QTranslator* loadQtTranslations(QCoreApplication& app, const QString& folder = {});

}  // namespace korvex
