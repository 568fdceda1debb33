// The box at start that says what of Portals.ini is not used: one box for every problem, none
// without problems.
#include "app/portals_notice.h"

#include <gtest/gtest.h>
#include <QApplication>
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
}

}  // namespace
}  // namespace korvex
