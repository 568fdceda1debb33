#pragma once
// The main window. It owns the run-time state (the account book, the proxy edits, the transfer
// component, the tray icon, the menus) and adapts the core to the screen: every handler here is
// thin and calls the core routine of the same name.
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "account_book.h"
#include "http_transfer.h"
#include "proxy_check.h"
#include "proxy_settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSystemTrayIcon;
class QTabWidget;
class QTableView;
class QAction;

namespace korvex {

class TextGridModel;

inline constexpr const char* kWindowCaption = "Korvex  3.0";
inline constexpr const char* kApplicationTitle = "Korvex 3.0";

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // `settingsPath`: the settings file (normally Settings.ini beside the executable).
    // `showError`: how uncaught errors reach the user; a message box unless a test replaces it.
    explicit TForm1(std::string settingsPath, std::function<void(const QString&)> showError = {},
                    QWidget* parent = nullptr);
    ~TForm1() override;

    AccountBook& book() { return m_book; }
    const std::string& settingsFileName() const { return FileName; }
    ProxySettings proxySettings() const;

    // Load and save, as the core does them, with the window's tables and edits.
    void read();
    void zapis();

    // Handlers, named control + event.
    void FormCreate();
    void FormDestroy();
    void clientsChange(int count);
    void clientExit();
    void ButtonClick();
    void PageControl1Change(int index);

    // The transfer component's handlers and the proxy setting.
    void Curl1Receive(THttpTransfer& Sender, const char* data, std::uint32_t len, bool& bContinue);
    void Curl1Wait(THttpTransferBase& Sender);
    void proxycheck();

    // Tray menu.
    void N4Click();
    void N3Click();
    void N1Click();

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
    QProgressBar* JvXPProgressBar1 = nullptr;
    QSpinBox* clients = nullptr;
    QPushButton* But2 = nullptr;
    QCheckBox* JvCheckBox1 = nullptr;
    QLabel* JvLabel6 = nullptr;
    QLineEdit* JvEdit1 = nullptr;
    QLabel* JvLabel7 = nullptr;
    QLineEdit* JvEdit2 = nullptr;
    QLabel* JvLabel1 = nullptr;
    QLabel* JvLabel2 = nullptr;
    QLabel* JvLabel3 = nullptr;
    QLabel* JvLabel4 = nullptr;
    QLabel* JvLabel5 = nullptr;
    QLabel* JvLabel8 = nullptr;
    QPushButton* JvXPButton1 = nullptr;
    QPlainTextEdit* JvMemo1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* News = nullptr;
    QPlainTextEdit* Memo2 = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* N4 = nullptr;
    QAction* N3 = nullptr;
    QAction* N2 = nullptr;
    QAction* N1 = nullptr;
    QSystemTrayIcon* JvTrayIcon1 = nullptr;

    THttpTransfer Curl1;
    // The proxy settings of the update component, kept up to date by proxycheck.
    UpdateProxySettings updateProxy;

    TextGridModel* clientModel() const { return m_clientModel; }
    TextGridModel* statModel() const { return m_statModel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildTabBalances();
    void buildTabSettings();
    void buildTabAbout();
    void buildTabNews();
    void buildTray();
    // Hides the application into the tray, or shows it again.
    void hideToTray();
    void restoreFromTray();
    void writeHeadings(bool firstStart);
    void reloadTables();
    void showError(const QString& text);
    void setCountSilently(int count);

    AccountBook m_book;
    std::string FileName;
    std::function<void(const QString&)> m_showError;
    TextGridModel* m_clientModel = nullptr;
    TextGridModel* m_statModel = nullptr;
    bool m_destroyed = false;

    // The cell under the last right-click on either table, and where it was.
    int m_curCol = 0;
    int m_curRow = 0;
    QPoint m_popupPoint;
};

}  // namespace korvex
