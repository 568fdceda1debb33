// The rules of passwords kept in a keyring, over a keyring of the test's own (the real one is
// keyring_passwords_test.cpp): what the keyring does not give back stays in the file, and an entry
// nobody here has read is never removed.
#include <gtest/gtest.h>

#include "settings/enc_dec.h"
#include "settings/ini_file.h"
#include "settings/keyring_passwords.h"
#include "settings/settings_file.h"
#include "tests/support/map_keyring.h"
#include "tests/support/temp_dir.h"

namespace korvex::test {
namespace {

AccountBook threeAccounts() {
    AccountBook book;
    book.setCount(3);
    book.client.setRow(0, {"ivanov", "one", "SG", ""});
    book.client.setRow(1, {"petrov", "two", "R", ""});
    book.client.setRow(2, {"sidorov", "three", "GL", ""});
    return book;
}

TEST(KeyringBookTest, APasswordTheKeyringDoesNotGiveBackEqualStaysInTheFile) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    zapis(threeAccounts(), {}, path);
    MapKeyring keyring;
    keyring.spoil = "?";  // a keyring that mangles what it is given
    const KeyringAnswer answer = KeyringBook(keyring, path).turnOn();
    EXPECT_FALSE(answer.ok());
    EXPECT_FALSE(keyringEnabled(path));
    for (int n = 0; n < 3; ++n) EXPECT_EQ(filePassword(path, n), threeAccounts().client.cell(kPassword, n));
}

TEST(KeyringBookTest, RowsOfOneAccountWithDifferentPasswordsKeepThemInTheFile) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    AccountBook book = threeAccounts();
    book.client.setRow(2, {"ivanov", "other", "SG", "the same account twice"});
    zapis(book, {}, path);
    MapKeyring keyring;
    ASSERT_TRUE(KeyringBook(keyring, path).turnOn().ok());
    EXPECT_EQ(filePassword(path, 0), "one");
    EXPECT_EQ(filePassword(path, 1), "");
    EXPECT_EQ(filePassword(path, 2), "other");

    AccountBook loaded;
    loaded.setCount(3);
    read(loaded, path);
    ASSERT_TRUE(KeyringBook(keyring, path).fill(loaded).ok());
    EXPECT_EQ(loaded.client, book.client);
}

TEST(KeyringBookTest, WhileThePasswordsWereNotReadSavesLeaveTheKeyringAloneAndKeepTypedOnesInTheFile) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    zapis(threeAccounts(), {}, path);
    MapKeyring keyring;
    ASSERT_TRUE(KeyringBook(keyring, path).turnOn().ok());
    const auto entriesBefore = keyring.entries;

    keyring.state = KeyringState::Locked;
    KeyringBook passwords(keyring, path);
    AccountBook book;
    book.setCount(3);
    read(book, path);
    EXPECT_EQ(passwords.fill(book).state, KeyringState::Locked);
    // Edits while locked: a login renamed (its password unknown), a new account typed in.
    book.client.setCell(kLogin, 1, "petrov2");
    ASSERT_TRUE(book.insertAccount(3));
    book.client.setRow(3, {"newcomer", "typed", "SG", ""});
    keyring.state = KeyringState::Ready;  // unlocked meanwhile: still, nothing was read
    keyring.changes = 0;
    EXPECT_FALSE(passwords.save(book, {}).ok());
    EXPECT_EQ(keyring.changes, 0);
    EXPECT_EQ(keyring.entries, entriesBefore) << "the renamed account's password is still there";
    EXPECT_EQ(filePassword(path, 3), "typed");
}

TEST(KeyringBookTest, AKeyringLockedAtTheSaveKeepsWhatItHeldAndTakesNoPasswordBackIntoTheFile) {
    TempDir dir;
    const std::string path = dir.file("Settings.ini");
    zapis(threeAccounts(), {}, path);
    MapKeyring keyring;
    ASSERT_TRUE(KeyringBook(keyring, path).turnOn().ok());
    KeyringBook passwords(keyring, path);
    AccountBook book;
    book.setCount(3);
    read(book, path);
    ASSERT_TRUE(passwords.fill(book).ok());

    keyring.state = KeyringState::Locked;
    book.client.setCell(kPassword, 2, "changed");
    EXPECT_EQ(passwords.save(book, {}).state, KeyringState::Locked);
    EXPECT_EQ(filePassword(path, 0), "") << "read from the keyring at the load: still there";
    EXPECT_EQ(filePassword(path, 2), "changed") << "not taken by the keyring: kept in the file";
}

}  // namespace
}  // namespace korvex::test
