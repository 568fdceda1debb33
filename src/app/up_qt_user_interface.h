#pragma once
// The update component's dialogs on the screen: the upgrade question, the password window, the
// download wizard and the message boxes, as Qt windows in the dialog language.
#include <QPointer>

#include "update/texts/user_interface.h"

class QWidget;

namespace korvex {

class TupQtUserInterface : public TupUserInterface {
public:
    // `owner`: the window the modal boxes belong to (may be null).
    explicit TupQtUserInterface(QWidget* owner = nullptr) : m_owner(owner) {}

    bool askUpgrade(const UpUpgradeQuestion& question) override;
    std::optional<UpCredentials> askPassword(const UpPasswordQuestion& question) override;
    bool showMessage(const UpMessageBox& box) override;

    void showWizard(const UpWizardOptions& options, TupWizardListener& listener) override;
    bool isWizardOpen() const override;
    void wizardFile(const std::string& url, int number, int count) override;
    void wizardFileStart(std::int64_t fileSize) override;
    void wizardProgress(int percentDone, int totalPercentsDone, double transferRateKbps,
                        std::int64_t estimatedSecondsLeft) override;
    void wizardFinishPage() override;
    void closeWizard() override;

private:
    QPointer<QWidget> m_owner;
};

}  // namespace korvex
