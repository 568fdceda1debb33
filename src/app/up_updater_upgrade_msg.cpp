#include "up_updater_upgrade_msg.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "up_dialog_common.h"

namespace korvex {

namespace {
QPointer<TupUpdaterUpgradeMessageForm> g_question;
constexpr int kClientWidth = 318, kPanelHeight = 45, kLabelLeft = 45, kLabelTop = 5, kRightMargin = 11;
}  // namespace

TupUpdaterUpgradeMessageForm* TupUpdaterUpgradeMessageForm::instance() {
    return g_question.data();
}

TupUpdaterUpgradeMessageForm::TupUpdaterUpgradeMessageForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TupUpdaterUpgradeMessageForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                   Qt::WindowStaysOnTopHint);
    setFont(upDialogFont());
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(7, 5, 32, 32);
    Image1->setPixmap(upSmallPicture());
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);  // the publisher's message and the URL are not markup
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    YesBtn = new QPushButton(Panel1);
    YesBtn->setObjectName(QStringLiteral("YesBtn"));
    YesBtn->setGeometry(78, 13, 75, 23);
    YesBtn->setDefault(true);
    LaterBtn = new QPushButton(Panel1);
    LaterBtn->setObjectName(QStringLiteral("LaterBtn"));
    LaterBtn->setGeometry(167, 13, 75, 23);
    LaterBtn->setAutoDefault(false);
    connect(YesBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(LaterBtn, &QPushButton::clicked, this, &QDialog::reject);  // so do Escape and the close box
}

bool TupUpdaterUpgradeMessageForm::ask(const UpUpgradeQuestion& question, QWidget* parent) {
    if (g_question) return false;  // a second question while one is open is not asked again
    QPointer<TupUpdaterUpgradeMessageForm> form = new TupUpdaterUpgradeMessageForm(parent);
    g_question = form;
    const int labelWidth = kClientWidth - kLabelLeft - kRightMargin;
    form->Label1->setText(upQ(upAskUpgradeText(question)));
    form->Label1->setGeometry(kLabelLeft, kLabelTop, labelWidth, form->Label1->heightForWidth(labelWidth));
    form->setWindowTitle(upQ(UpText::Caption));
    form->YesBtn->setText(upQ(UpText::Yes));
    form->LaterBtn->setText(upQ(UpText::Later));
    const int height = kLabelTop + form->Label1->height() + kPanelHeight;
    form->Panel1->setGeometry(0, height - kPanelHeight, kClientWidth, kPanelHeight);
    form->setFixedSize(kClientWidth, height);
    upCentreOnScreen(form);
    form->raise();
    const int result = form->exec();
    delete form.data();  // null when its parent went first
    return result == QDialog::Accepted;
}

}  // namespace korvex
