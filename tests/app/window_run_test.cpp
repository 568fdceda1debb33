// The refresh run, the balance menu and the account commands through the window, against substitute
// portals in this process.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTranslator>
#include <fstream>
#include <iterator>

#include "app/certificate_question.h"
#include "app/qt_translations.h"
#include "app/text_grid_model.h"
#include "checks/provider_profiles.h"
#include "settings/enc_dec.h"
#include "settings/settings_file.h"
#include "tests/app/portal_window_fixture.h"

namespace korvex::test {

TEST_F(PortalWindowTest, TheRunChecksOnlyRowsWhosePlanCodeIsOneOfTheNine) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"},
                             {"sps_petrova", "lEto2009", "sps"},
                             {"nobody", "x", ""},
                             {"sat_titova", "T1tova-SG", "SG"}});
    form.bbb111Click();

    const AccountBook& b = form.book();
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено"));
    EXPECT_EQ(form.JvXPProgressBar1->maximum(), 3);
    EXPECT_EQ(barPosition(form), std::make_pair(4, 4)) << "every row finished, passed over or not";
    for (int row : {0, 3}) {
        SCOPED_TRACE(row);
        EXPECT_FALSE(b.Stat.cell(kBalance, row).empty());
        EXPECT_NE(b.Stat.cell(kBalance, row), kNotFoundMarker);
        EXPECT_EQ(b.Stat.cell(kDate, row), "7/12/2026 09:05");
        EXPECT_EQ(b.Stat.cell(kStatPlanCode, row), b.client.cell(kPlanCode, row));
    }
    for (int row : {1, 2}) {
        SCOPED_TRACE(row);
        for (int col = kBalance; col < kStatCols; ++col) EXPECT_EQ(b.Stat.cell(col, row), "") << col;
    }
    EXPECT_EQ(m_portals->requests(PortalId::SpectrumSat).size(), 1u);
    EXPECT_EQ(m_portals->requests(PortalId::SatGate).size(), 1u);
    const std::vector<RowCheck>& checks = form.lastRun().rows;
    ASSERT_EQ(checks.size(), 4u);
    const CheckOutcome outcomes[] = {CheckOutcome::PageRead, CheckOutcome::PassedOver, CheckOutcome::PassedOver,
                                     CheckOutcome::PageRead};
    for (int row = 0; row < 4; ++row) EXPECT_EQ(checks[row].outcome, outcomes[row]) << row;

    // The run ends with the save.
    const AccountBook saved = savedBook(m_settings, 4);
    EXPECT_EQ(saved.Stat.cell(kBalance, 0), b.Stat.cell(kBalance, 0));
    EXPECT_EQ(saved.Stat.cell(kDate, 3), "7/12/2026 09:05");
    EXPECT_TRUE(form.but1->isEnabled());
    EXPECT_FALSE(form.JvXPButton2->isEnabled());
}

TEST_F(PortalWindowTest, RefreshingOneRowTwiceKeepsTheFirstBalanceAsThePreviousOne) {
    TForm1& form = openWith({{"sg75_orlov", "0rlov#75", "75"}});
    EXPECT_EQ(form.JvXPProgressBar1->maximum(), 0);
    auto account = *m_portals->account(PortalId::SpaceGate75, "sg75_orlov");
    account.balance = "10.00";
    m_portals->putAccount(PortalId::SpaceGate75, account);
    form.setCurrentCell(1, 0);
    form.N6Click();
    EXPECT_EQ(form.book().Stat.cell(kBalance, 0), "10.00");
    ASSERT_EQ(form.lastRun().rows.size(), 1u);
    EXPECT_EQ(form.lastRun().rows[0].outcome, CheckOutcome::PageRead);

    account.balance = "7.25";
    m_portals->putAccount(PortalId::SpaceGate75, account);
    form.bbb111Click();
    EXPECT_EQ(form.book().Stat.cell(kBalance, 0), "7.25");
    EXPECT_EQ(form.book().Stat.cell(kPrevious, 0), "10.00");
    EXPECT_EQ(form.JvXPProgressBar1->maximum(), 0);
    EXPECT_EQ(barPosition(form), std::make_pair(1, 1)) << "one account checked: a full bar";
}

// During the run the tray's tooltip counts the rows finished; after it, the summary takes it over.
// The progress bar ends where the caption's count stands.
TEST_F(PortalWindowTest, StopEndsARunStalledOnAPortalAndSavesWhatWasChecked) {
    TForm1& form = openWith({{"sat_titova", "T1tova-SG", "SG"},
                             {"sps_ivanov", "Qw3rty-71", "39"},
                             {"sat_grigoriev", "grig42", "42"}});
    m_portals->setStall(PortalId::SpectrumSat, true);
    QString trayDuringRun;
    QElapsedTimer waited;
    waited.start();
    whenReady(
        [&] {
            // The count and the row may follow by a moment; a window that never shows them is seen
            // after 5 s.
            const QModelIndexList selected = form.Stat->selectionModel()->selectedRows();
            return !m_portals->requests(PortalId::SpectrumSat).empty() &&
                   ((form.JvTrayIcon1->toolTip().contains(QStringLiteral("проверено 1 из 3")) &&
                     selected.size() == 1 && selected[0].row() == 1) ||
                    waited.elapsed() > 5000);
        },
        [&] {
            trayDuringRun = form.JvTrayIcon1->toolTip();
            EXPECT_TRUE(form.JvXPButton2->isEnabled());
            EXPECT_FALSE(form.but1->isEnabled());
            EXPECT_FALSE(form.client->isEnabled());
            // The row waiting for its portal is the one that shows as selected.
            const QModelIndexList selected = form.Stat->selectionModel()->selectedRows();
            form.JvXPButton2->click();
            EXPECT_EQ(selected.size(), 1);
            EXPECT_TRUE(!selected.isEmpty() && selected[0].row() == 1);
        });
    form.bbb111Click();  // returns once stopped

    const AccountBook& b = form.book();
    EXPECT_EQ(b.Stat.cell(kDate, 0), "7/12/2026 09:05");
    EXPECT_EQ(b.Stat.cell(kDate, 1), "");   // the stalled row: left as it was
    EXPECT_EQ(b.Stat.cell(kDate, 2), "");   // never reached
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление остановлено (проверено: 1 из 3)"));
    EXPECT_EQ(barPosition(form), std::make_pair(1, 3));
    EXPECT_EQ(trayDuringRun, QStringLiteral("Korvex  3.0\nОбновление: проверено 1 из 3"));
    EXPECT_EQ(form.JvTrayIcon1->toolTip(), QStringLiteral("Korvex  3.0")) << "nothing to name after the run";
    EXPECT_FALSE(form.statModel()->data(form.statModel()->index(1, 0), Qt::BackgroundRole).isValid())
        << "a stopped row was not checked, so it has not failed";
    EXPECT_TRUE(form.lastRun().stopped);
    ASSERT_EQ(form.lastRun().rows.size(), 2u);
    EXPECT_EQ(form.lastRun().rows[1].outcome, CheckOutcome::Stopped);
    EXPECT_TRUE(m_portals->requests(PortalId::SatGate).size() == 1u);
    EXPECT_EQ(savedBook(m_settings, 3).Stat.cell(kDate, 0), "7/12/2026 09:05");
    EXPECT_TRUE(form.but1->isEnabled());
    EXPECT_FALSE(form.transferRunning());
}

// Rows whose check failed are tinted, with the reason as their tooltip, until their next check;
// the caption says how many failed.
TEST_F(PortalWindowTest, FailedRowsAreMarkedUntilTheirNextCheckAndTheCaptionCountsThem) {
    const auto note = [this](int row) {
        return m_form->statModel()->data(m_form->statModel()->index(row, 3), Qt::ToolTipRole).toString();
    };
    const auto tinted = [this](int row) {
        return m_form->statModel()->data(m_form->statModel()->index(row, 1), Qt::BackgroundRole).isValid();
    };
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"},
                             {"sps_petrova", "wrong password", "SPS"},
                             {"nobody", "x", ""},
                             {"sat_titova", "T1tova-SG", "SG"}});
    form.bbb111Click();
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено (не найдено: 1 из 3)"));
    for (int row : {0, 2, 3}) EXPECT_FALSE(tinted(row)) << row;
    EXPECT_TRUE(tinted(1));
    EXPECT_EQ(note(1), QStringLiteral("Значения не найдены — неверный пароль или страница портала изменилась?"));

    // The right password: the next check of that row takes the mark away.
    form.book().client.setCell(kPassword, 1, "lEto2009");
    form.setCurrentCell(1, 1);
    form.N6Click();
    EXPECT_FALSE(tinted(1));
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено"));

    // No portal answers: every checked row says so, with the transfer's own words; the balances
    // stay as they were, as ever.
    m_portals.reset();
    form.bbb111Click();
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено (без ответа: 3 из 3)"));
    for (int row : {0, 1, 3}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(tinted(row));
        EXPECT_TRUE(note(row).startsWith(QStringLiteral("Портал не ответил: "))) << note(row).toStdString();
        EXPECT_GT(note(row).size(), 20);
        EXPECT_EQ(form.book().Stat.cell(kPrevious, row), form.book().Stat.cell(kBalance, row));
    }
    EXPECT_FALSE(tinted(2)) << "a row without a portal is passed over, not failed";

    // Moving rows takes the marks away rather than leave them on other accounts.
    form.setCurrentCell(0, 1);
    form.moveupClick();
    for (int row = 0; row < 4; ++row) EXPECT_FALSE(tinted(row)) << row;
}

// After a run the tray says what needs attention, and keeps the whole list in its tooltip until
// the next run; a run with nothing to say says nothing.
TEST_F(PortalWindowTest, AfterARunTheTraySaysWhatNeedsAttention) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}, {"sps_petrova", "lEto2009", "SPS"}});
    form.bbb111Click();
    ASSERT_EQ(m_trayMessages.size(), 1);
    EXPECT_TRUE(m_trayMessages[0].contains(QStringLiteral("Низкий баланс: sps_petrova (-3.80)")))
        << m_trayMessages[0].toStdString();
    EXPECT_TRUE(form.JvTrayIcon1->toolTip().startsWith(QStringLiteral("Korvex  3.0\nНизкий баланс: sps_petrova")))
        << form.JvTrayIcon1->toolTip().toStdString();

    m_portals->setRedesigned(PortalId::SpectrumSat, true);
    form.bbb111Click();
    ASSERT_EQ(m_trayMessages.size(), 2);
    EXPECT_TRUE(m_trayMessages[1].contains(QStringLiteral("Изменилась страница портала SpectrumSat")))
        << m_trayMessages[1].toStdString();

    m_portals->setRedesigned(PortalId::SpectrumSat, false);
    form.book().client.setCell(kPlanCode, 1, "");
    form.bbb111Click();
    EXPECT_EQ(m_trayMessages.size(), 2);
    EXPECT_EQ(form.JvTrayIcon1->toolTip(), QStringLiteral("Korvex  3.0"));
}

TEST_F(PortalWindowTest, ClosingTheWindowDuringARunStopsItSavesAndCloses) {
    TForm1& form = openWith({{"sat_titova", "T1tova-SG", "SG"}, {"sps_ivanov", "Qw3rty-71", "39"}});
    form.show();
    m_portals->setStall(PortalId::SpectrumSat, true);
    whenReady([&] { return !m_portals->requests(PortalId::SpectrumSat).empty(); }, [&] { form.close(); });
    form.bbb111Click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(savedBook(m_settings, 2).Stat.cell(kDate, 0), "7/12/2026 09:05");
}

// A close while a speed change or the news waits for a stalled server stops that transfer, and the
// window closes once it has ended (it used to stay open, so a signal or "Выход" was lost).
TEST_F(PortalWindowTest, ClosingTheWindowDuringASpeedChangeOrTheNewsClosesItOnceStopped) {
    const struct {
        const char* name;
        PortalId stalled;
        void (TForm1::*click)();
    } cases[] = {
        {"speed change", PortalId::SpectrumSat, &TForm1::N10241Click},
        {"news", PortalId::Publisher, &TForm1::NewsClick},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}});
        form.show();
        form.setCurrentCell(0, 0);
        m_portals->clearRequests();
        m_portals->setStall(c.stalled, true);
        whenReady([&] { return !m_portals->requests(c.stalled).empty(); }, [&] { form.close(); });
        (form.*c.click)();
        EXPECT_FALSE(form.transferRunning());
        EXPECT_FALSE(form.isVisible());
        m_portals->setStall(c.stalled, false);
        close();
    }
}

TEST_F(PortalWindowTest, ABadProxyPortEndsTheRunAtThatRowWithoutSaving) {
    TForm1& form = openWith({{"stv_alekseev", "stv-60", "60"}, {"sps_ivanov", "Qw3rty-71", "39"}});
    form.ButtonClick();
    const std::string before = fileText();
    form.JvCheckBox1->setChecked(true);
    form.JvEdit1->setText(QStringLiteral("127.0.0.1"));
    const struct {
        const char* port;
        const char* message;
    } cases[] = {
        {"80a", "'80a' is not a valid integer value"},
        {"70000", "'70000' is not a valid proxy port (0 to 65535)"},
        {"-1", "'-1' is not a valid proxy port (0 to 65535)"},
        {"80б", "'80б' is not a valid integer value"},  // typed text shown as typed, not as raw bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        m_errors.clear();
        form.JvEdit2->setText(QString::fromUtf8(c.port));
        form.bbb111Click();
        ASSERT_EQ(m_errors.size(), 1);
        EXPECT_EQ(m_errors[0], QString::fromUtf8(c.message));
        EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление..."));
        EXPECT_EQ(form.book().Stat.cell(kDate, 0), "7/12/2026 09:05");  // STV keeps the proxy it had
        EXPECT_TRUE(m_portals->requests(PortalId::SpectrumSat).empty());
        EXPECT_EQ(fileText(), before);
        EXPECT_TRUE(form.but1->isEnabled());
    }
}

TEST_F(PortalWindowTest, TheSpeedItemsFollowThePlanCodeOfTheClickedRow) {
    TForm1& form = openWith({{"a", "", "SF"}, {"b", "", "R"}, {"c", "", "39"}, {"d", "", "SG"}});
    form.PageControl1->setCurrentWidget(form.tab1);
    QAction* const items[] = {form.N641,   form.N1281,  form.N2561,  form.N5121, form.N10241,
                              form.N20481, form.N30721, form.N40961, form.N51201};
    const auto enabled = [&] {
        std::string e;
        for (QAction* a : items) e += a->isEnabled() ? '1' : '0';
        return e;
    };
    const int rowHeight = form.Stat->verticalHeader()->defaultSectionSize();
    const struct {
        int row;
        const char* expected;
    } cases[] = {{0, "001111000"}, {1, "000000000"}, {2, "111111111"}, {3, "011111000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        form.StatMouseDown(form.Stat->viewport(), Qt::RightButton, QPoint(30, c.row * rowHeight + 5));
        EXPECT_EQ(form.currentRow(), c.row);
        EXPECT_EQ(enabled(), c.expected);
        EXPECT_TRUE(form.N5->isEnabled());
        EXPECT_TRUE(form.N6->isEnabled());
        form.PopupMenu2->hide();
    }
    // Below the last row: no menu, and any other button only enables the nine items again.
    form.StatMouseDown(form.Stat->viewport(), Qt::RightButton, QPoint(30, 10 * rowHeight));
    EXPECT_EQ(form.currentRow(), -1);
    EXPECT_FALSE(form.PopupMenu2->isVisible());
    form.StatMouseDown(form.Stat->viewport(), Qt::LeftButton, QPoint(30, 5));
    EXPECT_EQ(enabled(), "111111111");
}

TEST_F(PortalWindowTest, ASpeedChangeAsksFirstThenPostsToTheAccountsOwnPortal) {
    TForm1& form = openWith({{"sg75_orlov", "0rlov#75", "SG75"}, {"", "", "PS"}});
    form.setCurrentCell(0, 0);
    m_answerYes = false;
    form.N10241Click();
    EXPECT_TRUE(m_portals->requests().empty());
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_EQ(m_questions[0], QStringLiteral("Confirm: Смена скорости на логине sg75_orlov на 1024 Кбит"));

    m_answerYes = true;
    form.N10241Click();
    const auto posts = m_portals->requests(PortalId::SpaceGate75);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].method, "POST");
    EXPECT_EQ(posts[0].target, "/speed/");
    EXPECT_EQ(posts[0].body, "S=5");
    EXPECT_EQ(posts[0].credentials, "sg75_orlov:0rlov#75");
    EXPECT_EQ(form.book().Stat.cell(kSpeed, 0), "1000.00");

    // An empty login shows nothing between the two fixed parts of the question.
    form.setCurrentCell(0, 1);
    m_answerYes = false;
    form.N641Click();
    EXPECT_EQ(m_questions.last(), QStringLiteral("Confirm: Смена скорости на логине  на 64 Кбит"));
}

TEST_F(PortalWindowTest, PersonalPagesAndPublisherLinksAskTheDesktopForTheirAddresses) {
    TForm1& form = openWith({{"a", "", "SG21"}, {"b", "", "15"}, {"c", "", "R"}, {"d", "", "75R"}});
    for (int row = 0; row < 4; ++row) {
        form.setCurrentCell(0, row);
        form.N5Click();
    }
    form.JvLabel5MouseUp();
    form.JvLabel8MouseUp();
    form.JvXPButton1->click();
    const std::string sg = m_portals->baseUrl(PortalId::SpaceGate15_21) + "/stats/";
    const std::string pub = m_portals->baseUrl(PortalId::Publisher);
    const std::vector<std::string> expected = {
        sg, sg, m_portals->baseUrl(PortalId::Raduga) + "/", pub + "/",
        pub + "/component/option,com_remository/Itemid,65/func,fileinfo/id,72/", pub + "/pay/"};
    EXPECT_EQ(m_opener->opened, expected);
    EXPECT_TRUE(m_portals->requests().empty());  // the program itself sends nothing
    EXPECT_EQ(form.JvLabel5->text(), QString::fromStdString(pub));
}

TEST_F(PortalWindowTest, NewsArrivesLineByLineAndAnUnreachablePublisherKeepsTheOldText) {
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}});
    form.bbb111Click();  // leaves an account's credentials on the component
    m_portals->setNews("\xCD\xEE\xE2\xEE\xF1\xF2\xE8\nline two\r\nline three");  // "Новости"
    m_portals->clearRequests();
    form.NewsClick();
    EXPECT_EQ(form.Memo2->toPlainText(), QStringLiteral("Новости\nline two\nline three"));
    const auto got = m_portals->requests(PortalId::Publisher);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].target, "/news.txt");
    EXPECT_EQ(got[0].credentials, "");

    m_portals->stop();
    form.NewsClick();
    EXPECT_EQ(form.Memo2->toPlainText(), QStringLiteral("Новости\nline two\nline three"));
    EXPECT_TRUE(m_errors.isEmpty());
}

// Portals that show another key than their pin get no request. After the run one question lists
// them all, with operator, address and both keys, each ticked; "Доверять" pins the new keys of the
// ticked ones only, "Не доверять" none. Their rows, the caption and the tray say what happened.
TEST_F(PortalWindowTest, ChangedCertificatesMakeOneQuestionAfterTheRunAndOnlyTickedOnesAreTrusted) {
    const std::string forged = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const std::string pinsPath = (m_dir / "Portals.pins").string();
    const PortalId changed[] = {PortalId::SpaceGate75, PortalId::SpectrumSat, PortalId::SatGate};
    std::vector<std::string> origins;
    for (PortalId id : changed) {
        origins.push_back(pinOrigin(m_portals->baseUrl(id)));
        ASSERT_EQ(PortalPins(pinsPath).setPin(origins.back(), forged), "");
    }
    std::ifstream pem(m_portals->certificatePath());
    const std::string portalKey = publicKeyPin(std::string(std::istreambuf_iterator<char>(pem), {}));
    ASSERT_FALSE(portalKey.empty());
    TForm1& form = openWith({{"sg75_orlov", "0rlov#75", "75"},
                             {"sps_ivanov", "Qw3rty-71", "39"},
                             {"sat_titova", "T1tova-SG", "SG"},
                             {"sps_petrova", "lEto2009", "SPS"},
                             {"r_smirnov", "Raduga#2024", "R"}});

    // Refused: one question, asked once every row is done; nothing pinned, nothing sent.
    std::vector<ChangedCertificate> listed;
    int rowsDoneWhenAsked = -1;
    m_certificateAnswer = [&](CertificateQuestion& question) {
        listed = question.portals();
        rowsDoneWhenAsked = static_cast<int>(form.lastRun().rows.size());
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(question.ticked(i)) << i;
        return int(QDialog::Rejected);
    };
    form.bbb111Click();
    EXPECT_EQ(m_certificateQuestions, 1);
    EXPECT_EQ(rowsDoneWhenAsked, 5);
    ASSERT_EQ(listed.size(), 3u);
    const QString operators[] = {QStringLiteral("SpaceGate 75"), QStringLiteral("SpectrumSat"), QStringLiteral("SatGate")};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& portal = listed[static_cast<std::size_t>(i)];
        EXPECT_EQ(portal.operatorName, operators[i]);
        EXPECT_EQ(portal.origin, QString::fromStdString(origins[static_cast<std::size_t>(i)]));
        EXPECT_EQ(portal.pinned, QString::fromStdString(forged));
        EXPECT_EQ(portal.presented, QString::fromStdString(portalKey));
        EXPECT_EQ(PortalPins(pinsPath).pinOf(origins[static_cast<std::size_t>(i)]), forged);
    }
    for (PortalId id : changed) EXPECT_TRUE(m_portals->requests(id).empty());
    EXPECT_EQ(form.but1->text(), QStringLiteral("Обновление завершено (сертификат изменился: 4 из 5)"));
    const auto note = [this](int row) {
        return m_form->statModel()->data(m_form->statModel()->index(row, 3), Qt::ToolTipRole).toString();
    };
    EXPECT_TRUE(note(0).startsWith(QStringLiteral("Сертификат портала изменился"))) << note(0).toStdString();
    ASSERT_FALSE(m_trayMessages.isEmpty());
    EXPECT_TRUE(m_trayMessages.last().contains(QStringLiteral("Сертификат портала SpectrumSat изменился")))
        << m_trayMessages.last().toStdString();
    EXPECT_FALSE(m_trayMessages.last().contains(QStringLiteral("Нет ответа"))) << m_trayMessages.last().toStdString();

    // Trusted with the second unticked: the first and third take the new key, the second keeps its pin.
    m_certificateAnswer = [](CertificateQuestion& question) {
        question.portalBox(1)->setChecked(false);
        EXPECT_TRUE(question.trustButton()->isEnabled());
        return int(QDialog::Accepted);
    };
    form.bbb111Click();
    EXPECT_EQ(m_certificateQuestions, 2);
    EXPECT_EQ(PortalPins(pinsPath).pinOf(origins[0]), portalKey);
    EXPECT_EQ(PortalPins(pinsPath).pinOf(origins[1]), forged);
    EXPECT_EQ(PortalPins(pinsPath).pinOf(origins[2]), portalKey);

    // The next run reaches the two trusted portals and asks about the one left.
    m_certificateAnswer = [&](CertificateQuestion& question) {
        listed = question.portals();
        return int(QDialog::Rejected);
    };
    form.bbb111Click();
    EXPECT_EQ(m_certificateQuestions, 3);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].operatorName, QStringLiteral("SpectrumSat"));
    EXPECT_EQ(m_portals->requests(PortalId::SpaceGate75).size(), 1u);
    EXPECT_EQ(m_portals->requests(PortalId::SpectrumSat).size(), 0u);
    EXPECT_EQ(form.book().Stat.cell(kDate, 0), "7/12/2026 09:05");
}

// A pin file that is there but cannot be read: no portal gets a request in the run, no row takes a
// value, and the window says why once, not once a row.
TEST_F(PortalWindowTest, AnUnreadablePinFileSendsNothingAndIsSaidOnce) {
    std::filesystem::create_directory(m_dir / "Portals.pins");
    TForm1& form = openWith({{"sps_ivanov", "Qw3rty-71", "39"}, {"sat_titova", "T1tova-SG", "SG"}});
    form.bbb111Click();
    EXPECT_TRUE(m_portals->requests().empty());
    for (int row : {0, 1}) EXPECT_EQ(form.book().Stat.cell(kDate, row), "") << row;
    ASSERT_EQ(m_errors.size(), 1) << m_errors.join("\n").toStdString();
    EXPECT_TRUE(m_errors[0].contains(QString::fromStdString((m_dir / "Portals.pins").string())));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "Portals.pins"));
}

// The box of the question itself: unticking every portal leaves nothing to trust.
TEST_F(PortalWindowTest, TheCertificateQuestionCannotTrustNothing) {
    CertificateQuestion question({{QStringLiteral("SKY-FI"), QStringLiteral("https://127.0.0.1:1"), QStringLiteral("a"),
                                   QStringLiteral("b")},
                                  {QString(), QStringLiteral("https://127.0.0.1:2"), QStringLiteral("c"),
                                   QStringLiteral("d")}});
    EXPECT_EQ(question.trustButton()->text(), QStringLiteral("Доверять"));
    EXPECT_EQ(question.refuseButton()->text(), QStringLiteral("Не доверять"));
    EXPECT_TRUE(question.portalBox(0)->text().startsWith(QStringLiteral("SKY-FI — https://127.0.0.1:1\n")));
    EXPECT_TRUE(question.portalBox(1)->text().startsWith(QStringLiteral("https://127.0.0.1:2\n")));
    question.portalBox(0)->setChecked(false);
    EXPECT_TRUE(question.trustButton()->isEnabled());
    question.portalBox(1)->setChecked(false);
    EXPECT_FALSE(question.trustButton()->isEnabled());
}

// Qt's own buttons speak Russian beside the window's Russian texts.
TEST_F(WindowTest, QtsStandardButtonsAreInRussian) {
    QTranslator* translator = loadQtTranslations(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr) << "Qt's translations (qt6-translations-l10n) are not installed";
    QMessageBox box(QMessageBox::Question, QStringLiteral("Korvex"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    const QString yes = box.button(QMessageBox::Yes)->text();
    const QString no = box.button(QMessageBox::No)->text();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(QString(yes).remove(QLatin1Char('&')), QStringLiteral("Да"));
    EXPECT_EQ(QString(no).remove(QLatin1Char('&')), QStringLiteral("Нет"));
}

}  // namespace korvex::test
