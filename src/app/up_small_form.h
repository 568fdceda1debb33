#pragma once
// What the upgrade question and the password window share: the picture at (7, 5), the word-wrapped
// Label1 at (45, 5) and a bottom panel of buttons; the window's height follows Label1's text.
#include <QDialog>

class QLabel;
class QPushButton;

namespace korvex {

class TupUpdaterSmallForm : public QDialog {
    Q_OBJECT
public:
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* Panel1 = nullptr;

protected:
    TupUpdaterSmallForm(QWidget* parent, const char* name, int panelHeight);
    // A 75 x 23 button on the panel; the default one answers Enter.
    QPushButton* addButton(const char* name, int x, int y, bool isDefault);
    // Label1 shows `text` in the width the window leaves it (client width − its left − rightMargin);
    // the window is as high as Label1 and the panel together, and is centred on the screen.
    void fitTo(const QString& text, int clientWidth, int rightMargin);

private:
    int m_panelHeight;
};

}  // namespace korvex
