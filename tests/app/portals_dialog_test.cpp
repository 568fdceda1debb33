// "Порталы…" in the window: a new user's book of the demo accounts, every portal still the build's
// placeholder, reaches every account once the addresses are set in the dialog.
#include "app/portals_dialog.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <fstream>
#include <iterator>

#include "checks/profile_edits.h"
#include "korvex-cli/account_csv.h"
#include "tests/app/portal_window_fixture.h"

namespace korvex::test {
namespace {

class PortalsDialogTest : public PortalWindowTest {
protected:
    void SetUp() override {
        PortalWindowTest::SetUp();
        m_addresses = PortalAddresses::fromBuild();  // as installed: nothing points at the demo
    }
};

TEST_F(PortalsDialogTest, AddressesSetInTheDialogReachEveryDemoAccount) {
    const std::string userFile = (m_dir / "Portals.ini").string();
    const std::string mine = "; my notes\r\n[Publisher]\r\n; the publisher stays\r\n";
    std::ofstream(userFile, std::ios::binary) << mine;
    const PortalAddresses demo = demoPortalAddresses(*m_portals);
    int shown = 0;
    m_portalsDialog = [&](PortalsDialog& dialog) {
        if (++shown > 1) return;
        // An https portal sent to http without AllowPlainHttp: refused, in Russian, the file as it was.
        dialog.selectProfile(QStringLiteral("SpectrumSat"));
        dialog.addressEdit->setText(QString::fromStdString(demo.planetSky));
        dialog.writeButton->click();
        EXPECT_TRUE(dialog.resultLabel->text().startsWith(QStringLiteral("Адрес SpectrumSat не записан")))
            << dialog.resultLabel->text().toStdString();
        EXPECT_EQ(readFile(userFile), mine);
        for (const ProviderProfile* profile : allProfiles()) {
            dialog.selectProfile(QString::fromStdString(std::string(profile->name)));
            dialog.addressEdit->setText(QString::fromStdString(demo.*profile->baseAddress));
            dialog.writeButton->click();
            EXPECT_FALSE(dialog.resultLabel->text().contains(QStringLiteral("не записан")))
                << dialog.resultLabel->text().toStdString();
        }
        // "Проверить" from the dialog: off the window's thread, its result in the dialog.
        dialog.selectProfile(QStringLiteral("Globax"));
        dialog.probeButton->click();
        QElapsedTimer waited;
        for (waited.start(); !dialog.probeButton->isEnabled() && waited.elapsed() < 30000;)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(dialog.resultLabel->text().contains(QStringLiteral("Страница входа Globax узнана")))
            << dialog.resultLabel->text().toStdString();
    };
    // The demo's own accounts, as a user imports them.
    std::ifstream csv(KORVEX_DEMO_ACCOUNTS_CSV, std::ios::binary);
    const auto accounts = readAccountCsv(std::string(std::istreambuf_iterator<char>(csv), {}));
    TForm1& form = open();
    form.clients->setValue(static_cast<int>(accounts.size()));
    for (std::size_t row = 0; row < accounts.size(); ++row) form.book().client.setRow(static_cast<int>(row), accounts[row].cells);
    form.book().syncDerivedColumns();
    form.PortalsButton->click();
    ASSERT_EQ(shown, 1);
    EXPECT_TRUE(readFile(userFile).starts_with(mine));

    form.bbb111Click();
    ASSERT_EQ(form.lastRun().rows.size(), static_cast<std::size_t>(form.book().clients));
    for (const RowCheck& check : form.lastRun().rows) {
        const bool wrongPassword = form.book().client.cell(kPassword, check.row) == "wrong-pass";
        EXPECT_EQ(check.outcome, wrongPassword ? CheckOutcome::NotFound : CheckOutcome::PageRead)
            << "row " << check.row << " " << check.profile << ": " << check.errorText;
    }
    // The balance menu opens the same dialog.
    form.PortalsItem->trigger();
    EXPECT_EQ(shown, 2);
}

}  // namespace
}  // namespace korvex::test
