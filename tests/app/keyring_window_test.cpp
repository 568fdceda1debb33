// The settings tab's "Хранить пароли в связке ключей", over a keyring of the test's own.
#include <QCheckBox>
#include <QRegularExpression>

#include "app/text_grid_model.h"
#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "settings/keyring_passwords.h"
#include "settings/settings_file.h"
#include "tests/app/window_fixture.h"
#include "tests/support/map_keyring.h"

namespace korvex::test {

namespace {

void twoAccounts(AccountBook& book) {
    book.setCount(2);
    book.client.setRow(0, {"ivanov", "one", "SG", ""});
    book.client.setRow(1, {"petrov", "two", "R", ""});
}

// Two accounts saved at `settings`, their passwords moved into a keyring of the test's own.
std::shared_ptr<MapKeyring> twoAccountsInAKeyring(const std::string& settings) {
    auto keyring = std::make_shared<MapKeyring>();
    AccountBook book;
    twoAccounts(book);
    zapis(book, {}, settings);
    EXPECT_TRUE(KeyringBook(*keyring, settings).turnOn().ok());
    return keyring;
}

}  // namespace

TEST_F(WindowTest, TheKeyringBoxMovesThePasswordsIntoTheKeyringAndBack) {
    auto keyring = std::make_shared<MapKeyring>();
    m_keyring = keyring;
    TForm1& form = open();
    ASSERT_NE(form.KeyringCheckBox, nullptr);
    EXPECT_EQ(form.KeyringCheckBox->parentWidget(), form.tab2);
    EXPECT_EQ(form.KeyringCheckBox->geometry().topLeft(), QPoint(210, 365));
    EXPECT_LT(form.KeyringCheckBox->geometry().right(), 645) << "the column under \"Сохранить\" stays free";
    EXPECT_FALSE(form.KeyringCheckBox->isChecked());
    twoAccounts(form.book());
    ASSERT_TRUE(form.zapis());
    EXPECT_EQ(fileText().find("KEYRING"), std::string::npos) << "off, the file is what it always was";

    form.KeyringCheckBox->click();
    EXPECT_TRUE(form.KeyringCheckBox->isChecked());
    EXPECT_TRUE(keyringEnabled(m_settings));
    EXPECT_EQ(filePassword(m_settings, 0), "");
    EXPECT_EQ(filePassword(m_settings, 1), "");
    EXPECT_EQ(keyring->entries.size(), 2u);
    EXPECT_EQ(form.book().client.cell(kPassword, 1), "two") << "the table still shows them";
    close();

    TForm1& again = open();
    EXPECT_TRUE(again.KeyringCheckBox->isChecked());
    EXPECT_EQ(again.book().client.cell(kPassword, 0), "one");
    EXPECT_EQ(again.book().client.cell(kPassword, 1), "two");
    again.book().client.setCell(kPassword, 0, "changed");
    ASSERT_TRUE(again.zapis());
    EXPECT_EQ(filePassword(m_settings, 0), "");

    again.KeyringCheckBox->click();
    EXPECT_FALSE(again.KeyringCheckBox->isChecked());
    EXPECT_FALSE(keyringEnabled(m_settings));
    EXPECT_EQ(filePassword(m_settings, 0), "changed");
    EXPECT_EQ(filePassword(m_settings, 1), "two");
    EXPECT_TRUE(keyring->entries.empty());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(WindowTest, ALockedKeyringIsSaidInOneBoxAndItsAccountsAreNotChecked) {
    auto keyring = twoAccountsInAKeyring(m_settings);
    m_keyring = keyring;
    keyring->state = KeyringState::Locked;
    keyring->changes = 0;
    const std::string before = fileText();

    TForm1& form = open();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("заблокирована"))) << m_errors[0].toStdString();
    EXPECT_EQ(form.book().client.cell(kPassword, 0), "");
    form.bbb111Click();
    EXPECT_TRUE(form.lastRun().rows.empty()) << "no account was asked for without its password";
    EXPECT_TRUE(form.statModel()->rowNote(1).contains(QStringLiteral("заблокирована")));
    // Turning the box off needs the passwords: refused, said, nothing moved.
    form.KeyringCheckBox->click();
    EXPECT_TRUE(form.KeyringCheckBox->isChecked());
    form.zapis();
    close();
    EXPECT_EQ(m_errors.size(), 2) << m_errors.join('\n').toStdString();
    EXPECT_EQ(fileText(), before);
    EXPECT_EQ(keyring->changes, 0);
}

// A password the file holds is its row's own: the run checks that row and holds back the row whose
// password is in the locked keyring, marked with the reason.
TEST_F(WindowTest, ALockedKeyringHoldsBackOnlyTheRowsWhosePasswordItKeeps) {
    auto keyring = twoAccountsInAKeyring(m_settings);
    m_keyring = keyring;
    keyring->state = KeyringState::Locked;
    AccountBook typed;
    typed.setCount(2);
    read(typed, m_settings);
    typed.client.setCell(kPassword, 0, "typed");
    zapis(typed, {}, m_settings);

    TForm1& form = open();
    form.bbb111Click();
    ASSERT_EQ(form.lastRun().rows.size(), 1u);
    EXPECT_EQ(form.lastRun().rows[0].row, 0);
    EXPECT_TRUE(form.statModel()->rowNote(1).contains(QStringLiteral("заблокирована")));
}

// Each way the keyring cannot be used is said in Russian alone, with what the user is to do about it.
TEST_F(WindowTest, AKeyringThatCannotBeUsedIsSaidInRussianWithWhatToDo) {
    struct Case {
        KeyringState state;
        KeyringAbsence absence;
        const char* todo;
    };
    const Case cases[] = {
        {KeyringState::Locked, {}, "Разблокируйте связку ключей рабочего стола"},
        {KeyringState::Absent, KeyringAbsence::NoSessionBus, "Запустите Korvex из сеанса рабочего стола"},
        {KeyringState::Absent, KeyringAbsence::BusUnreachable, "Войдите в сеанс рабочего стола"},
        {KeyringState::Absent, KeyringAbsence::NoSecretService, "Запустите связку ключей рабочего стола"},
        {KeyringState::Absent, KeyringAbsence::NoDefaultKeyring, "Создайте связку ключей по умолчанию"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.todo);
        auto keyring = twoAccountsInAKeyring(m_settings);
        m_keyring = keyring;
        keyring->state = c.state;
        keyring->absence = c.absence;
        m_errors.clear();
        open();
        ASSERT_EQ(m_errors.size(), 1);
        EXPECT_TRUE(m_errors[0].contains(QString::fromUtf8(c.todo))) << m_errors[0].toStdString();
        // Names of things stay as they are; no other word is English.
        QString words = m_errors[0];
        for (const char* name :
             {"DBUS_SESSION_BUS_ADDRESS", "GNOME Keyring", "KWalletManager", "KWallet", "Korvex"})
            words.remove(QString::fromLatin1(name));
        EXPECT_FALSE(words.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
            << m_errors[0].toStdString();
        close();
    }
}

}  // namespace korvex::test
