#pragma once
// The account count field. Whatever is typed is let through while typing; when the field is left or
// Enter is pressed, a number outside 1..500 becomes the nearer bound and a text that is not a whole
// number counts as 1 (a plain QSpinBox refuses the keystroke that leaves the range, so "600" turns
// into 60, and keeps the old value for "0", letters or an empty field).
#include <QSpinBox>

#include "book/account_book.h"

namespace korvex {

class AccountCountSpinBox : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& text, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(text, pos);
        return state == QValidator::Acceptable ? state : QValidator::Intermediate;
    }
    void fixup(QString& text) const override {
        text = QString::number(accountCountFromText(text.toStdString()));
    }
};

}  // namespace korvex
