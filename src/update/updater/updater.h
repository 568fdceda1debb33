#pragma once
// TupUpdater: the update component. It fetches the info file from InfoFileURL through the download
// engine it derives from, decides whether the release offered there is newer than the running one,
// asks, and hands the file list to the download (or opens the browser for a redirect). It can check
// by itself every AutoCheckDelay ms while the computer is online.
//
// Threads: everything here runs on the user-interface thread (the dispatcher's); the engine's
// worker only fetches. Events run there too.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/open_url.h"
#include "update/engine/http.h"
#include "update/check/info_file.h"
#include "update/check/integrity.h"
#include "update/texts/language.h"
#include "update/install/paths.h"
#include "update/check/trusted_info.h"
#include "update/texts/user_interface.h"

namespace korvex {

enum TupMiscFilesUpgradeBehavior { mfuAlwaysDownload, mfuOnlyIfSizeDifferent };
using TupStringList = std::vector<std::string>;

// What the info file offers, as a design-time copy stored with the settings; read by no step.
struct TupUpdaterInfo {
    TupStringList Files;
    TupUpgradeMethod UpgradeMethod = umSelfUpgrade;
    std::string UpgradeMsg;
};

struct TupUpdaterWizard {
    bool Enabled = true;
    bool HideFileLocation = false;
    std::string Pic118x218;  // a picture file; "": the built-in one
    TupUpdaterLanguage Language = TupUpdaterLanguage::wlAuto;
    bool StayOnTop = true;
};

class TupUpdater;
using TupUpdaterNotifyEvent = std::function<void(TupUpdater& Sender)>;
using TupBeginUpgradeEvent = std::function<void(TupUpdater& Sender, const std::string& UpgradeMsg,
                                                TupUpgradeMethod UpgradeMethod, TupStringList& Files, bool& CanUpgrade)>;
using TupEndUpgradeEvent = std::function<void(TupUpdater& Sender, bool& RestartImediately)>;
using TupUpdaterProgressEvent = std::function<void(TupUpdater& Sender, const std::string& FileURL, int FileSize,
                                                   int BytesRead, int ElapsedTime, int EstimatedTimeLeft,
                                                   std::uint8_t PercentsDone, std::uint8_t TotalPercentsDone,
                                                   float TransferRate)>;
using TupFileStartEvent = std::function<void(TupUpdater& Sender, const std::string& FileURL, int FileSize,
                                             TDateTime FileTime, bool& CanUpgrade)>;
using TupFileDoneEvent = std::function<void(TupUpdater& Sender, const std::string& FileName)>;
using TupHostUnreachableEvent =
    std::function<void(TupUpdater& Sender, const std::string& URL, const std::string& Hostname)>;
using TupLostFileEvent =
    std::function<void(TupUpdater& Sender, const std::string& FileURL, int ErrorCode, bool& ContinueUpgrade)>;
using TupUpdaterPasswordRequestEvent =
    std::function<void(TupUpdater& Sender, const std::string& Realm, bool& TryAgain)>;

// Where the component is: the check (idle, checking, decided) and then the upgrade (downloading,
// finish page, finished). An abort or a stop leads back to Idle from any of them.
enum class UpPhase : std::uint8_t {
    Idle,         // nothing under way
    Checking,     // the engine fetches the info file into memory
    Decided,      // the info file is read: the question and what it leads to are under way
    Downloading,  // the engine fetches the update files, one after the other
    FinishPage,   // every file fetched; the wizard's finish page waits for its button
    Finished,     // every file fetched and accepted; the restart may hand them over
};

// Whether an upgrade runs in `phase`: from the start of the download until the hand-over, an abort
// or a stop.
constexpr bool isUpgradingPhase(UpPhase phase) noexcept {
    return phase == UpPhase::Downloading || phase == UpPhase::FinishPage;
}

inline constexpr std::uint8_t kDefaultShowMessages =
    upShowMessageBit(TupUpdaterShowMessage::mAskUpgrade) | upShowMessageBit(TupUpdaterShowMessage::mConnLost) |
    upShowMessageBit(TupUpdaterShowMessage::mLostFile) | upShowMessageBit(TupUpdaterShowMessage::mPasswordRequest);

// The engine is a private base: the component attaches its own handlers to the engine's
// notifications, and no holder of the component can replace them or start a transfer of its own.
class TupUpdater : private TupCustomHTTP, private TupWizardListener {
public:
    // `ui` (may be null: nothing is asked or shown) and `browser` (may be null: a redirect opens
    // nothing) must outlive the component.
    TupUpdater(TupDispatcher& dispatcher, TupUserInterface* ui, UrlOpener* browser);
    ~TupUpdater() override;

    // Published properties of the engine: its settings, OnProxyAuthenticationRequest, and what
    // the latest transfer found.
    using TupCustomHTTP::CacheOptions;
    using TupCustomHTTP::HTTPPassword;
    using TupCustomHTTP::HTTPUsername;
    using TupCustomHTTP::InternetOptions;
    using TupCustomHTTP::LowSpeedTimeLimit;
    using TupCustomHTTP::MaxMemoryBody;
    using TupCustomHTTP::OnProxyAuthenticationRequest;
    using TupCustomHTTP::Proxy;
    using TupCustomHTTP::setHTTPPassword;
    using TupCustomHTTP::setHTTPUsername;
    using TupCustomHTTP::setThreadPriority;
    using TupCustomHTTP::setTransferBufferSize;
    using TupCustomHTTP::ThreadPriority;
    using TupCustomHTTP::TimeLimit;
    using TupCustomHTTP::Timeouts;
    using TupCustomHTTP::TransferBufferSize;
    using TupCustomHTTP::Busy;
    using TupCustomHTTP::BytesRead;
    using TupCustomHTTP::StatusCode;
    using TupCustomHTTP::TimedOut;
    bool AutoCheck() const noexcept { return m_autoCheck; }
    void setAutoCheck(bool value);
    int AutoCheckDelay() const noexcept { return m_autoCheckDelay; }
    void setAutoCheckDelay(int value);
    TupUpdaterInfo InfoFile;
    std::string InfoFileURL = "http://";
    const std::string& RestartParams() const noexcept { return m_restartParams; }
    void setRestartParams(std::string value);  // an empty text is kept as a single space
    TupMiscFilesUpgradeBehavior MiscFilesUpgrade = mfuAlwaysDownload;
    TupUpdaterVersionControl VersionControl = byDate;
    std::string VersionDate = todayText();  // month/day/year
    bool VersionDateAutoSet = true;
    std::string VersionNumber;
    // A version the user went back from (an undo): byNumber, a release offered is taken only when it is
    // newer than this one as well; "" none.
    std::string UndoneVersion;
    std::uint8_t ShowMessages = kDefaultShowMessages;  // upShowMessageBit flags
    TupUpdaterWizard Wizard;
    // The title the question names (the application's title).
    std::string ApplicationTitle;
    // Where the program, its folder and the helper's private temporary folder are: the running
    // program's own unless a test points elsewhere.
    update::UpFolders Folders = update::upFolders();
    // The publisher's Ed25519 public key (64 hex digits) the info file must be signed with; "" (a
    // build without KORVEX_UPDATE_PUBLIC_KEY) accepts unsigned files, checking only the digests
    // they give.
    std::string UpdatePublicKey{update::buildUpdatePublicKey()};
    // Seconds the whole transfer of the info file may take, the connection included.
    int InfoFileTimeLimit = kInfoFileTimeLimit;
    static constexpr int kInfoFileTimeLimit = 60;
    // An update file that averages fewer bytes a second than this over LowSpeedTimeLimit seconds
    // counts as a lost connection.
    static constexpr int kUpdateFileLowSpeed = 1024;
    // The program's exception handler: an exception raised in the automatic check's timer step goes
    // here (the window shows it). Without one it leaves the timer step to the dispatcher's loop.
    std::function<void(std::exception_ptr)> OnApplicationException;
    // How the program closes itself after handing over to the helper, when no
    // OnDoOwnCloseAppMethod handler does it (the window closes and the application ends).
    std::function<void()> CloseApplication;

    // Published events. Those of the download loop (OnEndUpgrade, OnProgress, OnFileStart,
    // OnFileDone, OnDoOwnCloseAppMethod, OnLostFile) belong to the installation steps. OnLostFile's
    // ErrorCode is the HTTP status the server refused the file with, or 0 when the file cannot be
    // used here (its digest differs, its entry names no file on this system, its folder cannot be
    // made). OnProgress,
    // OnHostUnreachable, OnPasswordRequest and OnAborted hide the engine's notifications of the same
    // names; the component itself attaches to those of its private engine.
    TupBeginUpgradeEvent OnBeginUpgrade;
    TupEndUpgradeEvent OnEndUpgrade;
    TupUpdaterNotifyEvent OnLaterUpgrade;
    TupUpdaterProgressEvent OnProgress;
    TupFileStartEvent OnFileStart;
    TupFileDoneEvent OnFileDone;
    TupUpdaterNotifyEvent OnDoOwnCloseAppMethod;
    TupUpdaterNotifyEvent OnAfterRestart;
    TupUpdaterNotifyEvent OnAborted;
    TupUpdaterNotifyEvent OnConnLost;
    TupHostUnreachableEvent OnHostUnreachable;
    TupUpdaterNotifyEvent OnNoUpdateAvailable;
    TupUpdaterNotifyEvent OnNoInfoFile;
    TupLostFileEvent OnLostFile;
    TupUpdaterPasswordRequestEvent OnPasswordRequest;

    // Starts a check of the info file. With `wait`: runs the user-interface loop until the check
    // is over (or the program ends), asks nothing, downloads nothing, and answers whether a newer
    // release is offered. Without: returns at once (the answer is of no use). While a transfer
    // runs, nothing new starts (a waiting call still waits for that one to end).
    bool CheckUpdate(bool wait);
    // Stops the running transfer and the upgrade, deletes what the upgrade downloaded, closes the
    // wizard; OnAborted.
    void AbortUpgrade();
    // Hands the downloaded files over to the update helper, which replaces them once the program
    // has ended and starts it again with RestartParams; then the program closes. When the helper
    // cannot be written or started, the program stays open and says why.
    void RestartApplication();
    // After start-up, with the program's arguments (argv[0] first): fires OnAfterRestart when the
    // first argument is RestartParams exactly.
    void Loaded(const std::vector<std::string>& arguments);

    // What the latest check found.
    bool UpdateAvailable() const noexcept { return m_updateAvailable; }
    const std::string& OfferedVersion() const noexcept { return m_offeredVersion; }
    // The latest check found a newer release that is no newer than UndoneVersion, and did not offer it.
    bool OfferedUndone() const noexcept { return m_offeredUndone; }
    const std::string& UpgradeMsg() const noexcept { return m_upgradeMsg; }
    TupUpgradeMethod UpgradeMethod() const noexcept { return m_upgradeMethod; }
    const TupStringList& Files() const noexcept { return m_files; }
    // What the signature and digest check made of the latest info file (Accepted until one was
    // refused); a refused file is reported as no info file.
    update::InfoTrust InfoFileTrust() const noexcept { return m_infoTrust; }
    // The entry of the latest info file that would write outside the folders an update may write
    // ("" when none): the whole file was then refused as no info file.
    const std::string& RefusedEntry() const noexcept { return m_refusedEntry; }
    // Why the latest check failed (None when it did not); with HttpStatus, StatusCode() says which.
    UpCheckFailure CheckFailure() const noexcept { return m_checkFailure; }
    bool AutomaticCheck() const noexcept { return m_origin == CheckOrigin::Timer; }
    bool TimerRunning() const noexcept { return m_timer != 0; }
    UpPhase Phase() const noexcept { return m_phase; }
    // True from the start of the download until the hand-over, an abort or a stop.
    bool Upgrading() const noexcept { return isUpgradingPhase(m_phase); }

    // The online test of the automatic check; tests hand in their own.
    std::function<bool()> OnlineTest;

protected:
    // The download of the file list (the installation steps, download_loop.cpp).
    virtual void startDownload();
    TupUserInterface* ui() const noexcept { return m_ui; }
    bool showsMessage(TupUpdaterShowMessage flag) const { return (ShowMessages & upShowMessageBit(flag)) != 0; }
    // Signals the completion a waiting CheckUpdate waits for.
    void signalCompletion();

private:
    // Who started the check under way: a call that returns at once, a call that waits for the
    // answer, or the timer of the automatic check.
    enum class CheckOrigin : std::uint8_t { Asked, Waiting, Timer };

    // The engine's transfer is the component's own: a check's info file or an upgrade's file.
    bool fetching() const noexcept {
        return m_phase == UpPhase::Checking || m_phase == UpPhase::Downloading;
    }
    void attachEngine();
    void infoFileReceived(const std::string& text);
    // Reads the verified info file and decides; a newer release is offered.
    void decide(const std::string& text);
    // The question (unless a waiting call or a handler said otherwise), then the download or the
    // browser.
    void offerUpgrade(bool canUpgrade);
    void openInBrowser(std::string address);
    void hostUnreachable();
    // The transfer broke off: a too long info file is none; otherwise the box, and the check or
    // the download stops.
    void connectionLost();
    // 401: the program's handler, else the password window; a cancelled window aborts.
    void passwordRequest(const std::string& realm, bool& tryAgain);
    void stopCheck();
    void updateTimer();
    void timerTick();
    // Wizard.Language as it stands now, before anything is shown: a language chosen by the program
    // is set, a return to wlAuto detects the user's language again.
    void applyWizardLanguage();
    // A box of the component, in Wizard.Language.
    void showBox(const UpMessageBox& box);
    // The check ends without a usable info file: OnNoInfoFile and the mNoInfoFile box.
    void noInfoFile(UpCheckFailure failure);

    // The installation steps (download_loop.cpp).
    void attachDownload();
    // The check ends with the info file refused for m_refusedEntry: OnNoInfoFile and a box naming it.
    void refuseEntry();
    // A file of the upgrade could not be made or written: said with `reason`, then the upgrade stops.
    void writeFailed(const std::string& reason);
    void nextFile();
    void fileStart(const TupHeaderInfo& info, bool& keepOn);
    void fileProgress(const TupProgressInfo& info);
    void fileStored();
    void lostFile(const std::string& url, int errorCode);
    void endOfDownload();
    void finishUpgrade();
    void stopDownload();
    void deleteTemporaries();
    const update::PathMacroFolders& macros();
    void wizardFinished() override;
    void wizardAbortConfirmed() override;

    TupUserInterface* m_ui;
    UrlOpener* m_browser;
    bool m_autoCheck = false;
    int m_autoCheckDelay = 10000;
    std::string m_restartParams = "/afterupdate";

    UpPhase m_phase = UpPhase::Idle;
    CheckOrigin m_origin = CheckOrigin::Asked;
    bool m_updateAvailable = false;  // the latest check's answer
    bool m_offeredUndone = false;
    bool m_timerFired = false;       // the automatic check has run; the timer rests unless it found no host
    std::shared_ptr<bool> m_completion;  // the completion a waiting CheckUpdate watches
    int m_timer = 0;

    TupStringList m_files;
    TupUpgradeMethod m_upgradeMethod = umSelfUpgrade;
    std::string m_upgradeMsg;
    std::string m_offeredVersion;
    std::optional<update::TrustedInfo> m_info;  // the accepted info file: the digests of its files
    update::InfoTrust m_infoTrust = update::InfoTrust::Accepted;
    std::string m_refusedEntry;
    UpCheckFailure m_checkFailure = UpCheckFailure::None;
    TupUpdaterLanguage m_appliedLanguage = TupUpdaterLanguage::wlAuto;  // what applyWizardLanguage set last

    // The running upgrade.
    std::size_t m_fileIndex = 0;
    std::string m_currentUrl;
    std::string m_currentPath;  // the final path of the current file
    std::string m_currentTemp;  // its ".updtmp" name
    TDateTime m_lastModified = 0;
    std::vector<std::string> m_temporaries;  // every ".updtmp" name of this upgrade
    std::optional<update::PathMacroFolders> m_macros;
};

}  // namespace korvex
