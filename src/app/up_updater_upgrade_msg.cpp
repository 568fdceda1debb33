#include "app/up_updater_upgrade_msg.h"

#include <QPointer>
#include <QPushButton>

#include "app/up_dialog_common.h"

namespace korvex {

namespace {
QPointer<TupUpdaterUpgradeMessageForm> g_question;
constexpr int kClientWidth = 318, kPanelHeight = 45, kRightMargin = 11;
}  // namespace

TupUpdaterUpgradeMessageForm* TupUpdaterUpgradeMessageForm::instance() {
    return g_question.data();
}

TupUpdaterUpgradeMessageForm::TupUpdaterUpgradeMessageForm(QWidget* parent)
    : TupUpdaterSmallForm(parent, "TupUpdaterUpgradeMessageForm", kPanelHeight) {
    setWindowFlag(Qt::WindowStaysOnTopHint);
    YesBtn = addButton("YesBtn", 78, 13, true);
    LaterBtn = addButton("LaterBtn", 167, 13, false);
    connect(YesBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(LaterBtn, &QPushButton::clicked, this, &QDialog::reject);  // so do Escape and the close box
}

bool TupUpdaterUpgradeMessageForm::ask(const UpUpgradeQuestion& question, QWidget* parent) {
    if (g_question) return false;  // a second question while one is open is not asked again
    QPointer<TupUpdaterUpgradeMessageForm> form = new TupUpdaterUpgradeMessageForm(parent);
    g_question = form;
    form->setWindowTitle(upQ(UpText::Caption));
    form->YesBtn->setText(upQ(UpText::Yes));
    form->LaterBtn->setText(upQ(UpText::Later));
    form->fitTo(upQ(upAskUpgradeText(question)), kClientWidth, kRightMargin);
    form->raise();
    const int result = form->exec();
    delete form.data();  // null when its parent went first
    return result == QDialog::Accepted;
}

}  // namespace korvex
