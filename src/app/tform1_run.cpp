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
#include <QItemSelection>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/certificate_question.h"
#include "app/qt_text.h"
#include "app/text_grid_model.h"
#include "app/tform1.h"
#include "checks/portal_operators.h"
#include "checks/provider_profiles.h"
#include "checks/summary_texts.h"
#include "commands/news.h"
#include "commands/personal_page.h"
#include "net/curl1_setup.h"
#include "net/receive_buffer.h"
#include "run/book_settings.h"
#include "run/refresh_session.h"
#include "update/updater/program_settings.h"

namespace korvex {

namespace {
// The least time between two pictures of a refresh run (25 a second).
constexpr int kRunFrameMs = 40;
}  // namespace

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
    {
        const ResponsiveTransfers responsive(Curl1);
        work();
    }
    if (!m_pins.loadError().empty())
        showError(QStringLiteral("Сохранённые сертификаты порталов не читаются: %1\n\nБез них поддельный "
                                 "сертификат не отличить от настоящего, поэтому запросы к порталам по HTTPS "
                                 "не отправлялись.")
                      .arg(QString::fromStdString(m_pins.loadError())));
    // A refresh run reports its portals in m_runCertificates; other transfers leave them with the pins.
    std::vector<PinMismatch> changed = std::exchange(m_runCertificates, {});
    for (PinMismatch& mismatch : m_pins.takeMismatches()) changed.push_back(std::move(mismatch));
    askAboutChangedCertificates(std::move(changed));
    // Pins learned on first use are written once, after the whole operation.
    if (const std::string problem = m_pins.saveChanges(); !problem.empty())
        showError(QString::fromStdString(problem));
    return true;
}

void TForm1::askAboutChangedCertificates(std::vector<PinMismatch> mismatches) {
    std::vector<PinMismatch> changed;
    for (PinMismatch& mismatch : mismatches) {
        if (!mismatch.presented.empty()) {
            changed.push_back(std::move(mismatch));
            continue;
        }
        showError(QStringLiteral("Портал %1 показал другой сертификат, чем прежде. Запросы к нему не "
                                 "отправлялись.")
                      .arg(QString::fromStdString(portalWithOperator(m_env.addresses, mismatch.origin))));
    }
    if (changed.empty()) return;
    // One question for all of them, after the run: a user with many portals answers once.
    std::vector<ChangedCertificate> portals;
    for (const PinMismatch& mismatch : changed)
        portals.push_back({QString::fromStdString(portalOperators(m_env.addresses, mismatch.origin)),
                           QString::fromStdString(mismatch.origin), QString::fromStdString(mismatch.pinned),
                           QString::fromStdString(mismatch.presented)});
    CertificateQuestion question(std::move(portals), this);
    const int answer = m_env.certificateQuestion ? m_env.certificateQuestion(question) : question.exec();
    if (answer != QDialog::Accepted) return;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (!question.ticked(static_cast<int>(i))) continue;
        const std::string error = m_pins.setPin(changed[i].origin, changed[i].presented);
        if (!error.empty()) showError(QString::fromStdString(error));
    }
}

void TForm1::repaintNow() {
    m_statModel->refreshCells();
    repaint();
}

// What a run of the window shows as it goes: the row being checked (or the rows under way), the rows'
// new cells and the failed rows' tint, the progress bar and the tray's tooltip, and "СТОП".
//
// What changes is shown once a frame, not once a row: on a real display every paint goes to the X
// server, and a paint per routine and per row cost more than the checks of fast portals themselves.
// The first change after a quiet frame shows at once, the rest when the frame ends; events flow
// meanwhile (Curl1Wait, stopRequested), so the frame's timer fires during the transfers.
class TForm1::RunView : public RefreshObserver {
public:
    RunView(TForm1& form, bool showProgress, bool atOnce, int rowsInRun)
        : m_form(form), m_showProgress(showProgress), m_atOnce(atOnce), m_rowsInRun(rowsInRun) {
        m_form.m_statModel->setDeferred(true);
        m_frame.setSingleShot(true);
        m_frame.setInterval(kRunFrameMs);
        QObject::connect(&m_frame, &QTimer::timeout, [this] {
            if (m_changed) showFrame();
        });
    }
    ~RunView() override {
        // What the last frame did not show yet (the run's end paints it all).
        m_form.m_statModel->setDeferred(false);
    }
    RunView(const RunView&) = delete;
    RunView& operator=(const RunView&) = delete;

    void rowStarting(int row) override {
        if (m_atOnce) return;  // the rows under way come from rowsInFlight
        // The row being checked shows, however long its portal takes.
        m_rowsShown = {row};
        changed();
    }
    void rowsInFlight(const std::vector<int>& rows) override {
        // Checks at once: every row under way is highlighted, as the one row is one after another.
        m_rowsShown = rows;
        changed();
    }
    void afterRoutine(int routine) override {
        // The design's repaint between routines: a routine that checked the row has new cells to show.
        if (routine != kCheckRIndex) changed();
    }
    void rowFinished(const RowCheck& check) override {
        // Collected as the rows finish, so that a run ended by an error keeps what it did.
        m_form.m_lastRun.rows.push_back(check);
        m_form.markRow(check);
        // Both kinds of run count the same: rows finished, in whatever order they finish.
        ++m_finished;
        changed();
    }
    bool stopRequested() override {
        // Checks at once are waited for here, every few milliseconds: the window's events flow
        // meanwhile, as Curl1Wait lets them flow during a check one after another.
        if (m_atOnce) QCoreApplication::processEvents(QEventLoop::AllEvents);
        return m_form.m_stopRequested;
    }

private:
    void changed() {
        m_changed = true;
        if (!m_frame.isActive()) showFrame();
    }
    void showFrame() {
        m_changed = false;
        m_frame.start();  // nothing more shows until it ends
        if (m_atOnce)
            Stat()->selectionModel()->select(selectionOf(m_rowsShown), QItemSelectionModel::ClearAndSelect);
        else if (!m_rowsShown.empty())
            Stat()->selectRow(m_rowsShown.front());
        if (!m_rowsShown.empty()) Stat()->scrollTo(m_form.m_statModel->index(m_rowsShown.front(), 0));
        // The checks wrote the balance table itself: its cells are announced with the notes.
        m_form.m_statModel->refreshCells();
        m_form.m_statModel->flushChanges();
        if (m_showProgress) m_form.JvXPProgressBar1->setRowsFinished(m_finished);
        m_form.sayRunProgressInTray(m_finished, m_rowsInRun);
    }
    QItemSelection selectionOf(const std::vector<int>& rows) const {
        QItemSelection selection;
        const int lastColumn = m_form.m_statModel->columnCount() - 1;
        for (int row : rows)
            selection.select(m_form.m_statModel->index(row, 0), m_form.m_statModel->index(row, lastColumn));
        return selection;
    }
    QTableView* Stat() const { return m_form.Stat; }

    TForm1& m_form;
    bool m_showProgress;
    bool m_atOnce;
    int m_rowsInRun;
    int m_finished = 0;
    std::vector<int> m_rowsShown;
    bool m_changed = false;  // something not shown yet
    QTimer m_frame;          // running: a frame was shown lately
};

RefreshPlan TForm1::refreshPlan(int first, int last) {
    // The summary's thresholds as the file says them now: a user may have edited them since the start.
    const BookSettings settings = loadBookSettings(FileName);
    return ruledPlan({.first = first,
                      .last = last,
                      .jobs = RefreshJobs->value(),
                      .perPortal = RefreshPerPortal->value(),
                      .settingsPath = FileName,
                      .lowBalance = settings.lowBalance,
                      .daysLeft = settings.daysLeft,
                      .passwordsWaiting = keyringWaiting()});
}

void TForm1::runRefresh(int first, int last, bool showProgress) {
    const RefreshPlan plan = refreshPlan(first, last);
    if (holdBack(plan)) return;
    but1->setText(QStringLiteral("Обновление..."));
    if (showProgress) {
        JvXPProgressBar1->setMaximum(m_book.clients - 1);
        JvXPProgressBar1->setRowsFinished(0);
    }
    const int rowsInRun = last - first + 1;
    sayRunProgressInTray(0, rowsInRun);
    sayHistoryProblem({});
    m_lastRun = RefreshResult{};
    RefreshReport report;
    withTransfers([&] {
        RefreshSession session({m_book, *m_checks, Curl1, m_env.addresses, proxySettings(), *m_env.clock,
                                &m_pins, [this] { return zapis(); }},
                               plan);
        RunView view(*this, showProgress, plan.jobs > 1, rowsInRun);
        report = session.run(view);
        m_lastRun = report.run;
        m_runCertificates = std::move(report.changedCertificates);
        repaintNow();
        // The run ended at this row: what was checked keeps its values, nothing was saved.
        if (report.proxyError) showError(toQ(*report.proxyError));
    });
    showRunEnd(report, rowsInRun, showProgress);
}

void TForm1::showRunEnd(const RefreshReport& report, int rowsInRun, bool showProgress) {
    Stat->clearSelection();  // so that the tint of a failed row shows
    // The rows cut short by a stop were not checked: the bar ends at the caption's count.
    if (showProgress) JvXPProgressBar1->setRowsFinished(rowsReached(m_lastRun));
    if (report.saved) but1->setText(runCaption(m_lastRun, rowsInRun));
    sayHistoryProblem(report.historyProblem);
    m_schedule.runEnded();
    m_trayProgressTimer->stop();  // the summary takes the tooltip over
    showRunSummary(report.summary);
    if (m_closeAfterRun) close();
}

namespace {

// The window's words for a row's outcome, with its error text where it has one.
QString rowNote(const RowCheck& check) {
    return QString::fromStdString(fillText(rowOutcomeTexts(rowOutcomeOf(check)).russian, {{"error", check.errorText}}));
}

QString summaryLine(SummaryCategory category, const TextFields& fields) {
    return QString::fromStdString(fillText(summaryCategory(category).russian, fields));
}

}  // namespace

void TForm1::markRow(const RowCheck& check) {
    switch (check.outcome) {
        case CheckOutcome::PageRead:
        case CheckOutcome::NotFound:
        case CheckOutcome::TransferFailed:  // a refused certificate too: Korvex sent nothing to the portal
        case CheckOutcome::ErrorMarker:
        case CheckOutcome::AddressNotSet:
            m_statModel->setRowNote(check.row, rowNote(check));
            break;
        case CheckOutcome::PassedOver:
        case CheckOutcome::Stopped:
            break;  // not checked: what the last check said still holds
    }
}

void TForm1::showRunSummary(const RunSummary& summary) {
    QStringList lines;
    for (const PortalTrouble& t : summary.changedPages)
        lines << summaryLine(SummaryCategory::ChangedPage, summaryFields(t));
    for (const PortalTrouble& t : summary.refusedCertificates)
        lines << summaryLine(SummaryCategory::RefusedCertificate, summaryFields(t));
    for (const PortalTrouble& t : summary.addressesNotSet)
        lines << summaryLine(SummaryCategory::AddressNotSet, summaryFields(t));
    for (const SummaryAccount& a : summary.valuesNotFound)
        lines << summaryLine(SummaryCategory::ValuesNotFound, summaryFields(a));
    for (const SummaryAccount& a : summary.unknownPlanCodes)
        lines << summaryLine(SummaryCategory::UnknownPlanCode, summaryFields(a));
    for (const SummaryAccount& a : summary.lowBalances)
        lines << summaryLine(SummaryCategory::LowBalance, summaryFields(a));
    for (const DaysLeftAccount& a : summary.fewDaysLeft)
        lines << summaryLine(SummaryCategory::FewDaysLeft, summaryFields(a));
    for (const PortalTrouble& t : summary.failedTransfers)
        lines << summaryLine(SummaryCategory::FailedTransfer, summaryFields(t));
    for (const SummaryAccount& a : summary.fallenBalances)
        lines << summaryLine(SummaryCategory::FallenBalance, summaryFields(a));
    if (lines.isEmpty()) {
        JvTrayIcon1->setToolTip(windowTitle());
        return;
    }
    JvTrayIcon1->setToolTip(windowTitle() + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
    QStringList shown = lines.mid(0, 5);
    if (lines.size() > 5)
        shown.last() += QString::fromStdString(fillText(kSummaryMoreRussian, {{"count", std::to_string(lines.size() - 5)}}));
    const QString title = QString::fromStdString(fillText(
        kSummaryHeadingRussian,
        {{"count", std::to_string(summary.accountsChecked)}, {"lines", std::to_string(lines.size())}}));
    if (m_env.trayMessage)
        m_env.trayMessage(title, shown.join(QLatin1Char('\n')));
    else
        JvTrayIcon1->showMessage(title, shown.join(QLatin1Char('\n')), QSystemTrayIcon::Warning);
}

int rowsReached(const RefreshResult& run) {
    return static_cast<int>(std::count_if(run.rows.begin(), run.rows.end(), [](const RowCheck& check) {
        return check.outcome != CheckOutcome::Stopped;
    }));
}

QString runCaption(const RefreshResult& run, int rowsInRun) {
    int checked = 0, noAnswer = 0, refused = 0, notFound = 0, errors = 0, noAddress = 0;
    const int reached = rowsReached(run);
    for (const RowCheck& check : run.rows) {
        if (check.outcome == CheckOutcome::Stopped || check.outcome == CheckOutcome::PassedOver) continue;
        ++checked;
        refused += certificateRefused(check);
        noAnswer += check.outcome == CheckOutcome::TransferFailed && !certificateRefused(check);
        notFound += check.outcome == CheckOutcome::NotFound;
        errors += check.outcome == CheckOutcome::ErrorMarker;
        noAddress += check.outcome == CheckOutcome::AddressNotSet;
    }
    const bool stopped = run.stopped || reached < static_cast<int>(run.rows.size());
    QStringList details;
    if (stopped) details << QStringLiteral("проверено: %1 из %2").arg(reached).arg(rowsInRun);
    const auto failures = [&](int count, const QString& what) {
        if (count > 0) details << QStringLiteral("%1: %2 из %3").arg(what).arg(count).arg(checked);
    };
    const auto word = [](RowOutcome outcome) { return QString::fromUtf8(rowOutcomeTexts(outcome).russianCount); };
    failures(noAddress, word(RowOutcome::AddressNotSet));
    failures(noAnswer, word(RowOutcome::TransferFailed));
    failures(refused, word(RowOutcome::CertificateRefused));
    failures(notFound, word(RowOutcome::NotFound));
    failures(errors, word(RowOutcome::ErrorMarker));
    QString caption =
        stopped ? QStringLiteral("Обновление остановлено") : QStringLiteral("Обновление завершено");
    if (!details.isEmpty())
        caption += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
    return caption;
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
            if (!fetchNews(Curl1, proxyForCurl1(), m_env.addresses, lines)) return;
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
    // The component reaches the publisher through the proxy that proxycheck last applied.
    applyUpdateProxy(m_proxyInForce, upUpdater1->Proxy);
    upUpdater1->CheckUpdate(false);
}

}  // namespace korvex
