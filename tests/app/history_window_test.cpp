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

#include "app/forecast_dialog.h"
#include "app/history_dialog.h"
#include "app/text_grid_model.h"
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
    HistoryDialog dialog(path, "ivanov", "SG");
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

TEST_F(PortalWindowTest, TheHistoryItemOfTheBalanceMenuOpensTheRowsHistory) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    const QList<QAction*> items = form.PopupMenu2->actions();
    ASSERT_GE(items.size(), 2);
    EXPECT_EQ(items[items.size() - 2], form.BalanceHistoryItem);
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

// Daily checks of an account for `days` days up to now, falling by `perDay` to `last`.
std::vector<HistoryEntry> spendingChecks(const std::string& login, const std::string& plan, double last,
                                         double perDay, int days = 20) {
    std::vector<HistoryEntry> entries;
    const auto now = std::chrono::system_clock::now();
    for (int d = days; d >= 0; --d) {
        HistoryEntry e;
        e.time = utcTimestamp(now - std::chrono::days(d) - std::chrono::minutes(1));
        e.login = login;
        e.plan = plan;
        e.balance = last + perDay * d;
        e.balanceText = std::to_string(*e.balance);
        entries.push_back(e);
    }
    return entries;
}

// Under the chart: the spend per day and the days left of the account (login and plan code); on
// it, a dashed line from the latest balance down to zero.
TEST_F(WindowTest, TheDialogShowsSpendAndDaysLeftAndProjectsTheBalanceToZero) {
    using namespace std::chrono;
    const std::string path = (m_dir / "History.sqlite").string();
    BalanceHistory history(path);
    const std::vector<HistoryEntry> sg = spendingChecks("ivanov", "SG", 50, 10);
    history.append(sg);
    history.append(spendingChecks("ivanov", "42", 300, 1, 0));
    history.append(spendingChecks("ivanov", "39", -5, 10));
    const struct {
        const char* plan;
        QString note;
        bool projected;
    } cases[] = {
        {"SG", QStringLiteral("Расход в день: 10.00 · осталось дней: 5 (на "), true},
        {"42",
         QStringLiteral(
             "Расход в день: — · осталось дней: — (проверки без пополнений охватывают меньше недели)"),
         false},
        {"39", QStringLiteral("Расход в день: 10.00 · осталось дней: 0 (на "), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        HistoryDialog dialog(path, "ivanov", std::string(c.plan));
        EXPECT_TRUE(dialog.forecastNote()->text().startsWith(c.note))
            << dialog.forecastNote()->text().toStdString();
        QLineSeries* projection = dialog.forecastSeries();
        EXPECT_EQ(projection->pen().style(), Qt::DashLine);
        if (!c.projected) {
            EXPECT_EQ(projection->count(), 0);
            continue;
        }
        ASSERT_EQ(projection->count(), 2);
        const QPointF from = projection->at(0);
        const QPointF to = projection->at(1);
        EXPECT_DOUBLE_EQ(from.y(), 50);
        EXPECT_NEAR(to.y(), 0, 1e-6);
        EXPECT_NEAR((to.x() - from.x()) / (86400.0 * 1000), 5, 1e-3) << "50 at 10 a day";
        const auto latest = momentFromUtcTimestamp(sg.back().time);
        ASSERT_TRUE(latest);
        EXPECT_EQ(from.x(),
                  static_cast<double>(duration_cast<milliseconds>(latest->time_since_epoch()).count()))
            << "it starts at the latest balance";
    }
}

// The balance cell's tooltip gives the days left, read from the history when it shows; no other
// cell has it, and a missing history is not made by looking.
TEST_F(WindowTest, TheBalanceCellsTooltipGivesTheDaysLeft) {
    TForm1& form = open();
    form.clients->setValue(3);
    form.book().client.setRow(0, {"ivanov", "", "SG", ""});
    form.book().client.setRow(1, {"ivanov", "", "42", ""});
    const auto tip = [&](int row, int col) {
        return form.statModel()->data(form.statModel()->index(row, col), Qt::ToolTipRole).toString();
    };
    const std::string path = historyPathFor(m_settings);
    EXPECT_EQ(tip(0, kBalance), QStringLiteral("Осталось дней: — (нет прочитанного баланса за 60 дней)"));
    EXPECT_FALSE(std::filesystem::exists(path));

    BalanceHistory(path).append(spendingChecks("ivanov", "SG", 50, 10));
    EXPECT_TRUE(tip(0, kBalance).startsWith(QStringLiteral("Осталось дней: 5 (расход 10.00 в день, на ")))
        << tip(0, kBalance).toStdString();
    EXPECT_TRUE(tip(1, kBalance).startsWith(QStringLiteral("Осталось дней: —")))
        << "another plan, another account";
    EXPECT_EQ(tip(2, kBalance), QString()) << "a row without a login";
    EXPECT_EQ(tip(0, kSpeed), QString());

    // A failed check's note comes first.
    form.statModel()->setRowNote(0, QStringLiteral("Портал не ответил"));
    EXPECT_TRUE(tip(0, kBalance).startsWith(QStringLiteral("Портал не ответил\nОсталось дней: 5")));
}

// "Прогноз…", the last item of the balance menu: every account by days left, fewest first; those
// with fewer days than DaysLeft tinted.
TEST_F(WindowTest, TheForecastItemListsEveryAccountByDaysLeft) {
    TForm1& form = open();
    EXPECT_EQ(form.PopupMenu2->actions().last(), form.ForecastItem);
    EXPECT_EQ(form.ForecastItem->text(), QStringLiteral("Прогноз…"));
    form.clients->setValue(3);
    form.book().client.setRow(0, {"ivanov", "", "SG", ""});
    form.book().client.setRow(1, {"petrova", "", "39", ""});
    form.book().client.setRow(2, {"sidorov", "", "R", ""});
    BalanceHistory history(historyPathFor(m_settings));
    history.append(spendingChecks("ivanov", "SG", 200, 10));
    history.append(spendingChecks("petrova", "39", 50, 10));

    form.ForecastItemClick();
    auto* dialog = form.findChild<ForecastDialog*>();
    ASSERT_NE(dialog, nullptr);
    QTableWidget* table = dialog->table();
    ASSERT_EQ(table->rowCount(), 3);
    const QString logins[] = {QStringLiteral("petrova"), QStringLiteral("ivanov"), QStringLiteral("sidorov")};
    const QString days[] = {QStringLiteral("5"), QStringLiteral("20"),
                            QStringLiteral("— (нет прочитанного баланса за 60 дней)")};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(table->item(row, 1)->text(), logins[row]);
        EXPECT_EQ(table->item(row, 6)->text(), days[row]);
    }
    EXPECT_EQ(table->item(0, 5)->text(), QStringLiteral("10.00"));
    EXPECT_NE(table->item(0, 1)->background(), table->item(1, 1)->background()) << "5 days: fewer than 7";
    dialog->close();
}

// After a run the tray names the accounts with few days left, by the history that now holds the
// run's checks.
TEST_F(PortalWindowTest, AfterARunTheTrayNamesAccountsWithFewDaysLeft) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}});
    std::vector<HistoryEntry> before = spendingChecks("sps_ivanov", "39", 42.15, 10);
    before.pop_back();  // today's reading comes from the run: 42.15
    BalanceHistory(historyPathFor(m_settings)).append(before);
    form.bbb111Click();
    ASSERT_EQ(m_trayMessages.size(), 1);
    EXPECT_TRUE(m_trayMessages[0].contains(QStringLiteral("Осталось дней: 4 — sps_ivanov (42.15)")))
        << m_trayMessages[0].toStdString();
}

}  // namespace
}  // namespace korvex::test
