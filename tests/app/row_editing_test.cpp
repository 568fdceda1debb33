// Row commands from the account table's menu, acting on both tables and on the account count.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QHeaderView>

#include "settings/enc_dec.h"
#include "settings/settings_file.h"
#include "tests/app/window_fixture.h"

namespace korvex::test {

namespace {
std::string logins(const TextGrid& grid, int col) {
    std::string out;
    for (int r = 0; r < grid.rowCount(); ++r) out += (r ? "," : "") + grid.cell(col, r);
    return out;
}

void fill(TForm1& form, const std::vector<std::string>& names) {
    form.clients->setValue(static_cast<int>(names.size()));
    for (size_t r = 0; r < names.size(); ++r) {
        form.book().client.setCell(kLogin, static_cast<int>(r), names[r]);
        form.book().Stat.setCell(kBalance, static_cast<int>(r), "b-" + names[r]);
    }
    form.book().syncDerivedColumns();
}
}  // namespace

TEST_F(WindowTest, InsertAndDeleteMoveTheAccountCountSoNoRowIsLeftBeyondIt) {
    TForm1& form = open();
    fill(form, {"a", "b", "c", "d", "e"});
    form.setCurrentCell(0, 2);
    form.addrowClick();
    EXPECT_EQ(form.book().clients, 6);
    EXPECT_EQ(form.clients->value(), 6);
    EXPECT_EQ(logins(form.book().client, kLogin), "a,b, ,c,d,e");
    EXPECT_EQ(logins(form.book().Stat, kBalance), "b-a,b-b, ,b-c,b-d,b-e");

    form.setCurrentCell(0, 0);
    form.delrowClick();
    EXPECT_EQ(form.book().clients, 5);
    EXPECT_EQ(logins(form.book().client, kLogin), "b, ,c,d,e");
    EXPECT_EQ(logins(form.book().Stat, kBalance), "b-b, ,b-c,b-d,b-e");
    EXPECT_EQ(form.client->model()->rowCount(), 5);
}

TEST_F(WindowTest, MovesAndSortActOnBothTablesAndKeepTheFirstRow) {
    TForm1& form = open();
    fill(form, {"zeta", "beta", "Beta", "\xE0\xEB\xFC\xF4\xE0", "be"});  // "альфа"
    form.setCurrentCell(0, 0);
    form.movedownClick();  // row 0 cannot be moved
    EXPECT_EQ(logins(form.book().client, kLogin), "zeta,beta,Beta,\xE0\xEB\xFC\xF4\xE0,be");
    form.setCurrentCell(0, 1);
    form.moveupClick();
    EXPECT_EQ(logins(form.book().client, kLogin), "beta,zeta,Beta,\xE0\xEB\xFC\xF4\xE0,be");
    EXPECT_EQ(logins(form.book().Stat, kBalance), "b-beta,b-zeta,b-Beta,b-\xE0\xEB\xFC\xF4\xE0,b-be");

    form.setCurrentCell(0, 3);
    form.sortClick();
    EXPECT_EQ(logins(form.book().client, kLogin), "beta,Beta,be,zeta,\xE0\xEB\xFC\xF4\xE0");
    EXPECT_EQ(logins(form.book().Stat, kBalance), "b-beta,b-Beta,b-be,b-zeta,b-\xE0\xEB\xFC\xF4\xE0");
}

TEST_F(WindowTest, AnInsertAtTheLimitAndADeleteOfTheOnlyRow) {
    TForm1& form = open();
    form.setCurrentCell(0, 0);
    form.book().client.setCell(kLogin, 0, "only");
    form.delrowClick();
    EXPECT_EQ(form.book().clients, 1);
    EXPECT_EQ(form.book().client.rowCount(), 1);
    EXPECT_EQ(form.book().client.cell(kLogin, 0), "");

    form.clients->setValue(500);
    form.setCurrentCell(0, 499);
    form.addrowClick();  // beeps, changes nothing
    EXPECT_EQ(form.book().clients, 500);
    EXPECT_EQ(form.book().client.rowCount(), 500);

    form.setCurrentCell(0, 600);
    form.delrowClick();  // beeps
    EXPECT_EQ(form.book().clients, 500);
}

TEST_F(WindowTest, ARowAddedTypedAndSavedIsThereAfterARestart) {
    TForm1& form = open();
    form.book().client.setCell(kLogin, 0, "first");
    form.setCurrentCell(0, 1);
    form.addrowClick();  // at the end
    auto* model = form.client->model();
    model->setData(model->index(1, 0), QStringLiteral("новый"), Qt::EditRole);
    model->setData(model->index(1, 2), QStringLiteral("GL"), Qt::EditRole);
    form.PageControl1->setCurrentWidget(form.tab1);
    EXPECT_EQ(form.book().Stat.cell(kStatLogin, 1), "\xED\xEE\xE2\xFB\xE9");
    form.ButtonClick();
    close();

    TForm1& again = open();
    ASSERT_EQ(again.book().clients, 2);
    EXPECT_EQ(again.book().client.cell(kLogin, 1), "\xED\xEE\xE2\xFB\xE9");
    EXPECT_EQ(again.book().client.cell(kPlanCode, 1), "GL");
}

TEST_F(WindowTest, ARightClickOnTheAccountTableOrItsHeaderPicksTheCellUnderIt) {
    TForm1& form = open();
    fill(form, {"a", "b", "c"});
    const int rowHeight = form.client->verticalHeader()->defaultSectionSize();
    form.clientMouseDown(form.client->viewport(), Qt::RightButton, QPoint(100, rowHeight * 2 + 3));
    EXPECT_EQ(form.currentRow(), 2);
    EXPECT_EQ(form.currentCol(), 1);
    EXPECT_TRUE(form.JvPopupMenu1->isVisible());
    form.JvPopupMenu1->hide();

    form.clientMouseDown(form.client->horizontalHeader(), Qt::RightButton, QPoint(10, 5));
    EXPECT_EQ(form.currentRow(), 0);  // header coordinates taken as the table's
    form.JvPopupMenu1->hide();

    form.clientMouseDown(form.client->viewport(), Qt::RightButton, QPoint(10, rowHeight * 10));
    EXPECT_EQ(form.currentRow(), -1);
    EXPECT_FALSE(form.JvPopupMenu1->isVisible());
}

// A deleted account leaves the file with the next save: the row that fell off the end is written
// empty, while rows that were never within this session's count keep what they hold.
TEST_F(WindowTest, ADeletedAccountsLoginAndPasswordLeaveTheFile) {
    {
        TForm1& form = open();
        fill(form, {"anna", "boris", "clara", "dmitri"});
        for (int r = 0; r < 4; ++r) form.book().client.setCell(kPassword, r, "pw-" + form.book().client.cell(kLogin, r));
        form.ButtonClick();
        form.clients->setValue(3);  // dmitri stays in the file beyond the count
        form.ButtonClick();
        close();
    }
    TForm1& form = open();
    ASSERT_EQ(form.book().clients, 3);
    form.setCurrentCell(0, 1);
    form.delrowClick();
    ASSERT_EQ(form.book().clients, 2);

    form.ButtonClick();

    const std::string text = fileText();
    for (const char* gone : {"boris", "pw-boris"})
        EXPECT_EQ(text.find("=" + encode(gone) + "\r\n"), std::string::npos) << gone;
    EXPECT_NE(text.find("\r\nLogin_2=\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPassword_2=\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nBalans_2=\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nLogin_3=" + encode("dmitri") + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPassword_3=" + encode("pw-dmitri") + "\r\n"), std::string::npos);

    // Raising the count shows the emptied row, and the row beyond the old count as it was.
    form.clients->setValue(4);
    EXPECT_EQ(logins(form.book().client, kLogin), "anna,clara,,dmitri");

    // A reload before a save undoes the delete with every other unsaved edit, and loses nothing.
    form.setCurrentCell(0, 0);
    form.delrowClick();
    form.clients->setValue(4);
    form.ButtonClick();
    EXPECT_EQ(logins(form.book().client, kLogin), "anna,clara,,dmitri");
    EXPECT_NE(fileText().find("\r\nLogin_1=" + encode("clara") + "\r\n"), std::string::npos);
}

}  // namespace korvex::test
