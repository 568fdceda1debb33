// The settings tab's "Хранить пароли в связке ключей": the passwords of the book in the desktop's
// keyring instead of Settings.ini (settings/keyring_passwords.h does the moving).
#include <QCheckBox>
#include <QSignalBlocker>

#include "app/qt_text.h"
#include "app/text_grid_model.h"
#include "app/tform1.h"
#include "run/refresh_session.h"
#include "platform/secret_service_keyring.h"
#include "settings/keyring_advice.h"
#include "settings/settings_file.h"

namespace korvex {

namespace {

QString keyringReason(const KeyringAnswer& answer) {
    return QString::fromStdString(keyringAdvice(answer, NoticeLanguage::Russian).reason);
}

QString keyringTodo(const KeyringAnswer& answer) {
    return QString::fromStdString(keyringAdvice(answer, NoticeLanguage::Russian).todo);
}

}  // namespace

void TForm1::buildKeyringControls() {
    KeyringCheckBox = new QCheckBox(QStringLiteral("Хранить пароли в связке ключей"), tab2);
    KeyringCheckBox->setObjectName(QStringLiteral("KeyringCheckBox"));
    KeyringCheckBox->setGeometry(210, 365, 300, 20);
    KeyringCheckBox->setToolTip(
        QStringLiteral("Пароли хранятся в связке ключей рабочего стола (GNOME Keyring, "
                       "KWallet), а не в файле настроек"));
    connect(KeyringCheckBox, &QCheckBox::clicked, this, &TForm1::KeyringCheckBoxClick);
}

void TForm1::sayKeyringProblem(const KeyringAnswer& answer, const QString& consequence) {
    if (m_keyringProblemSaid) return;
    m_keyringProblemSaid = true;
    showError(QStringLiteral("Пароли хранятся в связке ключей, но %1. %2 %3")
                  .arg(keyringReason(answer), consequence, keyringTodo(answer)));
}

void TForm1::fillPasswordsFromKeyring() {
    const bool enabled = keyringEnabled(FileName);
    {
        const QSignalBlocker blocker(KeyringCheckBox);
        KeyringCheckBox->setChecked(enabled);
    }
    if (!enabled) {
        m_keyringBook.reset();
        return;
    }
    if (!m_env.keyring) m_env.keyring = std::make_shared<SecretServiceKeyring>();
    if (!m_keyringBook) m_keyringBook = std::make_unique<KeyringBook>(*m_env.keyring, FileName);
    const KeyringAnswer answer = m_keyringBook->fill(m_book);
    if (answer.ok()) {
        m_keyringProblemSaid = false;
        return;
    }
    sayKeyringProblem(answer,
                      QStringLiteral("Пароли не загружены: учётные записи без пароля не проверяются, и "
                                     "ни связка ключей, ни файл настроек не перезаписываются."));
}

std::vector<int> TForm1::keyringWaiting() {
    if (!m_keyringBook || !m_keyringBook->passwordsMissing()) return {};
    // The user may have unlocked the keyring since the load.
    m_keyringAnswer = m_keyringBook->fill(m_book);
    if (m_keyringAnswer.ok()) {
        m_keyringProblemSaid = false;
        reloadTables();
        return {};
    }
    return m_keyringBook->rowsWaiting(m_book);
}

bool TForm1::holdBack(const RefreshPlan& plan) {
    for (const int row : plan.heldRows)
        m_statModel->setRowNote(row, QStringLiteral("Пароль не получен: ") + keyringReason(m_keyringAnswer));
    return plan.nothingToRun();
}

void TForm1::KeyringCheckBoxClick(bool checked) {
    const auto putBack = [this, checked] {
        const QSignalBlocker blocker(KeyringCheckBox);
        KeyringCheckBox->setChecked(!checked);
    };
    // What the tables hold goes into the file first, as it is kept now.
    if (!zapis()) {
        putBack();
        return;
    }
    if (!m_env.keyring) m_env.keyring = std::make_shared<SecretServiceKeyring>();
    if (!m_keyringBook) m_keyringBook = std::make_unique<KeyringBook>(*m_env.keyring, FileName);
    KeyringAnswer answer;
    try {
        answer = checked ? m_keyringBook->turnOn() : m_keyringBook->turnOff();
    } catch (const SettingsWriteError& e) {
        putBack();
        showError(QString::fromStdString(e.what()));
        return;
    }
    const bool enabled = keyringEnabled(FileName);
    if (enabled != checked) {
        putBack();
        showError((checked
                       ? QStringLiteral(
                             "Пароли не перенесены в связку ключей: %1. Они остались в файле настроек. %2")
                       : QStringLiteral(
                             "Пароли не возвращены в файл настроек: %1. Они остались в связке ключей. %2"))
                      .arg(keyringReason(answer), keyringTodo(answer)));
    } else if (!answer.ok()) {
        // Off, the passwords back in the file; only the keyring's copies could not be removed.
        showError(QStringLiteral("Пароли возвращены в файл настроек, но из связки ключей не удалены: %1. %2")
                      .arg(keyringReason(answer), keyringTodo(answer)));
    }
    if (!enabled) m_keyringBook.reset();
}

}  // namespace korvex
