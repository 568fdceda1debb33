// The window's opt-in refresh settings: checks at once through the same run as one after another,
// the schedule (driven by a test clock), and the settings' own section of Settings.ini.
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <algorithm>

#include "history/balance_history.h"
#include "run/refresh_settings.h"
#include "settings/settings_file.h"
#include "tests/app/portal_window_fixture.h"

namespace korvex::test {

namespace {

using namespace std::chrono_literals;

// Accounts of several portals, two on one portal, a wrong password and an STV login with its logout.
const std::vector<std::array<std::string, 3>> kAccounts = {
    {"sps_ivanov", "Qw3rty-71", "39"},
    {"sat_titova", "T1tova-SG", "SG"},
    {"sps_petrova", "lEto2009", "SPS"},
    {"r_smirnov", "Raduga#2024", "R"},
    {"sps_ivanov", "wrong", "39"},
    {"sg75_orlov", "0rlov#75", "75"},
    {"nobody", "x", "sps"},
    {"sat_grigoriev", "grig42", "42"},
};

// What the history keeps of a check, without the moment it was kept.
std::vector<std::string> historyRows(const std::string& settings) {
    std::vector<std::string> rows;
    for (const HistoryEntry& e : BalanceHistory(historyPathFor(settings)).read({}))
        rows.push_back(e.login + "|" + e.plan + "|" + e.balanceText + "|" + e.speed + "|" + e.status + "|" +
                       std::string(outcomeName(e.outcome)) + "|" + e.detail);
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace

TEST_F(PortalWindowTest, ChecksAtOnceLeaveTheSameTableAndHistoryAsOneAfterAnother) {
    TForm1& form = openWith(kAccounts);
    for (int r = 0; r < form.book().clients; ++r)
        form.book().Stat.setCell(kBalance, r, "old-" + std::to_string(r));
    const TextGrid before = form.book().Stat;
    form.bbb111Click();
    const TextGrid oneAfterAnother = form.book().Stat;
    const std::vector<RowCheck> sequentialChecks = form.lastRun().rows;
    const std::vector<std::string> sequentialHistory = historyRows(m_settings);
    std::filesystem::remove(historyPathFor(m_settings));

    form.book().Stat = before;
    form.RefreshJobs->setValue(4);
    form.RefreshPerPortal->setValue(2);
    m_portals->setAnswerDelay(50ms);  // long enough for two checks on one portal to meet
    m_portals->resetConcurrency();
    form.bbb111Click();

    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено (не найдено: 1 из 7)"));
    for (int r = 0; r < form.book().clients; ++r)
        for (int c = 0; c < kStatCols; ++c)
            EXPECT_EQ(form.book().Stat.cell(c, r), oneAfterAnother.cell(c, r))
                << "row " << r << " column " << c;
    ASSERT_EQ(form.lastRun().rows.size(), sequentialChecks.size());
    for (std::size_t i = 0; i < sequentialChecks.size(); ++i) {
        EXPECT_EQ(form.lastRun().rows[i].row, sequentialChecks[i].row) << "in row order";
        EXPECT_EQ(form.lastRun().rows[i].outcome, sequentialChecks[i].outcome) << i;
    }
    EXPECT_EQ(historyRows(m_settings), sequentialHistory);
    EXPECT_EQ(savedBook(m_settings, form.book().clients).Stat.cell(kBalance, 5),
              form.book().Stat.cell(kBalance, 5))
        << "the run ends with the save";
    EXPECT_GE(m_portals->maxConcurrentRequests(PortalId::SpectrumSat), 2) << "they did go at once";
}

// "СТОП" ends every transfer in flight at once, leaves each row cut short as it was (previous balance
// included), keeps and saves the rows that finished, and the window takes events all the while.
TEST_F(PortalWindowTest, StopDuringChecksAtOnceEndsThemAllLeavesNoRowHalfWrittenAndSaves) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"},
                             {"sat_titova", "T1tova-SG", "SG"},
                             {"r_smirnov", "Raduga#2024", "R"},
                             {"sg75_orlov", "0rlov#75", "75"}});
    const Row stalledBefore = {"sps_ivanov", "9.00", "8.00", "128.00", "1/1/2026 10:00", "Active", "", ""};
    form.book().Stat.setRow(0, stalledBefore);
    form.book().Stat.setCell(kBalance, 1, "5.00");
    form.RefreshJobs->setValue(4);
    m_portals->setStall(PortalId::SpectrumSat, true);
    m_portals->setStall(PortalId::SatGate, true);
    bool sawOthersWhileStalled = false;
    QElapsedTimer waited;
    waited.start();
    whenReady(
        [&] {
            // A stalled portal does not hold the window, nor the rows of the other portals. The rows
            // under way show within a frame; a window that never shows them is seen after 5 s.
            return !m_portals->requests(PortalId::SpectrumSat).empty() &&
                   !m_portals->requests(PortalId::SatGate).empty() &&
                   !m_portals->requests(PortalId::Raduga).empty() &&
                   !m_portals->requests(PortalId::SpaceGate75).empty() &&
                   (form.Stat->selectionModel()->selectedRows().size() >= 2 || waited.elapsed() > 5000);
        },
        [&] {
            sawOthersWhileStalled = form.transferRunning();
            // Every row under way is highlighted.
            EXPECT_GE(form.Stat->selectionModel()->selectedRows().size(), 2);
            form.JvXPButton2->click();
        });
    form.bbb111Click();  // returns once stopped

    EXPECT_TRUE(sawOthersWhileStalled);
    EXPECT_FALSE(form.transferRunning());
    const AccountBook& b = form.book();
    EXPECT_EQ(b.Stat.row(0), stalledBefore) << "the row cut short is whole, previous balance included";
    EXPECT_EQ(b.Stat.cell(kBalance, 1), "5.00");
    EXPECT_EQ(b.Stat.cell(kPrevious, 1), "");
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление остановлено (проверено: 2 из 4)"));
    EXPECT_EQ(barPosition(form), std::make_pair(2, 4)) << "the bar stands where the caption's count does";
    const AccountBook saved = savedBook(m_settings, 4);
    EXPECT_EQ(saved.Stat.cell(kPrevious, 0), "8.00");
    for (const RowCheck& check : form.lastRun().rows) {
        if (check.row == 2 || check.row == 3) {
            EXPECT_EQ(saved.Stat.cell(kDate, check.row), "7/12/2026 09:05");
        }
    }
}

TEST_F(PortalWindowTest, TheScheduleRunsFromTheTrayWaitsForAModalBoxAndSpeaksOnlyWhenNeeded) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}});
    form.hide();  // in the tray
    EXPECT_FALSE(form.scheduleTick()) << "off by default";
    m_wallNow += 30h;
    EXPECT_FALSE(form.scheduleTick());

    form.RefreshEveryHours->setValue(2);  // counted from now
    m_wallNow += 1h;
    EXPECT_FALSE(form.scheduleTick());
    m_wallNow += 1h;
    {
        QDialog box;
        box.setModal(true);
        box.show();
        EXPECT_FALSE(form.scheduleTick()) << "a modal box is open: it waits";
    }
    EXPECT_TRUE(m_portals->requests(PortalId::SpectrumSat).empty());
    EXPECT_TRUE(form.scheduleTick()) << "the box closed: it starts";
    EXPECT_EQ(m_portals->requests(PortalId::SpectrumSat).size(), 1u);
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено"));
    EXPECT_TRUE(m_trayMessages.isEmpty()) << "nothing to name: no balloon";
    EXPECT_FALSE(form.scheduleTick()) << "the next is counted from the end of this one";

    // A manual run resets it.
    m_wallNow += 90min;
    form.bbb111Click();
    m_wallNow += 90min;
    EXPECT_FALSE(form.scheduleTick());
    // Asleep for a day: one run on waking, not twelve.
    auto account = *m_portals->account(PortalId::SpectrumSat, "sps_ivanov");
    account.balance = "-5.00";
    m_portals->putAccount(PortalId::SpectrumSat, account);
    m_wallNow += 24h;
    EXPECT_TRUE(form.scheduleTick());
    EXPECT_FALSE(form.scheduleTick());
    EXPECT_EQ(m_trayMessages.size(), 1) << "a low balance is named";
}

TEST_F(WindowTest, TheRefreshSettingsSurviveARestartInTheirOwnSection) {
    TForm1& form = open();
    EXPECT_EQ(form.RefreshJobs->value(), 1);
    EXPECT_EQ(form.RefreshPerPortal->value(), 1);
    EXPECT_EQ(form.RefreshEveryHours->text(), QStringLiteral("выкл"));
    form.ButtonClick();
    EXPECT_EQ(fileText().find("[REFRESH]"), std::string::npos) << "untouched, the file is the design's";
    // In the free column under "Сохранить", clear of the proxy fields.
    for (QWidget* w : {static_cast<QWidget*>(form.RefreshJobs), static_cast<QWidget*>(form.RefreshPerPortal),
                       static_cast<QWidget*>(form.RefreshEveryHours)}) {
        EXPECT_GE(w->x(), 645);
        EXPECT_LE(w->geometry().right(), 806);
        EXPECT_GE(w->y(), 110);
        EXPECT_LE(w->geometry().bottom(), 300);
    }

    form.RefreshJobs->setValue(16);
    form.RefreshPerPortal->setValue(2);
    form.RefreshEveryHours->setValue(5);
    close();
    TForm1& again = open();
    EXPECT_EQ(again.RefreshJobs->value(), 16);
    EXPECT_EQ(again.RefreshPerPortal->value(), 2);
    EXPECT_EQ(again.RefreshEveryHours->value(), 5);
    EXPECT_EQ(again.schedule().periodHours(), 5);
    const RefreshSettings stored = readRefreshSettings(m_settings);
    EXPECT_EQ(stored.jobs, 16);
    EXPECT_TRUE(stored.jobsStored);
}

// Values the window cannot use are said once, at the start, and the defaults shown; each control
// says what it does, and the range of checks on one portal is the core's.
TEST_F(WindowTest, RefreshSettingsItCannotUseAreSaidOnceAndEveryControlExplainsItself) {
    std::ofstream(m_settings, std::ios::binary)
        << "[REFRESH]\r\nJobs=100\r\nPerPortal=abc\r\nEveryHours=5\r\n";
    TForm1& form = open();
    ASSERT_EQ(m_errors.size(), 1) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("Jobs=100 (нужно целое число от 1 до 64)")))
        << m_errors[0].toStdString();
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("PerPortal=abc (нужно целое число от 1 до 8)")));
    EXPECT_EQ(form.RefreshJobs->value(), 1);
    EXPECT_EQ(form.RefreshPerPortal->value(), 1);
    EXPECT_EQ(form.RefreshEveryHours->value(), 5);
    EXPECT_EQ(form.RefreshPerPortal->maximum(), kMaxRefreshPerPortal);
    EXPECT_EQ(form.RefreshEveryHoursLabel->text(), QStringLiteral("Проверять каждые"));
    for (QSpinBox* spin : {form.RefreshJobs, form.RefreshPerPortal, form.RefreshEveryHours})
        EXPECT_TRUE(spin->toolTip().contains(QString::number(spin->maximum())))
            << spin->objectName().toStdString();
    form.RefreshJobs->setValue(2);  // a change writes the three values the window uses
    close();
    open();
    EXPECT_EQ(m_errors.size(), 1) << "said once, until the file holds what the window can use";
}

}  // namespace korvex::test
