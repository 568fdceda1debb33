#include "qt_update_prompts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "codepage.h"

namespace korvex {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
QString fromCp1251(const std::string& text) { return fromUtf8(cp1251ToUtf8(text)); }
bool russian(TupCheckLanguage language) { return language == TupCheckLanguage::Russian; }

}  // namespace

bool QtUpdatePrompts::askUpgrade(const std::string& applicationTitle, const std::string& upgradeMessage) {
    QMessageBox box(QMessageBox::Question, fromUtf8(upCheckCaption(m_language)),
                    fromUtf8(upCheckQuestionText(m_language, cp1251ToUtf8(applicationTitle), cp1251ToUtf8(upgradeMessage))),
                    QMessageBox::NoButton, m_parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton* yes = box.addButton(russian(m_language) ? QStringLiteral("&Да") : QStringLiteral("&Yes"),
                                     QMessageBox::YesRole);
    QPushButton* later = box.addButton(russian(m_language) ? QStringLiteral("&Позже") : QStringLiteral("&Later"),
                                       QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(later);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<UpCheckCredentials> QtUpdatePrompts::askPassword(const std::string& fileName, const std::string& userName) {
    const bool ru = russian(m_language);
    QDialog dialog(m_parent);
    dialog.setWindowTitle(ru ? QStringLiteral("Требуется авторизация") : QStringLiteral("Authorization required"));
    auto* layout = new QFormLayout(&dialog);
    auto* text = new QLabel(ru ? QStringLiteral("Доступ к удалённому файлу \"%1\" защищён паролем.\n\nПожалуйста введите "
                                                "имя пользователя и пароль (полученые при регистрации) для "
                                                "продолжения обновления программы.")
                                     .arg(fromCp1251(fileName))
                               : QStringLiteral("Access to remote file \"%1\" is password protected.\n\nPlease enter "
                                                "your username and password (received after registration) to continue "
                                                "software upgrade.")
                                     .arg(fromCp1251(fileName)));
    text->setWordWrap(true);
    layout->addRow(text);
    auto* user = new QLineEdit(fromCp1251(userName));
    auto* password = new QLineEdit;
    password->setEchoMode(QLineEdit::Password);
    layout->addRow(ru ? QStringLiteral("Имя:") : QStringLiteral("Username:"), user);
    layout->addRow(ru ? QStringLiteral("Пароль:") : QStringLiteral("Password:"), password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return UpCheckCredentials{utf8ToCp1251(user->text().toStdString()), utf8ToCp1251(password->text().toStdString())};
}

void QtUpdatePrompts::showMessage(TupUpdaterShowMessage flag, const std::string& host) {
    const QMessageBox::Icon icon =
        flag == TupUpdaterShowMessage::mNoUpdateAvailable ? QMessageBox::Information : QMessageBox::Critical;
    QMessageBox box(icon, fromUtf8(upCheckCaption(m_language)), fromUtf8(upCheckBoxText(m_language, flag, host)),
                    QMessageBox::Ok, m_parent);
    box.exec();
}

}  // namespace korvex
