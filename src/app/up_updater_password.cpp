#include "up_updater_password.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "qt_text.h"
#include "up_dialog_common.h"

namespace korvex {

namespace {
QPointer<TupUpdaterPasswordForm> g_password;
constexpr int kClientWidth = 297, kPanelHeight = 98, kLabelLeft = 45, kLabelTop = 5, kRightMargin = 18;
}  // namespace

TupUpdaterPasswordForm* TupUpdaterPasswordForm::instance() {
    return g_password.data();
}

TupUpdaterPasswordForm::TupUpdaterPasswordForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TupUpdaterPasswordForm"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
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
    UsernameLab = new QLabel(Panel1);
    UsernameLab->setObjectName(QStringLiteral("UsernameLab"));
    UsernameLab->setGeometry(45, 14, 75, 14);
    UsernameEdit = new QLineEdit(Panel1);
    UsernameEdit->setObjectName(QStringLiteral("UsernameEdit"));
    UsernameEdit->setGeometry(122, 10, 157, 21);
    PasswordLab = new QLabel(Panel1);
    PasswordLab->setObjectName(QStringLiteral("PasswordLab"));
    PasswordLab->setGeometry(45, 38, 75, 14);
    PasswordEdit = new QLineEdit(Panel1);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setGeometry(122, 34, 157, 21);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    UsernameLab->setBuddy(UsernameEdit);
    PasswordLab->setBuddy(PasswordEdit);
    OKBtn = new QPushButton(Panel1);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(114, 68, 75, 23);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(Panel1);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(204, 68, 75, 23);
    CancelBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);  // so do Escape and the close box
}

std::optional<UpCredentials> TupUpdaterPasswordForm::ask(const UpPasswordQuestion& question, QWidget* parent) {
    if (g_password) return std::nullopt;  // one window at a time
    QPointer<TupUpdaterPasswordForm> form = new TupUpdaterPasswordForm(parent);
    g_password = form;
    const int labelWidth = kClientWidth - kLabelLeft - kRightMargin;
    form->Label1->setText(upQ(upPasswordNoteText(question)));
    form->Label1->setGeometry(kLabelLeft, kLabelTop, labelWidth, form->Label1->heightForWidth(labelWidth));
    form->setWindowTitle(upQ(UpText::EnterPassword));
    form->UsernameLab->setText(upQ(UpText::UserName));
    form->UsernameEdit->setText(toQ(question.userName));
    form->PasswordLab->setText(upQ(UpText::Password));
    form->OKBtn->setText(upQ(UpText::OK));
    form->CancelBtn->setText(upQ(UpText::Cancel));
    const int height = kLabelTop + form->Label1->height() + kPanelHeight;
    form->Panel1->setGeometry(0, height - kPanelHeight, kClientWidth, kPanelHeight);
    form->setFixedSize(kClientWidth, height);
    upCentreOnScreen(form);
    if (question.userName.empty()) form->UsernameEdit->setFocus();
    else form->PasswordEdit->setFocus();
    std::optional<UpCredentials> answer;
    if (form->exec() == QDialog::Accepted && form)
        answer = UpCredentials{fromQ(form->UsernameEdit->text()), fromQ(form->PasswordEdit->text())};
    delete form.data();
    return answer;
}

}  // namespace korvex
