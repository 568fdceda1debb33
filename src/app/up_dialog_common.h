#pragma once
// What the three update windows and the update boxes share: the dialog font, the 32 x 32 picture,
// the language texts as Qt strings, and the application message box in the dialog language.
#include <QFont>
#include <QPixmap>
#include <QString>
#include <string>
#include <string_view>

#include "update/texts/dialog_texts.h"
#include "update/texts/language.h"

class QWidget;

namespace korvex {

// Language texts are UTF-8.
inline QString upQ(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline QString upQ(UpText text) {
    return upQ(upText(text));
}

// The user's decimal separator, as the desktop's locale settings give it (Qt knows every locale's,
// installed or not).
std::string upUserDecimalSeparator();

// "MS Sans Serif" at 11 pixels; the desktop's sans-serif stands in where that face is missing.
QFont upDialogFont();

// The 32 x 32 picture of the question and password windows.
QPixmap upSmallPicture();

// Centres a dialog-bordered window of fixed client size on the screen it will appear on.
void upCentreOnScreen(QWidget* window);

// An application message box: caption, text, icon and buttons as given, the buttons labelled in the
// dialog language. True only when a Yes/No box is answered Yes.
bool upShowBox(QWidget* parent, const UpBoxContent& content);

}  // namespace korvex
