#pragma once
// The main window. It owns the run-time state (the account book, the proxy edits, the transfer
// component, the tray icon, the menus) and adapts the core to the screen: every handler here is
// thin and calls the core routine of the same name.
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/run_progress_bar.h"
#include "book/account_book.h"
#include "checks/balance_checks.h"
#include "checks/check_clock.h"
#include "checks/portal_addresses.h"
#include "checks/text_holder.h"
#include "commands/speed_change.h"
#include "net/http_transfer.h"
#include "net/portal_pins.h"
#include "net/proxy_check.h"
#include "net/proxy_settings.h"
#include "platform/open_url.h"
#include "platform/password_keyring.h"
#include "run/refresh_schedule.h"
#include "run/refresh_session.h"
#include "settings/keyring_passwords.h"
#include "settings/settings_file.h"
#include "update/updater/updater.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSystemTrayIcon;
class QTabWidget;
class QTableView;
class QTimer;

namespace korvex {

struct AutostartEntry;
class CertificateQuestion;
class PortalsDialog;
class TextGridModel;

inline constexpr const char* kWindowCaption = "Korvex  3.0";
inline constexpr const char* kApplicationTitle = "Korvex 3.0";

// What the window needs from outside; the defaults are the real ones, tests hand in their own.
struct WindowEnvironment {
    // An error nothing else handles (a settings file that cannot be written, a bad proxy port).
    std::function<void(const QString& text)> showError;
    // A question with Yes and No; true for Yes.
    std::function<bool(const QString& title, const QString& text)> confirm;
    PortalAddresses addresses = PortalAddresses::fromBuild();
    std::shared_ptr<UrlOpener> urlOpener;
    std::shared_ptr<const CheckClock> clock;
    // The tray's balloon message after a run (by default the tray icon's own).
    std::function<void(const QString& title, const QString& text)> trayMessage;
    // The update component's dialogs and boxes; null: the Qt ones.
    std::shared_ptr<TupUserInterface> updateUserInterface;
    // Shows the question about changed certificates and answers its result (QDialog::Accepted for
    // "Доверять"); null: exec().
    std::function<int(CertificateQuestion& question)> certificateQuestion;
    // The desktop's keyring for the passwords, when the book keeps them there; null: the Secret Service.
    std::shared_ptr<PasswordKeyring> keyring;
    // The wall clock of the refresh schedule; null: the system's.
    RefreshSchedule::Clock wallClock;
    // True once the program has been asked to end (a termination signal) while the window is still
    // being made; null: never.
    std::function<bool()> endRequested;
    // Runs the portals dialog (tests drive it); null: exec().
    std::function<void(PortalsDialog& dialog)> portalsDialog;
};

// The rows a run reached: every row it gave back but those the stop cut short.
int rowsReached(const RefreshResult& run);
// The caption of "Обновить все балансы" after a run over `rowsInRun` rows: finished or stopped, with
// how many were checked when stopped and how many failed, by kind.
QString runCaption(const RefreshResult& run, int rowsInRun);

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // `settingsPath`: the settings file (normally Settings.ini beside the executable).
    explicit TForm1(std::string settingsPath, WindowEnvironment environment = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    AccountBook& book() { return m_book; }
    const std::string& settingsFileName() const { return FileName; }
    ProxySettings proxySettings() const;
    const PortalAddresses& addresses() const { return m_env.addresses; }
    // True while a refresh run or another transfer of the window is under way.
    bool transferRunning() const { return m_running; }
    // What the last refresh run (of the whole table or of one row) did to each row it reached.
    const RefreshResult& lastRun() const { return m_lastRun; }

    // Load and save, as the core does them, with the window's tables and edits. zapis answers false
    // when the file could not be written (the message has been shown), and at once while saving is
    // off.
    void read();
    bool zapis();
    // The settings file could not be read at start (a folder, no permission, not a settings file):
    // the window runs on an empty book and writes nothing over the file.
    bool savingOff() const { return m_savingOff; }

    // Start-up, shut-down, settings tab.
    void FormCreate();
    void FormDestroy();
    void clientsChange(int count);
    void clientExit();
    void ButtonClick();
    void PageControl1Change(int index);
    // "Хранить пароли в связке ключей": moves the passwords into the keyring or back into the file.
    void KeyringCheckBoxClick(bool checked);
    // "Запускать при входе в систему": writes or removes the session's autostart entry.
    void AutostartCheckBoxClick(bool checked);

    // The transfer component's handlers. During the window's transfers (withTransfers) Curl1 runs
    // threaded: Curl1Receive is then called on the transfer's worker thread, so it must only append to
    // the receive stream and touch no widget (no repaint, no model); Curl1Wait is called on this, the
    // GUI thread, while it waits for the transfer.
    void Curl1Receive(THttpTransfer& Sender, const char* data, std::uint32_t len, bool& bContinue);
    void Curl1Wait(THttpTransferBase& Sender);

    // Refresh: the whole table, one row, and the stop button.
    void bbb111Click();
    void N6Click();
    void JvXPButton2Click();

    // Account table: right-click and its row menu.
    void clientMouseDown(QWidget* source, Qt::MouseButton button, const QPoint& pos);
    void addrowClick();
    void delrowClick();
    void moveupClick();
    void movedownClick();
    void sortClick();

    // Balance table: right-click and its menu.
    void StatMouseDown(QWidget* source, Qt::MouseButton button, const QPoint& pos);
    void N641Click();
    void N1281Click();
    void N2561Click();
    void N5121Click();
    void N10241Click();
    void N20481Click();
    void N30721Click();
    void N40961Click();
    void N51201Click();
    void N5Click();
    // The balance history of the row's account.
    void BalanceHistoryItemClick();
    // Every account by the days its balance lasts.
    void ForecastItemClick();
    // "Порталы…" (settings tab and balance menu): the portals' addresses seen, set and probed; the
    // addresses written there are used from then on.
    void PortalsItemClick();

    // News, links and the update button.
    void NewsClick();
    void JvLabel5MouseUp();
    void JvLabel8MouseUp();
    void JvXPButton1Click();
    void Button100Click();
    // "Вернуть предыдущую версию": after a question, the helper puts the version the last update
    // replaced back and starts Korvex again; the window closes. Shown only while one is kept.
    void ButtonUndoClick();

    // The scheduled refresh: starts the full refresh when it is due and nothing else is under way;
    // answers whether it did. A timer calls it while the schedule is on.
    bool scheduleTick();
    static constexpr int kScheduleTickMs = 30'000;
    const RefreshSchedule& schedule() const { return m_schedule; }

    // Tray menu.
    void N4Click();
    void N3Click();
    void N1Click();

    // The cell under the last right-click on either table.
    int currentCol() const { return m_curCol; }
    int currentRow() const { return m_curRow; }
    void setCurrentCell(int col, int row) { m_curCol = col, m_curRow = row; }

    // Controls (named as in the window's design).
    QTabWidget* PageControl1 = nullptr;
    QWidget* tab1 = nullptr;
    QWidget* tab2 = nullptr;
    QWidget* tab3 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QTableView* Stat = nullptr;
    QTableView* client = nullptr;
    QPushButton* but1 = nullptr;
    QPushButton* JvXPButton2 = nullptr;
    RunProgressBar* JvXPProgressBar1 = nullptr;
    QSpinBox* clients = nullptr;
    QPushButton* But2 = nullptr;
    QCheckBox* JvCheckBox1 = nullptr;
    QLabel* JvLabel6 = nullptr;
    QLineEdit* JvEdit1 = nullptr;
    QLabel* JvLabel7 = nullptr;
    QLineEdit* JvEdit2 = nullptr;
    QCheckBox* KeyringCheckBox = nullptr;
    QLabel* JvLabel1 = nullptr;
    QLabel* JvLabel2 = nullptr;
    QLabel* JvLabel3 = nullptr;
    QLabel* JvLabel4 = nullptr;
    QLabel* JvLabel5 = nullptr;
    QLabel* JvLabel8 = nullptr;
    QPushButton* JvXPButton1 = nullptr;
    QPlainTextEdit* JvMemo1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* ButtonUndo = nullptr;  // "Вернуть предыдущую версию" (beyond the window's design)
    QPushButton* News = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    // The refresh settings in the settings tab's free column (beyond the window's design).
    QLabel* RefreshJobsLabel = nullptr;
    QSpinBox* RefreshJobs = nullptr;  // "Проверять одновременно", 1..64
    QLabel* RefreshPerPortalLabel = nullptr;
    QSpinBox* RefreshPerPortal = nullptr;  // "с одного портала", 1..8
    QLabel* RefreshEveryHoursLabel = nullptr;
    QSpinBox* RefreshEveryHours = nullptr;  // "Проверять каждые" … "ч", 0 (off) ..24
    QCheckBox* AutostartCheckBox = nullptr;  // "Запускать при входе в систему"
    QLabel* AutostartNote = nullptr;         // shown when a file of the entry's name is not ours

    QMenu* JvPopupMenu1 = nullptr;
    QAction* addrow = nullptr;
    QAction* delrow = nullptr;
    QAction* moveup = nullptr;
    QAction* movedown = nullptr;
    QAction* sort = nullptr;

    QMenu* PopupMenu2 = nullptr;
    QMenu* New1 = nullptr;
    QAction* N641 = nullptr;
    QAction* N1281 = nullptr;
    QAction* N2561 = nullptr;
    QAction* N5121 = nullptr;
    QAction* N10241 = nullptr;
    QAction* N20481 = nullptr;
    QAction* N30721 = nullptr;
    QAction* N40961 = nullptr;
    QAction* N51201 = nullptr;
    QAction* N5 = nullptr;
    QAction* N6 = nullptr;
    QAction* BalanceHistoryItem = nullptr;
    QAction* ForecastItem = nullptr;
    QAction* PortalsItem = nullptr;
    QPushButton* PortalsButton = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* N4 = nullptr;
    QAction* N3 = nullptr;
    QAction* N2 = nullptr;
    QAction* N1 = nullptr;
    QSystemTrayIcon* JvTrayIcon1 = nullptr;

    THttpTransfer Curl1;
    // The hidden memo that holds the last page received.
    TextHolder Memo1;
    // The settings tab's proxy as proxycheck last applied it to Curl1; the update component goes
    // through it.
    ProxySettings m_proxyInForce;
    // The settings tab's proxy, for proxycheck to apply to Curl1 at once: noted in m_proxyInForce.
    ProxySettings proxyForCurl1();
    // The update component; it goes first when the window goes.
    std::unique_ptr<TupUpdater> upUpdater1;

    TextGridModel* clientModel() const { return m_clientModel; }
    TextGridModel* statModel() const { return m_statModel; }

signals:
    // The window has accepted a close (after a run under way has stopped and saved), whether it was
    // shown, minimised or hidden in the tray. The program ends on it; the save follows in FormDestroy.
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Cuts every connection into the window before it goes (its destructor's first step).
    void detachSignals();
    void buildControls();
    void buildTabBalances();
    void buildTabSettings();
    void buildKeyringControls();
    // After a load: the keyring's passwords into the table when the book keeps them there.
    void fillPasswordsFromKeyring();
    // Before a run: the rows whose password the keyring has not given (it is asked again first).
    std::vector<int> keyringWaiting();
    // Marks the rows the plan holds back with the keyring's reason; true when that is every row.
    bool holdBack(const RefreshPlan& plan);
    // Says once (until the keyring answers again) why the passwords are not where they should be.
    void sayKeyringProblem(const KeyringAnswer& answer, const QString& consequence);
    void buildTabAbout();
    void buildUndoControls();
    void buildRefreshSettings();
    void buildAutostartControls();
    void showAutostart(const AutostartEntry& entry);
    void loadRefreshSettings();
    void refreshSettingsChanged();
    void applySchedulePeriod(int hours);
    void buildTabNews();
    void buildTray();
    void buildRowMenu();
    void buildBalanceMenu();
    void buildPortalsControls();
    // The check routines over m_env.addresses (again, when the addresses changed).
    void makeChecks();
    void writeHeadings(bool firstStart);
    void startWithoutSaving(const SettingsFileState& state);
    QString startNotes(const StartupValues& start) const;
    void reloadTables();
    void showError(const QString& text);
    void setCountSilently(int count);
    void afterRowCommand();
    void hideToTray();
    void restoreFromTray();
    void openAddress(const std::string& url);

    // Runs `work` with Curl1 in threaded mode, the window responsive, "СТОП" enabled and every
    // control that could change the tables or start another transfer disabled. Answers false when
    // the window is already busy with a transfer.
    bool withTransfers(const std::function<void()>& work);
    void setTransferControlsEnabled(bool enabled);
    // The refresh run over rows first..last; the progress bar follows when `showProgress`.
    void runRefresh(int first, int last, bool showProgress);
    // The plan of a run over rows first..last, by the settings tab and the session's rules.
    RefreshPlan refreshPlan(int first, int last);
    // After a run: the caption, the progress, the history's line, the schedule and the summary.
    void showRunEnd(const RefreshReport& report, int rowsInRun, bool showProgress);
    void speedItemClick(SpeedItem item);
    // Shows the tables' new texts and paints the window now.
    void repaintNow();
    // The line under the balance table says that a run's checks are not in the history ("" clears it).
    void sayHistoryProblem(const std::string& problem);
    // The forecast's menu item, and the days left in the tooltip of the balance column.
    void buildForecast();
    // The days left of row `row`'s account, read from the history now; "" for a row without a login.
    QString balanceTip(int row) const;
    // After transfers: for each portal that showed another key than its pin, asks whether to trust
    // the new one, and pins it on Yes.
    void askAboutChangedCertificates(std::vector<PinMismatch> mismatches);
    // Tints the row whose check failed, with the reason as its tooltip; a read page takes it away.
    void markRow(const RowCheck& check);
    // After a run: what needs attention as a tray message, and in full in the tray icon's tooltip
    // until the next run.
    void showRunSummary(const RunSummary& summary);
    // During a run: how many of its rows are finished, in the tray icon's tooltip (at most a few times a
    // second, the latest count last).
    void sayRunProgressInTray(int finished, int rowsInRun);

    std::unique_ptr<TupDispatcher> m_updateDispatcher;
    AccountBook m_book;
    std::string FileName;
    WindowEnvironment m_env;
    PortalPins m_pins;  // Portals.pins beside the settings file, attached to Curl1
    std::unique_ptr<BalanceChecks> m_checks;
    // The book's passwords in the keyring: set while the file says so.
    std::unique_ptr<KeyringBook> m_keyringBook;
    bool m_keyringProblemSaid = false;
    KeyringAnswer m_keyringAnswer;  // why the keyring last did not give the passwords
    RefreshResult m_lastRun;
    // The portals a refresh run found with another key than their pin, until withTransfers asks.
    std::vector<PinMismatch> m_runCertificates;
    class RunView;  // the run's observer: progress, the row being checked, "СТОП"
    TextGridModel* m_clientModel = nullptr;
    TextGridModel* m_statModel = nullptr;
    bool m_destroyed = false;
    bool m_savingOff = false;
    // The book holds what the settings file holds (or the file is new): until then nothing saves it.
    bool m_bookRead = false;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_closeAfterRun = false;
    RefreshSchedule m_schedule;
    QTimer* m_scheduleTimer = nullptr;
    QTimer* m_trayProgressTimer = nullptr;  // running while a count was shown lately
    QString m_trayProgress;                 // the latest count, shown when the timer ends

    int m_curCol = 0;
    int m_curRow = 0;
    QPoint m_popupPoint;  // where the last right-click was, on the screen
};

}  // namespace korvex
