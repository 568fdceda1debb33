// Everything of the window that talks to the portals: the refresh run and its stop button, the
// one-row refresh, speed changes, the personal page, the news and the publisher links.
//
// Transfers of the window run in Curl1's threaded mode: the transfer works on a worker thread while
// Curl1Wait keeps the window's events flowing, so the window repaints, "СТОП" can be pressed and a
// portal that never answers never freezes the screen. While a transfer is under way, every control
// that could change the tables or start another transfer is disabled.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include "curl1_setup.h"
#include "news.h"
#include "personal_page.h"
#include "provider_profiles.h"
#include "qt_text.h"
#include "receive_buffer.h"
#include "refresh_run.h"
#include "run_history.h"
#include "tform1.h"
#include "text_grid_model.h"

namespace korvex {

void TForm1::Curl1Receive(THttpTransfer& Sender, const char* data, std::uint32_t len, bool& bContinue) {
    appendToReceiveStream(Sender, data, len, bContinue);
}

void TForm1::Curl1Wait(THttpTransferBase&) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Once stopped, nothing more of this run may go out: cut short whatever transfer starts.
    if (m_stopRequested) Curl1.requestAbort();
}

void TForm1::setTransferControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{but1, client, clients, But2, JvCheckBox1, JvEdit1, JvEdit2,
                                                      News, Button1})
        w->setEnabled(enabled);
    JvXPButton2->setEnabled(!enabled);
}

bool TForm1::withTransfers(const std::function<void()>& work) {
    if (m_running) return false;
    m_running = true;
    m_stopRequested = false;
    setTransferControlsEnabled(false);
    struct Restore {
        TForm1* form;
        ~Restore() {
            form->setTransferControlsEnabled(true);
            form->m_running = false;
        }
    } restore{this};
    const ResponsiveTransfers responsive(Curl1);
    work();
    return true;
}

void TForm1::repaintNow() {
    m_statModel->refreshCells();
    repaint();
}

void TForm1::runRefresh(int first, int last, bool showProgress) {
    but1->setText(QStringLiteral("Обновление..."));
    if (showProgress) JvXPProgressBar1->setMaximum(m_book.clients - 1);
    bool failed = false;
    RunHistory history;
    sayHistoryProblem({});
    m_lastRun = RefreshResult{};
    withTransfers([&] {
        RefreshHooks hooks;
        hooks.rowStarting = [&](int row) {
            if (showProgress) JvXPProgressBar1->setValue(row);
        };
        hooks.afterRoutine = [this](int routine) {
            if (routine != kCheckRIndex) repaintNow();
        };
        hooks.stopRequested = [this] { return m_stopRequested; };
        // Collected as the rows finish, so that a run ended by an error keeps what it did.
        hooks.rowFinished = [this](const RowCheck& check) { m_lastRun.rows.push_back(check); };
        try {
            const RefreshResult result = refreshRows(*m_checks, first, last, history.keeping(hooks, m_book));
            m_lastRun.rowsChecked = result.rowsChecked;
            m_lastRun.stopped = result.stopped;
        } catch (const EConvertError& e) {
            // The run ends at this row: what was checked keeps its values, nothing is saved.
            failed = true;
            repaintNow();
            showError(toQ(e.what()));
        }
    });
    if (!failed) {
        repaintNow();
        if (zapis()) but1->setText(QStringLiteral("Обновление завершено"));
    }
    sayHistoryProblem(history.save(FileName));
    if (m_closeAfterRun) close();
}

void TForm1::bbb111Click() {
    if (m_running) return;
    runRefresh(0, m_book.clients - 1, true);
}

void TForm1::N6Click() {
    if (m_running || m_curRow < 0) return;
    runRefresh(m_curRow, m_curRow, false);
}

void TForm1::JvXPButton2Click() {
    if (!m_running) return;
    m_stopRequested = true;
    Curl1.requestAbort();
}

void TForm1::speedItemClick(SpeedItem item) {
    if (m_running) return;
    const SpeedItemInfo& info = speedItemInfo(item);
    const std::string text = speedChangeConfirmText(m_book.Stat.cell(kStatLogin, m_curRow), info.caption);
    const QString title = QString::fromLatin1(kSpeedConfirmTitle);
    const bool yes = m_env.confirm ? m_env.confirm(title, toQ(text))
                                   : QMessageBox::question(this, title, toQ(text), QMessageBox::Yes | QMessageBox::No,
                                                           QMessageBox::No) == QMessageBox::Yes;
    if (!yes) return;
    withTransfers([&] {
        try {
            changeSpeed(item, m_curRow, m_book, Curl1, Memo1, m_env.addresses, [this] { repaintNow(); });
        } catch (const std::exception& e) {
            showError(QString::fromStdString(e.what()));
        }
    });
    repaintNow();
    if (m_closeAfterRun) close();
}

void TForm1::N641Click() { speedItemClick(SpeedItem::N641); }
void TForm1::N1281Click() { speedItemClick(SpeedItem::N1281); }
void TForm1::N2561Click() { speedItemClick(SpeedItem::N2561); }
void TForm1::N5121Click() { speedItemClick(SpeedItem::N5121); }
void TForm1::N10241Click() { speedItemClick(SpeedItem::N10241); }
void TForm1::N20481Click() { speedItemClick(SpeedItem::N20481); }
void TForm1::N30721Click() { speedItemClick(SpeedItem::N30721); }
void TForm1::N40961Click() { speedItemClick(SpeedItem::N40961); }
void TForm1::N51201Click() { speedItemClick(SpeedItem::N51201); }

void TForm1::N5Click() {
    openPersonalPage(m_book.client.cell(kPlanCode, m_curRow), m_env.addresses, *m_env.urlOpener);
}

void TForm1::NewsClick() {
    withTransfers([&] {
        std::vector<std::string> lines;
        try {
            if (!fetchNews(Curl1, proxySettings(), updateProxy, m_env.addresses, lines)) return;
        } catch (const EConvertError& e) {
            showError(toQ(e.what()));
            return;
        }
        QStringList text;
        for (const std::string& line : lines) text << toQ(line);
        Memo2->setPlainText(text.join(QLatin1Char('\n')));
    });
    if (m_closeAfterRun) close();
}

void TForm1::openAddress(const std::string& url) {
    m_env.urlOpener->open(url);
}

void TForm1::JvLabel5MouseUp() {
    openAddress(m_env.addresses.publisher + "/");
}

void TForm1::JvLabel8MouseUp() {
    openAddress(m_env.addresses.publisher + "/component/option,com_remository/Itemid,65/func,fileinfo/id,72/");
}

void TForm1::JvXPButton1Click() {
    openAddress(m_env.addresses.publisher + "/pay/");
}

void TForm1::Button100Click() {
    // The update check belongs to the update component, which this build does not have yet.
}

}  // namespace korvex
