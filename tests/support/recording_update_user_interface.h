#pragma once
// A TupUserInterface that shows nothing: it writes down each question and box with the text it
// would carry in the current dialog language, answers as told, and leaves the wizard closed.
// Header-only, for tests that link korvex_update.
#include <optional>
#include <string>
#include <vector>

#include "update/texts/dialog_texts.h"
#include "update/texts/user_interface.h"

namespace korvex::test {

class RecordingUpdateUserInterface : public TupUserInterface {
public:
    bool answerUpgrade = false;
    std::optional<UpCredentials> credentials;  // the password window's answer
    // "question: " + text, "password: " + file name, or a box's text.
    std::vector<std::string> shown;

    bool askUpgrade(const UpUpgradeQuestion& question) override {
        shown.push_back("question: " + upAskUpgradeText(question));
        return answerUpgrade;
    }
    std::optional<UpCredentials> askPassword(const UpPasswordQuestion& question) override {
        shown.push_back("password: " + question.fileName);
        return credentials;
    }
    bool showMessage(const UpMessageBox& box) override {
        shown.push_back(upMessageBoxContent(box).text);
        return false;
    }
    void showWizard(const UpWizardOptions&, TupWizardListener&) override {}
    bool isWizardOpen() const override { return false; }
    void wizardFile(const std::string&, int, int) override {}
    void wizardFileStart(std::int64_t) override {}
    void wizardProgress(int, int, double, std::int64_t) override {}
    void wizardFinishPage() override {}
    void closeWizard() override {}
};

}  // namespace korvex::test
