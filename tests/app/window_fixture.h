#pragma once
// A temporary folder holding the window's Settings.ini, and a window that records its error
// messages instead of showing message boxes.
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <QDialog>
#include <functional>

#include "app/certificate_question.h"
#include "app/portals_dialog.h"
#include "app/tform1.h"
#include "settings/settings_file.h"
#include "tests/support/recording_url_opener.h"
#include "tests/support/temp_dir.h"

namespace korvex::test {

// The book as the settings file at `path` holds it, read for `count` accounts.
inline AccountBook savedBook(const std::string& path, int count) {
    AccountBook book;
    book.setCount(count);
    read(book, path);
    return book;
}

class WindowTest : public ::testing::Test {
protected:
    void TearDown() override { m_form.reset(); }

    TForm1& open() {
        WindowEnvironment env;
        env.showError = [this](const QString& text) { m_errors << text; };
        env.confirm = [this](const QString& title, const QString& text) {
            m_questions << title + QStringLiteral(": ") + text;
            return m_answerYes;
        };
        if (m_addresses) env.addresses = *m_addresses;
        env.urlOpener = m_opener;
        env.trayMessage = [this](const QString& title, const QString& text) {
            m_trayMessages << title + QLatin1Char('\n') + text;
        };
        env.certificateQuestion = [this](CertificateQuestion& question) {
            ++m_certificateQuestions;
            return m_certificateAnswer ? m_certificateAnswer(question) : int(QDialog::Rejected);
        };
        env.clock = m_clock;
        env.updateUserInterface = m_updateUserInterface;
        env.keyring = m_keyring;
        env.wallClock = [this] { return m_wallNow; };
        env.endRequested = m_endRequested;
        env.portalsDialog = m_portalsDialog;
        m_form = std::make_unique<TForm1>(m_settings, env);
        return *m_form;
    }
    void close() { m_form.reset(); }

    std::string fileText() const {
        std::ifstream in(m_settings, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    TempDir m_temp;
    const std::filesystem::path& m_dir = m_temp.path();
    std::string m_settings = (m_dir / "Settings.ini").string();
    std::unique_ptr<TForm1> m_form;
    QStringList m_errors;
    QStringList m_questions;
    QStringList m_trayMessages;  // title and text of each tray message
    bool m_answerYes = true;
    int m_certificateQuestions = 0;
    // Drives the portals dialog in place of exec(); null: exec().
    std::function<void(PortalsDialog&)> m_portalsDialog;
    // What the question about changed certificates gets: the test ticks and answers; null: "Не доверять".
    std::function<int(CertificateQuestion&)> m_certificateAnswer;
    std::optional<PortalAddresses> m_addresses;
    std::shared_ptr<RecordingUrlOpener> m_opener = std::make_shared<RecordingUrlOpener>();
    std::shared_ptr<TupUserInterface> m_updateUserInterface;  // null: Qt dialogs
    std::shared_ptr<PasswordKeyring> m_keyring;  // null: the Secret Service, should a test turn it on
    std::function<bool()> m_endRequested;  // null: the program is never told to end during start-up
    std::shared_ptr<FixedCheckClock> m_clock =
        std::make_shared<FixedCheckClock>(LocalDateTime{7, 12, 2026, 9, 5});
    // The refresh schedule's clock: moved on by hand, never slept for.
    std::chrono::system_clock::time_point m_wallNow = std::chrono::sys_days{std::chrono::December / 7 / 2026};
};

}  // namespace korvex::test
