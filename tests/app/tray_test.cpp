// The tray on a real X server with a real tray host. The QApplication is made once the server runs.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "tests/app/portal_window_fixture.h"
#include "tests/app/xserver.h"

namespace korvex::test {

namespace {

// Processes events until `done` holds or five seconds pass.
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}  // namespace

class TrayTest : public PortalWindowTest {};

TEST_F(TrayTest, TheIconSitsInTheTrayWithTheCaptionAsTooltip) {
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    TForm1& form = open();
    form.show();
    EXPECT_TRUE(form.JvTrayIcon1->isVisible());
    EXPECT_EQ(form.JvTrayIcon1->toolTip(), QStringLiteral("Korvex  3.0"));
    EXPECT_TRUE(waitFor([&] { return form.JvTrayIcon1->geometry().isValid(); }));
    const QStringList items = {QStringLiteral("Проверить баланс"), QStringLiteral("Главное окно"), QString(),
                               QStringLiteral("Выход")};
    QStringList shown;
    for (QAction* a : form.PopupMenu1->actions()) shown << a->text();
    EXPECT_EQ(shown, items);
    EXPECT_FALSE(form.N4->icon().isNull());
    EXPECT_TRUE(form.N2->isSeparator());
}

TEST_F(TrayTest, MinimisingHidesIntoTheTrayAndTheMenuBringsTheWindowBack) {
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    TForm1& form = open();
    form.show();
    ASSERT_TRUE(waitFor([&] { return form.isVisible(); }));
    form.showMinimized();
    EXPECT_TRUE(waitFor([&] { return !form.isVisible(); }));
    form.N3->trigger();
    EXPECT_TRUE(waitFor([&] { return form.isVisible() && !form.isMinimized(); }));
}

TEST_F(TrayTest, CheckingFromTheTrayRunsTheWholeRefreshWhileTheWindowIsHidden) {
    ASSERT_TRUE(waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    TForm1& form = openWith({{"sg21_egorov", "Eg0r21", "21"}, {"gl_belova", "B3lova", "GL"}});
    form.hide();
    form.N4->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено"));
    AccountBook saved;
    saved.setCount(2);
    read(saved, m_settings);
    EXPECT_EQ(saved.Stat.cell(kDate, 0), "7/12/2026 09:05");
    EXPECT_EQ(saved.Stat.cell(kDate, 1), "7/12/2026 09:05");
}

TEST_F(TrayTest, ExitFromTheTrayMenuSavesAndEndsTheProgram) {
    TForm1& form = open();
    form.show();
    form.clients->setValue(2);
    form.book().client.setCell(kLogin, 1, "typed");
    bool loopEnded = false;
    QTimer::singleShot(0, &form, [&] { form.N1->trigger(); });
    QTimer::singleShot(5000, [] { QApplication::exit(3); });  // a way out if Выход did nothing
    EXPECT_EQ(QApplication::exec(), 0);
    loopEnded = true;
    EXPECT_TRUE(loopEnded);
    close();  // the window's destruction: its save
    AccountBook saved;
    saved.setCount(2);
    read(saved, m_settings);
    EXPECT_EQ(saved.client.cell(kLogin, 1), "typed");
    EXPECT_EQ(readStartup(m_settings).count, 2);
}

}  // namespace korvex::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    korvex::test::XServerWithTray x;
    if (x.display().empty()) {
        std::fprintf(stderr, "tray tests skipped: %s\n", x.error().c_str());
        return 0;
    }
    setenv("DISPLAY", x.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
