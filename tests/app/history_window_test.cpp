// The balance history in the window: the dialog with its chart and table, and what a refresh keeps.
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTableWidget>
#include <filesystem>

#include "app/history_dialog.h"
#include "history/balance_history.h"
#include "settings/settings_file.h"
#include "tests/app/portal_window_fixture.h"

namespace korvex::test {
namespace {

// `count` checks of "ivanov", an hour apart, the balance falling by one; every `failEvery`-th failed.
std::vector<HistoryEntry> fallingChecks(int count, int failEvery) {
    std::vector<HistoryEntry> entries;
    const auto start = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
    for (int i = 0; i < count; ++i) {
        HistoryEntry e;
        e.time = utcTimestamp(start + std::chrono::hours(i));
        e.login = "ivanov";
        e.plan = "SG";
        const bool failed = failEvery > 0 && (i + 1) % failEvery == 0;
        e.outcome = failed ? HistoryOutcome::TransferFailed : HistoryOutcome::Page;
        if (!failed) {
            e.balanceText = std::to_string(count - i) + ",00 руб.";
            e.balance = count - i;
        }
        e.status = "Активна";
        entries.push_back(std::move(e));
    }
    return entries;
}

TEST_F(WindowTest, TheDialogChartsTheBalanceMarksFailedChecksAndListsNewestFirst) {
    const struct {
        int checks;
        int failEvery;
        int points;
        int marks;
    } cases[] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {1000, 10, 900, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.checks);
        const std::string path = (m_dir / ("History" + std::to_string(c.checks) + ".sqlite")).string();
        BalanceHistory(path).append(fallingChecks(c.checks, c.failEvery));
        // Another account's checks stay out of this one's dialog.
        BalanceHistory(path).append({HistoryEntry{"2026-01-01T00:00:00Z", "petrov", "SG", "5", 5.0, "", "",
                                                  HistoryOutcome::Page, ""}});

        HistoryDialog dialog(path, "ivanov", "SG");
        dialog.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog.balanceSeries()->count(), c.points);
        EXPECT_EQ(dialog.failedSeries()->count(), c.marks);
        ASSERT_EQ(dialog.checksTable()->rowCount(), c.checks);
        if (c.checks == 0) {
            EXPECT_EQ(dialog.note()->text(), QStringLiteral("Проверок этого счёта ещё нет."));
            continue;
        }
        EXPECT_EQ(dialog.checksTable()->item(0, 3)->text(), QStringLiteral("Активна"));
        // The newest check is on top; the oldest at the bottom, with the highest balance.
        EXPECT_EQ(dialog.checksTable()->item(c.checks - 1, 1)->text(),
                  QString::number(c.checks) + QStringLiteral(",00 руб."));
        if (c.marks > 0) {
            EXPECT_EQ(dialog.checksTable()->item(0, 4)->text().left(18),
                      QStringLiteral("нет ответа портала"));
            // A failed check is marked at the balance read before it.
            EXPECT_EQ(dialog.failedSeries()->at(0).y(), c.checks - 8);
        }
    }
}

TEST_F(WindowTest, ATimeOfTheFileThatIsNoMomentIsListedAsUnreadableAndLeftOffTheChart) {
    const std::string path = (m_dir / "History.sqlite").string();
    BalanceHistory(path).append({
        HistoryEntry{"0224-02-29T23:59:00Z", "ivanov", "SG", "7", 7.0, "", "", HistoryOutcome::Page, ""},
        HistoryEntry{"2026-01-01T00:00:00Z", "ivanov", "SG", "5", 5.0, "", "", HistoryOutcome::Page, ""},
        HistoryEntry{"9999-12-31T23:59:59Z", "ivanov", "SG", "", std::nullopt, "", "",
                     HistoryOutcome::TransferFailed, ""},
    });
    HistoryDialog dialog(path, "ivanov");
    ASSERT_EQ(dialog.checksTable()->rowCount(), 3);
    EXPECT_EQ(dialog.checksTable()->item(0, 0)->text(), QStringLiteral("не читается: 9999-12-31T23:59:59Z"));
    EXPECT_EQ(dialog.checksTable()->item(2, 0)->text(), QStringLiteral("не читается: 0224-02-29T23:59:00Z"));
    EXPECT_EQ(dialog.balanceSeries()->count(), 1);
    EXPECT_EQ(dialog.failedSeries()->count(), 0);
}

TEST_F(WindowTest, TheDialogSaysWhenTheHistoryCannotBeReadAndMakesNoFile) {
    const std::string missing = (m_dir / "History.sqlite").string();
    HistoryDialog none(missing, "ivanov", "SG");
    EXPECT_EQ(none.checksTable()->rowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(missing));

    std::filesystem::create_directory(missing);
    HistoryDialog broken(missing, "ivanov", "SG");
    EXPECT_TRUE(broken.note()->text().startsWith(QStringLiteral("История баланса не читается")))
        << broken.note()->text().toStdString();
}

TEST_F(PortalWindowTest, TheLastItemOfTheBalanceMenuOpensTheRowsHistory) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    const QList<QAction*> items = form.PopupMenu2->actions();
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.last(), form.BalanceHistoryItem);
    EXPECT_EQ(form.BalanceHistoryItem->text(), QStringLiteral("История баланса…"));

    form.bbb111Click();
    form.setCurrentCell(1, 1);
    form.N6Click();  // the one-row refresh keeps its check too
    const auto kept = BalanceHistory(historyPathFor(m_settings)).read({});
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[2].login, "sat_titova");
    EXPECT_EQ(kept[2].balance, 104.75);

    form.BalanceHistoryItemClick();
    auto* dialog = form.findChild<HistoryDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->checksTable()->rowCount(), 2);
    EXPECT_EQ(dialog->balanceSeries()->count(), 2);
    dialog->close();

    // Deleting the account leaves its history; it is still found by login.
    form.setCurrentCell(0, 1);
    form.delrowClick();
    EXPECT_EQ(form.book().client.cell(kLogin, 1), "");
    HistoryDialog afterDelete(historyPathFor(m_settings), "sat_titova", "SG");
    EXPECT_EQ(afterDelete.checksTable()->rowCount(), 2);
}

// The dialog of a row charts that row's account: its login on its plan, not another plan's failed
// checks of the same login.
TEST_F(PortalWindowTest, TheHistoryOfARowIsItsOwnAccountsNotItsLogins) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}, {"sps_ivanov", "wrong-pass", "SPS"}});
    form.bbb111Click();
    for (const int row : {0, 1}) {
        SCOPED_TRACE(row);
        form.setCurrentCell(1, row);
        form.BalanceHistoryItemClick();
        auto* dialog = form.findChild<HistoryDialog*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->checksTable()->rowCount(), 1);
        EXPECT_EQ(dialog->balanceSeries()->count(), row == 0 ? 1 : 0);
        EXPECT_TRUE(dialog->windowTitle().endsWith(row == 0 ? QStringLiteral("sps_ivanov (39)")
                                                            : QStringLiteral("sps_ivanov (SPS)")))
            << dialog->windowTitle().toStdString();
        delete dialog;
    }
}

TEST_F(PortalWindowTest, AHistoryThatCannotBeWrittenIsSaidUnderTheTableAndTheSaveStands) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}});
    std::filesystem::create_directory(historyPathFor(m_settings));
    form.bbb111Click();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено"));
    AccountBook saved;
    read(saved, m_settings);
    EXPECT_EQ(saved.Stat.cell(kBalance, 0), "42.15");
    EXPECT_TRUE(form.JvXPProgressBar1->isTextVisible());
    EXPECT_TRUE(form.JvXPProgressBar1->text().startsWith(QStringLiteral("История баланса не записана")))
        << form.JvXPProgressBar1->text().toStdString();

    std::filesystem::remove(historyPathFor(m_settings));
    form.bbb111Click();
    EXPECT_FALSE(form.JvXPProgressBar1->isTextVisible()) << "the next run that keeps its checks clears it";
}

}  // namespace
}  // namespace korvex::test
