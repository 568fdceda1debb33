#include "app/up_small_form.h"

#include <QLabel>
#include <QPushButton>

#include "app/up_dialog_common.h"

namespace korvex {

namespace {
constexpr int kLabelLeft = 45, kLabelTop = 5;
}

TupUpdaterSmallForm::TupUpdaterSmallForm(QWidget* parent, const char* name, int panelHeight)
    : QDialog(parent), m_panelHeight(panelHeight) {
    setObjectName(QString::fromLatin1(name));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFont(upDialogFont());
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(7, 5, 32, 32);
    Image1->setPixmap(upSmallPicture());
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);  // the publisher's message and file names are not markup
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
}

QPushButton* TupUpdaterSmallForm::addButton(const char* name, int x, int y, bool isDefault) {
    auto* button = new QPushButton(Panel1);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 75, 23);
    button->setDefault(isDefault);
    button->setAutoDefault(isDefault);
    return button;
}

void TupUpdaterSmallForm::fitTo(const QString& text, int clientWidth, int rightMargin) {
    const int labelWidth = clientWidth - kLabelLeft - rightMargin;
    Label1->setText(text);
    Label1->setGeometry(kLabelLeft, kLabelTop, labelWidth, Label1->heightForWidth(labelWidth));
    const int height = kLabelTop + Label1->height() + m_panelHeight;
    Panel1->setGeometry(0, height - m_panelHeight, clientWidth, m_panelHeight);
    setFixedSize(clientWidth, height);
    upCentreOnScreen(this);
}

}  // namespace korvex
