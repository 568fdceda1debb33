// The update component's windows, offscreen: the wizard's layouts and pages, the abort question,
// the upgrade question and the password window, the boxes by flag.
#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/up_qt_user_interface.h"
#include "app/up_updater_password.h"
#include "app/up_updater_upgrade_msg.h"
#include "app/up_updater_wizard.h"
#include "update/texts/language.h"

using namespace korvex;

namespace {

struct RecordingListener : TupWizardListener {
    int finished = 0;
    int aborted = 0;
    void wizardFinished() override { ++finished; }
    void wizardAbortConfirmed() override { ++aborted; }
};

void settle(int ms = 50) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs `act` on the first modal window of type W that appears (polled from the event loop, so it
// works from inside the exec() of the window itself).
template <class W>
void whenModal(std::function<void(W*)> act) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, act, started] {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (started->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    timer->start(10);
}

class UpdateDialogs : public ::testing::Test {
protected:
    void SetUp() override { upSetLanguage(TupUpdaterLanguage::wlEnglish); }
    void TearDown() override {
        ui.closeWizard();
        settle(20);
        upSetLanguage(TupUpdaterLanguage::wlAuto);
    }
    UpWizardOptions options(bool hideFileLocation) {
        UpWizardOptions o;
        o.applicationTitle = "Korvex 3.0";
        o.hideFileLocation = hideFileLocation;
        return o;
    }
    TupQtUserInterface ui;
    RecordingListener listener;
};

}  // namespace

TEST_F(UpdateDialogs, HideFileLocationMovesTheCurrentFileGroup) {
    struct Case {
        bool hide;
        QRect group;
        int fileSizeTop, rateTop, estimateTop, barTop;
        bool urlShown;
    };
    const Case cases[] = {
        {false, QRect(136, 34, 319, 125), 44, 60, 76, 96, true},
        {true, QRect(136, 44, 319, 95), 14, 30, 46, 66, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hide ? "hidden location" : "shown location");
        // Opened twice: the second opening takes the same window and moves nothing further.
        ui.showWizard(options(c.hide), listener);
        ui.showWizard(options(c.hide), listener);
        auto* w = TupUpdaterWizardForm::instance();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->LCurrentFile->geometry(), c.group);
        EXPECT_EQ(w->LFileSize->y(), c.fileSizeTop);
        EXPECT_EQ(w->LTransferRate->y(), c.rateTop);
        EXPECT_EQ(w->LEstimatedTime->y(), c.estimateTop);
        EXPECT_EQ(w->ProgressCurrentFile->y(), c.barTop);
        EXPECT_EQ(w->FileURL->isVisible(), c.urlShown);
        EXPECT_EQ(w->LDownloadingFileFrom->isVisible(), c.urlShown);
        EXPECT_EQ(w->size(), QSize(463, 281));
        EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
        ui.closeWizard();
        settle(20);
        EXPECT_FALSE(ui.isWizardOpen());
    }
}

// The wizard is shown without a loop of its own; the download's notifications arrive from the event
// loop (here timers standing in for the engine) and each one shows at once.
TEST_F(UpdateDialogs, WizardFollowsTheNotificationsOfADownload) {
    ui.showWizard(options(true), listener);
    auto* w = TupUpdaterWizardForm::instance();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isModal());
    EXPECT_EQ(w->WizardTitle->text(), "Downloading files...");
    EXPECT_EQ(w->LEstimatedTime->text(), "Preparing. . .");
    EXPECT_EQ(w->LCurrentFile->title(), " Current file ");
    EXPECT_EQ(w->FinishBtn->text(), "&Next >");
    EXPECT_FALSE(w->FinishBtn->isEnabled());
    EXPECT_TRUE(w->CancelBtn->isDefault());

    int step = 0;
    QTimer engine;
    QObject::connect(&engine, &QTimer::timeout, [&] {
        switch (step++) {
            case 0:
                ui.wizardFile("http://publisher.invalid/korvex", 1, 2);
                break;
            case 1:
                ui.wizardFileStart(1536);
                break;
            case 2:
                ui.wizardProgress(40, 20, 12.26, 3725);
                break;
            default:
                engine.stop();
        }
    });
    engine.start(5);
    settle(200);
    EXPECT_EQ(w->FileURL->text(), "http://publisher.invalid/korvex");
    EXPECT_EQ(w->AllDownloading->text(), "Downloading 1 of 2");
    EXPECT_TRUE(w->LFileSize->text() == "File size: 1.5 Kb" || w->LFileSize->text() == "File size: 1,5 Kb");
    EXPECT_EQ(w->LEstimatedTime->text(), "Estimated time left: 1:02:05");
    EXPECT_EQ(w->ProgressCurrentFile->value(), 40);
    EXPECT_EQ(w->ProgressAllFiles->value(), 20);
}

TEST_F(UpdateDialogs, FinishPageAndFinishButton) {
    ui.showWizard(options(true), listener);
    ui.wizardFinishPage();
    auto* w = TupUpdaterWizardForm::instance();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->WizardTitle->text(), "Upgrade completed!");
    EXPECT_EQ(w->AfterNote->text(),
              "The update of Korvex 3.0 has been successfully completed.\n\nPress the OK button to restart "
              "program.");
    EXPECT_GT(w->AfterNote->height(), 30);  // sized to its three lines
    EXPECT_FALSE(w->LCurrentFile->isVisible());
    EXPECT_FALSE(w->LAllFiles->isVisible());
    EXPECT_FALSE(w->CancelBtn->isEnabled());
    EXPECT_TRUE(w->FinishBtn->isEnabled());
    EXPECT_EQ(w->FinishBtn->text(), "&OK");
    w->FinishBtn->click();
    EXPECT_FALSE(ui.isWizardOpen());
    EXPECT_EQ(listener.finished, 1);
    EXPECT_EQ(listener.aborted, 0);
}

// On the finish page the upgrade is complete: the close box and Escape finish as "OK" does, with no
// question whether to abort it.
TEST_F(UpdateDialogs, ClosingTheFinishPageFinishes) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "the close box");
        RecordingListener finishing;
        ui.showWizard(options(true), finishing);
        ui.wizardFinishPage();
        auto* w = TupUpdaterWizardForm::instance();
        ASSERT_NE(w, nullptr);
        bool asked = false;
        QTimer::singleShot(100, [&] {
            if (auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = true;
                question->button(QMessageBox::No)->click();
            }
        });
        if (escape)
            static_cast<QDialog*>(w)->reject();  // what Escape calls
        else
            w->close();
        settle(200);
        EXPECT_FALSE(asked);
        EXPECT_FALSE(ui.isWizardOpen());
        EXPECT_EQ(finishing.finished, 1);
        EXPECT_EQ(finishing.aborted, 0);
    }
}

TEST_F(UpdateDialogs, CancelAsksAndOnlyYesAborts) {
    ui.showWizard(options(true), listener);
    auto* w = TupUpdaterWizardForm::instance();
    ASSERT_NE(w, nullptr);

    QString caption, text;
    whenModal<QMessageBox>([&](QMessageBox* question) {
        caption = question->windowTitle();
        text = question->text();
        question->button(QMessageBox::No)->click();
    });
    w->CancelBtn->click();
    settle(200);
    EXPECT_EQ(caption, "Korvex 3.0");
    EXPECT_EQ(text, "The update is not completed.\nWould you like to abort upgrading?");
    EXPECT_TRUE(ui.isWizardOpen());
    EXPECT_EQ(listener.aborted, 0);

    whenModal<QMessageBox>([](QMessageBox* question) { question->button(QMessageBox::Yes)->click(); });
    w->close();  // the close box and Alt+F4 ask the same
    settle(200);
    EXPECT_FALSE(ui.isWizardOpen());
    EXPECT_EQ(listener.aborted, 1);
    EXPECT_EQ(listener.finished, 0);
}

// The component closes the wizard (host unreachable, say) while the abort question is open: the
// question goes with it and nothing is reported back.
TEST_F(UpdateDialogs, ClosedByTheComponentWhileAsking) {
    ui.showWizard(options(false), listener);
    bool asked = false;
    whenModal<QMessageBox>([&](QMessageBox*) {
        asked = true;
        ui.closeWizard();
    });
    TupUpdaterWizardForm::instance()->CancelBtn->click();
    settle(200);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(ui.isWizardOpen());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(listener.aborted + listener.finished, 0);
}

TEST_F(UpdateDialogs, UpgradeQuestion) {
    struct Case {
        std::string message;
        QString label;
        bool clickYes;
    };
    const Case cases[] = {
        {"",
         "A newer version of Korvex 3.0 was released.\n\nDo you want to update your version with the latest "
         "one?",
         true},
        {"<b>1.5</b>",
         "A newer version of Korvex 3.0 was released.\n\n<b>1.5</b>\n\nDo you want to update your "
         "version with the latest one?",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        QString label;
        QSize size;
        int labelBottom = 0;
        whenModal<TupUpdaterUpgradeMessageForm>([&](TupUpdaterUpgradeMessageForm* form) {
            label = form->Label1->text();
            size = form->size();
            labelBottom = form->Label1->geometry().bottom() + 1;
            EXPECT_EQ(form->Label1->textFormat(), Qt::PlainText);
            EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_EQ(form->YesBtn->text(), "&Yes");
            EXPECT_EQ(form->LaterBtn->text(), "&Later");
            // A second question while this one is open is answered Later without a second window.
            EXPECT_FALSE(TupUpdaterUpgradeMessageForm::ask({"Korvex 3.0", ""}));
            (c.clickYes ? form->YesBtn : form->LaterBtn)->click();
        });
        EXPECT_EQ(ui.askUpgrade({"Korvex 3.0", c.message}), c.clickYes);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(size.width(), 318);
        EXPECT_EQ(size.height(), labelBottom + 45);
        EXPECT_EQ(TupUpdaterUpgradeMessageForm::instance(), nullptr);
    }
    whenModal<TupUpdaterUpgradeMessageForm>([](TupUpdaterUpgradeMessageForm* form) { form->close(); });
    EXPECT_FALSE(ui.askUpgrade({"Korvex 3.0", ""}));  // the close box counts as Later
}

TEST_F(UpdateDialogs, PasswordWindow) {
    whenModal<TupUpdaterPasswordForm>([](TupUpdaterPasswordForm* form) {
        EXPECT_EQ(form->windowTitle(), "Enter password");
        EXPECT_EQ(form->UsernameEdit->text(), "client");
        EXPECT_TRUE(
            form->Label1->text().startsWith("Access to remote file \"korvex\" is password protected."));
        EXPECT_EQ(form->PasswordEdit->echoMode(), QLineEdit::Password);
        form->UsernameEdit->setText("subscriber");
        form->PasswordEdit->setText("s3cret");
        form->OKBtn->click();
    });
    const auto credentials = ui.askPassword({"korvex", "client"});
    ASSERT_TRUE(credentials.has_value());
    EXPECT_EQ(credentials->userName, "subscriber");
    EXPECT_EQ(credentials->password, "s3cret");

    whenModal<TupUpdaterPasswordForm>([](TupUpdaterPasswordForm* form) {
        form->PasswordEdit->setText("typed");
        form->CancelBtn->click();
    });
    EXPECT_FALSE(ui.askPassword({"korvex", ""}).has_value());
    whenModal<TupUpdaterPasswordForm>([](TupUpdaterPasswordForm* form) { form->close(); });
    EXPECT_FALSE(ui.askPassword({"korvex", ""}).has_value());  // the close box counts as Cancel
}

TEST_F(UpdateDialogs, BoxesByFlagInTheDialogLanguage) {
    upSetLanguage(TupUpdaterLanguage::wlRussian);
    struct Case {
        UpMessageBox box;
        QString caption;
        QMessageBox::Icon icon;
        bool yes;       // the button pressed is Yes (where there is one)
        bool expected;  // what showMessage answers
    };
    using F = TupUpdaterShowMessage;
    const Case cases[] = {
        {{F::mLostFile, "", "korvex", 404, ""}, "Ошибка #404", QMessageBox::Warning, true, true},
        {{F::mLostFile, "", "korvex", 403, ""}, "Ошибка #403", QMessageBox::Warning, false, false},
        {{F::mConnLost, "", "", 0, ""}, "Мастер обновления приложений", QMessageBox::Critical, false, false},
        {{F::mNoUpdateAvailable, "", "", 0, ""},
         "Мастер обновления приложений",
         QMessageBox::Information,
         false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption.toStdString());
        whenModal<QMessageBox>([&c](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), c.caption);
            EXPECT_EQ(box->icon(), c.icon);
            if (box->button(QMessageBox::Yes)) {
                EXPECT_EQ(box->button(QMessageBox::Yes)->text(), "&Да");
                box->button(c.yes ? QMessageBox::Yes : QMessageBox::No)->click();
            } else {
                EXPECT_EQ(box->button(QMessageBox::Ok)->text(), "&OK");
                box->button(QMessageBox::Ok)->click();
            }
        });
        EXPECT_EQ(ui.showMessage(c.box), c.expected);
    }
}
