#include "app/up_qt_user_interface.h"

#include "app/qt_text.h"
#include "app/up_dialog_common.h"
#include "app/up_updater_password.h"
#include "app/up_updater_upgrade_msg.h"
#include "app/up_updater_wizard.h"

namespace korvex {

bool TupQtUserInterface::askUpgrade(const UpUpgradeQuestion& question) {
    return TupUpdaterUpgradeMessageForm::ask(question, m_owner);
}

std::optional<UpCredentials> TupQtUserInterface::askPassword(const UpPasswordQuestion& question) {
    return TupUpdaterPasswordForm::ask(question, m_owner);
}

bool TupQtUserInterface::showMessage(const UpMessageBox& box) {
    return upShowBox(m_owner, upMessageBoxContent(box));
}

void TupQtUserInterface::showWizard(const UpWizardOptions& options, TupWizardListener& listener) {
    TupUpdaterWizardForm::showWizard(options, listener, m_owner);
}

bool TupQtUserInterface::isWizardOpen() const {
    return TupUpdaterWizardForm::instance() != nullptr;
}

void TupQtUserInterface::wizardFile(const std::string& url, int number, int count) {
    if (auto* wizard = TupUpdaterWizardForm::instance()) wizard->updateFile(toQ(url), number, count);
}

void TupQtUserInterface::wizardFileStart(std::int64_t fileSize) {
    if (auto* wizard = TupUpdaterWizardForm::instance()) wizard->fileStart(fileSize);
}

void TupQtUserInterface::wizardProgress(int percentDone, int totalPercentsDone, double transferRateKbps,
                                        std::int64_t estimatedSecondsLeft) {
    if (auto* wizard = TupUpdaterWizardForm::instance())
        wizard->progress(percentDone, totalPercentsDone, transferRateKbps, estimatedSecondsLeft);
}

void TupQtUserInterface::wizardFinishPage() {
    if (auto* wizard = TupUpdaterWizardForm::instance()) wizard->finishPage();
}

void TupQtUserInterface::closeWizard() {
    if (auto* wizard = TupUpdaterWizardForm::instance()) wizard->closeSilently();
}

}  // namespace korvex
