// The box at start that says what of Portals.ini is not used: one box for every problem, none
// without problems.
#include "app/portals_notice.h"
#include "app/tform1.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

namespace korvex {
namespace {

// Every modal box shown while `show` runs, by its text; each is closed once seen.
QStringList boxesWhile(const std::function<void()>& show) {
    QStringList seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            box && box->isVisible()) {
            seen << box->text();
            box->accept();
        }
    });
    timer.start(10);
    show();
    timer.stop();
    return seen;
}

TEST(PortalsNotice, OneBoxForEveryProblemAndNoneWithout) {
    QWidget window;
    const std::vector<std::string> problems = {
        "/home/u/.config/korvex/Portals.ini: line 3: [Raduga] Balance: the pattern does not compile",
        "/etc/xdg/korvex/Portals.ini: line 1: [Nope] names no profile"};
    const QStringList boxes = boxesWhile([&] { showPortalsProblems(&window, problems); });
    ASSERT_EQ(boxes.size(), 1);
    for (const std::string& problem : problems)
        EXPECT_TRUE(boxes[0].contains(QString::fromStdString(problem)));

    EXPECT_TRUE(boxesWhile([&] { showPortalsProblems(&window, {}); }).isEmpty());
    // A portal that sends passwords in clear is said at every start, problems or not.
    const QStringList clear = boxesWhile([&] { showPortalsProblems(&window, {}, {{"SpectrumSat", "http://h.example"}}); });
    ASSERT_EQ(clear.size(), 1);
    EXPECT_TRUE(clear[0].contains(QStringLiteral("SpectrumSat уходят на http://h.example открытым текстом")));

    // Portals without their address, alone or with the problems: still one box, naming them and
    // where the address goes.
    for (const auto& with : {std::vector<std::string>{}, problems}) {
        const QStringList one = boxesWhile([&] { showPortalsProblems(&window, with, {}, {"SpectrumSat", "SpaceGate 15"}); });
        ASSERT_EQ(one.size(), 1);
        EXPECT_TRUE(one[0].contains(QStringLiteral("Адрес портала не задан: SpectrumSat, SpaceGate 15.")));
        EXPECT_TRUE(one[0].contains(QStringLiteral("korvex-cli profiles set")));
        EXPECT_EQ(one[0].contains(QString::fromStdString(problems[0])), !with.empty());
    }
}

// The box about portals without their address opens the portals dialog from its button "Порталы…";
// a box without such portals has no such button.
TEST(PortalsNotice, ItsButtonOpensThePortalsDialog) {
    QWidget window;
    for (const bool withoutAddress : {true, false}) {
        int opened = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            for (QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>{})
                if (button->text() == QStringLiteral("Порталы…")) button->click();
            if (box && box->isVisible()) box->accept();
        });
        timer.start(10);
        showPortalsProblems(&window, {"a problem"}, {}, withoutAddress ? std::vector<std::string>{"SpectrumSat"}
                                                                       : std::vector<std::string>{}, [&] { ++opened; });
        EXPECT_EQ(opened, withoutAddress ? 1 : 0);
    }
}

// The caption after a run counts the rows of a portal without its address apart from those that
// got no answer.
TEST(PortalsNotice, TheCaptionCountsAnAddressNotSetApart) {
    RefreshResult run;
    for (const CheckOutcome outcome : {CheckOutcome::AddressNotSet, CheckOutcome::TransferFailed,
                                       CheckOutcome::AddressNotSet, CheckOutcome::PageRead}) {
        RowCheck check;
        check.row = static_cast<int>(run.rows.size());
        check.outcome = outcome;
        run.rows.push_back(check);
    }
    EXPECT_EQ(runCaption(run, 4),
              QStringLiteral("Обновление завершено (адрес портала не задан: 2 из 4, без ответа: 1 из 4)"));
}

}  // namespace
}  // namespace korvex
