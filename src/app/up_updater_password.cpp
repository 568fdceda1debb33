#include "app/up_updater_password.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <tuple>
#include <utility>

#include "app/qt_text.h"
#include "app/up_dialog_common.h"

namespace korvex {

namespace {

QPointer<TupUpdaterPasswordForm> g_password;
constexpr int kClientWidth = 297, kPanelHeight = 98, kRightMargin = 18;

// A caption at x 45 and its edit at x 122, 157 wide, on the panel.
std::pair<QLabel*, QLineEdit*> field(QWidget* panel, const char* labelName, const char* editName,
                                     int editTop) {
    auto* label = new QLabel(panel);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(45, editTop + 4, 75, 14);
    auto* edit = new QLineEdit(panel);
    edit->setObjectName(QString::fromLatin1(editName));
    edit->setGeometry(122, editTop, 157, 21);
    label->setBuddy(edit);
    return {label, edit};
}

}  // namespace

TupUpdaterPasswordForm* TupUpdaterPasswordForm::instance() {
    return g_password.data();
}

TupUpdaterPasswordForm::TupUpdaterPasswordForm(QWidget* parent)
    : TupUpdaterSmallForm(parent, "TupUpdaterPasswordForm", kPanelHeight) {
    std::tie(UsernameLab, UsernameEdit) = field(Panel1, "UsernameLab", "UsernameEdit", 10);
    std::tie(PasswordLab, PasswordEdit) = field(Panel1, "PasswordLab", "PasswordEdit", 34);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    OKBtn = addButton("OKBtn", 114, 68, true);
    CancelBtn = addButton("CancelBtn", 204, 68, false);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);  // so do Escape and the close box
}

std::optional<UpCredentials> TupUpdaterPasswordForm::ask(const UpPasswordQuestion& question,
                                                         QWidget* parent) {
    if (g_password) return std::nullopt;  // one window at a time
    QPointer<TupUpdaterPasswordForm> form = new TupUpdaterPasswordForm(parent);
    g_password = form;
    form->setWindowTitle(upQ(UpText::EnterPassword));
    form->UsernameLab->setText(upQ(UpText::UserName));
    form->UsernameEdit->setText(toQ(question.userName));
    form->PasswordLab->setText(upQ(UpText::Password));
    form->OKBtn->setText(upQ(UpText::OK));
    form->CancelBtn->setText(upQ(UpText::Cancel));
    form->fitTo(upQ(upPasswordNoteText(question)), kClientWidth, kRightMargin);
    (question.userName.empty() ? form->UsernameEdit : form->PasswordEdit)->setFocus();
    std::optional<UpCredentials> answer;
    if (form->exec() == QDialog::Accepted && form)
        answer = UpCredentials{fromQ(form->UsernameEdit->text()), fromQ(form->PasswordEdit->text())};
    delete form.data();
    return answer;
}

}  // namespace korvex
