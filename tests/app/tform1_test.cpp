#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>

#include "app/text_grid_model.h"
#include "settings/enc_dec.h"
#include "settings/settings_file.h"
#include "settings/ini_file.h"
#include "tests/app/window_fixture.h"

namespace korvex::test {

namespace {
QString heading(TextGridModel* model, int col) {
    return model->headerData(col, Qt::Horizontal, Qt::DisplayRole).toString();
}
}  // namespace

TEST_F(WindowTest, FirstStartCreatesTheFileAndShowsTheLongPlanHeading) {
    TForm1& form = open();
    EXPECT_TRUE(std::filesystem::exists(m_settings));
    EXPECT_EQ(form.book().clients, 1);
    EXPECT_EQ(form.client->model()->rowCount(), 1);
    EXPECT_EQ(form.Stat->model()->rowCount(), 1);
    EXPECT_EQ(heading(form.clientModel(), 2), QStringLiteral("39/42/5/40/53/GL/15/21/75/39S/75R/40R/5R/53R/90R"));
    EXPECT_EQ(heading(form.statModel(), 7), QStringLiteral("Спутник"));
    EXPECT_EQ(form.PageControl1->currentWidget(), form.tab2);
    EXPECT_EQ(form.PageControl1->tabText(0), QStringLiteral("Балансы"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Korvex  3.0"));
    EXPECT_TRUE(m_errors.isEmpty());

    close();
    TForm1& again = open();
    EXPECT_EQ(heading(again.clientModel(), 2), QStringLiteral("39/42/5/40/53/GL/15/21/75/39S/R"));
}

TEST_F(WindowTest, TypedCyrillicIsKeptAsCp1251AndSurvivesARestart) {
    TForm1& form = open();
    form.clients->setValue(2);
    form.client->model()->setData(form.client->model()->index(1, 3), QStringLiteral("Иванов Ёж"), Qt::EditRole);
    form.client->model()->setData(form.client->model()->index(1, 0), QStringLiteral("user€"), Qt::EditRole);
    EXPECT_EQ(form.book().client.cell(kHolder, 1), "\xC8\xE2\xE0\xED\xEE\xE2 \xA8\xE6");
    close();

    TForm1& again = open();
    ASSERT_EQ(again.book().clients, 2);
    EXPECT_EQ(again.client->model()->data(again.client->model()->index(1, 3), Qt::DisplayRole).toString(),
              QStringLiteral("Иванов Ёж"));
    EXPECT_EQ(again.book().client.cell(kLogin, 1), "user\x88");
    // The balance table's login column is filled at load, the holder column only at a tab change.
    EXPECT_EQ(again.book().Stat.cell(kStatLogin, 1), "user\x88");
    EXPECT_EQ(again.book().Stat.cell(kStatHolder, 1), "");
    again.PageControl1->setCurrentWidget(again.tab1);
    EXPECT_EQ(again.book().Stat.cell(kStatHolder, 1), "\xC8\xE2\xE0\xED\xEE\xE2 \xA8\xE6");
}

TEST_F(WindowTest, CountThreeWithTwoStoredRowsGivesAnEmptyThirdRow) {
    std::ofstream(m_settings, std::ios::binary)
        << "[AUTHENTICATION]\r\nCount=" << encode("3") << "\r\nLogin_0=" << encode("a") << "\r\nLogin_1="
        << encode("b") << "\r\n[DATA]\r\nBalans_1=" << encode("12.50") << "\r\n";

    TForm1& form = open();
    EXPECT_EQ(form.book().clients, 3);
    EXPECT_EQ(form.client->model()->rowCount(), 3);
    EXPECT_EQ(form.Stat->model()->rowCount(), 3);
    EXPECT_EQ(form.book().client.cell(kLogin, 1), "b");
    EXPECT_EQ(form.book().Stat.cell(kBalance, 1), "12.50");
    EXPECT_EQ(form.book().client.cell(kLogin, 2), "");
    EXPECT_EQ(form.JvXPProgressBar1->maximum(), 2);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(WindowTest, ProxyEditsAreReadAtStartAndSavedOnClose) {
    TForm1& form = open();
    form.JvCheckBox1->setChecked(true);
    form.JvEdit1->setText(QStringLiteral("127.0.0.1"));
    form.JvEdit2->setText(QStringLiteral("8080"));
    close();
    const StartupValues start = readStartup(m_settings);
    EXPECT_TRUE(start.proxy.enabled);
    EXPECT_EQ(start.proxy.address, "127.0.0.1");
    EXPECT_EQ(start.proxy.port, "8080");

    TForm1& again = open();
    EXPECT_TRUE(again.JvCheckBox1->isChecked());
    EXPECT_EQ(again.JvEdit2->text(), QStringLiteral("8080"));
}

// A settings file the window cannot read is said once, in Russian, and nothing is written over it:
// not by a save, nor by a change of the refresh settings, nor when the window closes.
TEST_F(WindowTest, AFileItCannotReadIsSaidOnceAndKeptByteForByte) {
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("[AUTHENTICATION]\r\nCount=1\r\n")) utf16 += std::string(1, c) + '\0';
    const struct {
        const char* name;
        std::string bytes;  // "/": a folder
        QString said;
    } cases[] = {
        {"UTF-16", utf16, QStringLiteral("текст в UTF-16")},
        {"notes", "my accounts\n", QStringLiteral("нет ни одного раздела")},
        {"a folder", "/", QStringLiteral("папка")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_settings);
        if (c.bytes == "/")
            std::filesystem::create_directory(m_settings);
        else
            std::ofstream(m_settings, std::ios::binary) << c.bytes;
        m_errors.clear();
        TForm1& form = open();
        ASSERT_EQ(m_errors.size(), 1);
        EXPECT_TRUE(m_errors[0].contains(c.said)) << m_errors[0].toStdString();
        EXPECT_TRUE(m_errors[0].contains(QStringLiteral("без сохранения")));
        EXPECT_TRUE(form.savingOff());
        form.book().client.setCell(kLogin, 0, "typed");
        form.ButtonClick();
        form.RefreshJobs->setValue(3);
        close();
        EXPECT_EQ(m_errors.size(), 1);
        if (c.bytes != "/") {
            EXPECT_EQ(fileText(), c.bytes);
        }
    }
}

// More than 500 accounts: 500 are shown, the rest named once at start and kept by the save at close.
TEST_F(WindowTest, RowsBeyondFiveHundredAreSaidOnceAndKept) {
    AccountBook book;
    book.setCount(kMaxAccounts);
    zapis(book, {}, m_settings);
    IniFile ini;
    ASSERT_EQ(ini.load(m_settings), IniFile::LoadStatus::Loaded);
    ini.setValue(kAuthSection, "Login_" + std::to_string(kMaxAccounts + 6), "x");
    ASSERT_FALSE(ini.save(m_settings));
    const std::string before = fileText();
    TForm1& form = open();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("(их 1) не загружены"))) << m_errors[0].toStdString();
    EXPECT_EQ(form.client->model()->rowCount(), kMaxAccounts);
    close();
    EXPECT_NE(fileText().find("Login_506=x\r\n"), std::string::npos);
}

TEST_F(WindowTest, AnUnwritableFolderIsReportedOnceAndTheWindowStillOpens) {
    m_settings = (m_dir / "missing" / "Settings.ini").string();  // even root cannot write there
    TForm1& form = open();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors[0], QString::fromStdString("Unable to write to " + m_settings +
                                                  ": making a temporary file beside it: No such file or directory"));
    EXPECT_EQ(form.client->model()->rowCount(), 1);
}

}  // namespace korvex::test

namespace korvex::test {

// The window keeps its size; its columns are divided so that headings and check times show whole.
TEST_F(WindowTest, HeadingsAndCheckTimesShowWholeAndDraggedWidthsStay) {
    for (bool firstStart : {true, false}) {
        SCOPED_TRACE(firstStart ? "first start" : "second start");
        TForm1& form = open();
        form.show();
        for (QTableView* view : {form.Stat, form.client}) {
            SCOPED_TRACE(view->objectName().toStdString());
            view->parentWidget()->show();
            int total = 0;
            for (int c = 0; c < view->model()->columnCount(); ++c) {
                EXPECT_GE(view->columnWidth(c), view->horizontalHeader()->sectionSizeHint(c)) << c;
                total += view->columnWidth(c);
            }
            EXPECT_LE(total, view->viewport()->width());
        }
        const int stamp = form.Stat->fontMetrics().horizontalAdvance(QStringLiteral("12/31/2026 23:59"));
        EXPECT_GE(form.Stat->columnWidth(kDate), stamp + 6);
        close();
    }

    TForm1& form = open();
    form.Stat->horizontalHeader()->resizeSection(kStatHolder, 77);
    form.PageControl1->setCurrentWidget(form.tab1);
    form.clients->setValue(3);
    EXPECT_EQ(form.Stat->columnWidth(kStatHolder), 77);
}

TEST_F(WindowTest, TheHelpTextReadsInNormalColours) {
    TForm1& form = open();
    EXPECT_TRUE(form.JvMemo1->isEnabled());
    EXPECT_TRUE(form.JvMemo1->isReadOnly());
}

// A count that is no number loads one account; the window says so, and how many the file holds.
TEST_F(WindowTest, ACountThatIsNoNumberIsSaidWithTheAccountsTheFileHolds) {
    std::ofstream out(m_settings, std::ios::binary);
    out << "[AUTHENTICATION]\r\nCount=" << encode("abc") << "\r\n";
    for (int r = 0; r < 31; ++r) out << "Login_" << r << "=" << encode("user" + std::to_string(r)) << "\r\n";
    out.close();
    TForm1& form = open();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("Count=abc"))) << m_errors[0].toStdString();
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("в файле их: 31"))) << m_errors[0].toStdString();
    EXPECT_EQ(form.book().clients, 1);

    // Set again, the count brings every account back.
    form.clients->setValue(31);
    EXPECT_EQ(form.book().client.cell(kLogin, 30), "user30");
}

TEST_F(WindowTest, ABadProxyPortInTheFileIsShownAtStartAndTheWindowStillOpens) {
    std::ofstream(m_settings, std::ios::binary)
        << "[AUTHENTICATION]\r\nCount=" << encode("1") << "\r\nProxy=" << encode("-1") << "\r\nAdress="
        << encode("127.0.0.1") << "\r\nPort=" << encode("80a") << "\r\n";
    TForm1& form = open();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors[0], QStringLiteral("'80a' is not a valid integer value"));
    EXPECT_EQ(form.Curl1.Proxy(), "127.0.0.1");  // what came before the port stays applied
    EXPECT_TRUE(form.Curl1.SslVerifyPeer());      // what comes after it was not reached
    EXPECT_EQ(form.JvEdit2->text(), QStringLiteral("80a"));
}

TEST_F(WindowTest, ATabChangeCutsBothTablesToTheCountAndCopiesLoginAndHolder) {
    TForm1& form = open();
    form.clients->setValue(2);
    form.book().client.setRowCount(4);  // rows left beyond the count by some earlier edit
    form.book().Stat.setRowCount(4);
    form.book().client.setCell(kHolder, 1, "holder");
    form.PageControl1->setCurrentWidget(form.tab1);
    EXPECT_EQ(form.book().client.rowCount(), 2);
    EXPECT_EQ(form.Stat->model()->rowCount(), 2);
    EXPECT_EQ(form.book().Stat.cell(kStatHolder, 1), "holder");
}

}  // namespace korvex::test

namespace korvex::test {

namespace {
// Types `text` into the account count field over what it shows, as keystrokes, then leaves the field
// with Enter or by losing the focus.
void typeCount(QSpinBox* field, const QString& text, bool enter) {
    field->selectAll();
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(field, &del);
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(field, &press);
    }
    if (enter) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(field, &press);
    } else {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(field, &out);
    }
}
}  // namespace

TEST_F(WindowTest, TheAccountCountFieldBringsWhatIsTypedIntoRange) {
    TForm1& form = open();
    const struct {
        const char* typed;
        int count;
    } cases[] = {{"600", 500}, {"0", 1}, {"", 1}, {"abc", 1}, {"-7", 1}, {"42", 42}, {"99999999999", 500}};
    for (bool enter : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.typed) + (enter ? " Enter" : " leave"));
            form.clients->setValue(3);
            typeCount(form.clients, QString::fromLatin1(c.typed), enter);
            EXPECT_EQ(form.clients->value(), c.count);
            EXPECT_EQ(form.clients->text(), QString::number(c.count));
            EXPECT_EQ(form.book().clients, c.count);
            EXPECT_EQ(form.client->model()->rowCount(), c.count);
        }
    }
}

}  // namespace korvex::test
