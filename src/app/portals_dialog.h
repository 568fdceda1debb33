#pragma once
// "Порталы…": every profile's portal on a line (operator, plan codes, the address in use and where it
// comes from, the rows that use it, its pinned key, how its rows ended in the last run), the address
// of the chosen line set in the user's Portals.ini (portals_ini_writer.h, the rules of the start), and
// "Проверить", which asks the address without a login (portal_probe.h).
//
// Threads: the dialog lives on the window's thread; a probe runs on a thread of its own that reads
// only what it was handed and posts its result back. Closing the dialog stops a probe under way and
// waits for its thread.
#include <QDialog>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "book/account_book.h"
#include "checks/check_outcome.h"
#include "checks/portal_probe.h"
#include "checks/portals_ini.h"
#include "net/portal_pins.h"
#include "net/proxy_settings.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace korvex {

struct PortalsDialogContext {
    std::string settingsPath;
    const AccountBook* book = nullptr;
    const PortalPins* pins = nullptr;
    std::vector<RowCheck> lastRun;
    ProxySettings proxy;
    PortalAddresses addresses;     // in use now
    PageProbeRequest probeLimits;  // time and size bounds of "Проверить"
};

// What "Проверить" found, as the dialog says it.
QString portalProbeText(const PortalProbe& probe, const QString& profileName, const std::string& pinned);

class PortalsDialog : public QDialog {
    Q_OBJECT
public:
    explicit PortalsDialog(PortalsDialogContext context, QWidget* parent = nullptr);
    ~PortalsDialog() override;

    // The set-up as the start makes it, read again after an address was written; nullopt while
    // nothing was written.
    const std::optional<PortalsSetup>& reloaded() const { return m_reloaded; }
    const PortalAddresses& addresses() const { return m_context.addresses; }
    bool probing() const { return m_worker.joinable() && !m_probeDone; }

    // "Записать": the address typed for the chosen line, or none (back to the built-in one) when
    // the edit is empty.
    void writeAddress();
    // "Проверить" the typed address for the chosen line; "Остановить".
    void startProbe();
    void stopProbe();
    // Chooses the line of profile `name` (its address into the edit).
    void selectProfile(const QString& name);

    QTableWidget* table = nullptr;
    QLineEdit* addressEdit = nullptr;
    QPushButton* writeButton = nullptr;
    QPushButton* probeButton = nullptr;
    QPushButton* stopButton = nullptr;
    QLabel* resultLabel = nullptr;

signals:
    void probeFinished();

private:
    void fillTable();
    void lineChosen();
    void showProbe(const PortalProbe& probe, const QString& profileName, const std::string& pinned);
    void say(const QString& text, bool trouble);
    const ProviderProfile* chosenProfile() const;

    PortalsDialogContext m_context;
    std::optional<PortalsSetup> m_reloaded;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_probeDone{true};
    std::thread m_worker;
};

}  // namespace korvex
