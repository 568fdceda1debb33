#pragma once
// A window whose portal addresses point at substitute portals running in this process.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>

#include "korvex-demo-portals/demo_portals.h"
#include "tests/app/window_fixture.h"
#include "tests/support/demo_portal_addresses.h"

namespace korvex::test {

// Where the refresh progress bar stands: rows finished, and the rows it counts to (QProgressBar's own
// range, not the last row's number that RunProgressBar::maximum() keeps).
inline std::pair<int, int> barPosition(const TForm1& form) {
    const QProgressBar& bar = *form.JvXPProgressBar1;
    return {bar.value(), bar.maximum()};
}

class PortalWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        m_portals = std::make_unique<DemoPortals>();
        m_addresses = demoPortalAddresses(*m_portals);
    }
    void TearDown() override {
        m_form.reset();  // its closing save may still talk to nobody, but must not wait for a portal
        m_portals.reset();
        WindowTest::TearDown();
    }

    // Opens the window with these accounts (login, password, plan code) and the count set to them.
    TForm1& openWith(const std::vector<std::array<std::string, 3>>& accounts) {
        TForm1& form = open();
        form.clients->setValue(static_cast<int>(accounts.size()));
        for (size_t r = 0; r < accounts.size(); ++r)
            for (int c = 0; c < 3; ++c) form.book().client.setCell(c, static_cast<int>(r), accounts[r][c]);
        form.book().syncDerivedColumns();
        return form;
    }

    // Calls `action` from the event loop once `ready` holds (checked every 5 ms), while the window
    // runs a transfer of its own: proof that the window keeps taking events.
    // Runs `action` once `ready` holds; a state not seen within 30 s is a failure, and the action
    // (which ends what the test started) runs then all the same, so the test ends instead of hanging.
    void whenReady(std::function<bool()> ready, std::function<void()> action) {
        auto* timer = new QTimer(m_form.get());
        auto waited = std::make_shared<QElapsedTimer>();
        waited->start();
        QObject::connect(timer, &QTimer::timeout, timer, [timer, ready, action, waited] {
            const bool late = waited->elapsed() > 30000;
            if (!ready() && !late) return;
            timer->stop();
            if (late) ADD_FAILURE() << "the state the test waits for was not seen within 30 s";
            action();
        });
        timer->start(5);
    }

    std::unique_ptr<DemoPortals> m_portals;
};

}  // namespace korvex::test
