#pragma once
// TupUpdater: the update component. It fetches the info file from InfoFileURL through the download
// engine it derives from, decides whether the release offered there is newer than the running one,
// asks, and hands the file list to the download (or opens the browser for a redirect). It can check
// by itself every AutoCheckDelay ms while the computer is online.
//
// Threads: everything here runs on the user-interface thread (the dispatcher's); the engine's
// worker only fetches. Events run there too.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/open_url.h"
#include "update/up_http.h"
#include "update/up_info_file.h"
#include "update/up_language.h"
#include "update/up_user_interface.h"

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

inline constexpr std::uint8_t kDefaultShowMessages =
    upShowMessageBit(TupUpdaterShowMessage::mAskUpgrade) | upShowMessageBit(TupUpdaterShowMessage::mConnLost) |
    upShowMessageBit(TupUpdaterShowMessage::mLostFile) | upShowMessageBit(TupUpdaterShowMessage::mPasswordRequest);

class TupUpdater : public TupCustomHTTP {
public:
    // `ui` (may be null: nothing is asked or shown) and `browser` (may be null: a redirect opens
    // nothing) must outlive the component.
    TupUpdater(TupDispatcher& dispatcher, TupUserInterface* ui, UrlOpener* browser);
    ~TupUpdater() override;

    // Published properties (the engine's Proxy, InternetOptions, ThreadPriority,
    // TransferBufferSize, HTTPUsername, HTTPPassword, CacheOptions and OnProxyAuthenticationRequest
    // are inherited).
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
    std::uint8_t ShowMessages = kDefaultShowMessages;  // upShowMessageBit flags
    TupUpdaterWizard Wizard;
    // The title the question names (the application's title).
    std::string ApplicationTitle;

    // Published events. Those of the download loop (OnEndUpgrade, OnProgress, OnFileStart,
    // OnFileDone, OnDoOwnCloseAppMethod, OnLostFile) belong to the installation steps. OnProgress,
    // OnHostUnreachable, OnPasswordRequest and OnAborted hide the engine's notifications of the same
    // names; the component itself attaches to those as TupCustomHTTP::OnProgress and so on.
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
    // Stops the running transfer (output kept) and the upgrade; OnAborted.
    void AbortUpgrade();
    // After start-up, with the program's arguments (argv[0] first): fires OnAfterRestart when the
    // first argument is RestartParams exactly.
    void Loaded(const std::vector<std::string>& arguments);

    // What the latest check found.
    bool UpdateAvailable() const noexcept { return m_updateAvailable; }
    const std::string& OfferedVersion() const noexcept { return m_offeredVersion; }
    const std::string& UpgradeMsg() const noexcept { return m_upgradeMsg; }
    TupUpgradeMethod UpgradeMethod() const noexcept { return m_upgradeMethod; }
    const TupStringList& Files() const noexcept { return m_files; }
    bool AutomaticCheck() const noexcept { return m_automaticCheck; }
    bool TimerRunning() const noexcept { return m_timer != 0; }

    // The online test of the automatic check; tests hand in their own.
    std::function<bool()> OnlineTest;

protected:
    // The download of the file list (the installation steps); here nothing is downloaded.
    virtual void startDownload() {}
    TupUserInterface* ui() const noexcept { return m_ui; }
    bool showsMessage(TupUpdaterShowMessage flag) const { return (ShowMessages & upShowMessageBit(flag)) != 0; }
    // Signals the completion a waiting CheckUpdate waits for.
    void signalCompletion();

private:
    void attachEngine();
    void infoFileReceived(const std::string& text);
    void openInBrowser(std::string address);
    void hostUnreachable();
    void stopCheck();
    void updateTimer();
    void timerTick();

    TupUserInterface* m_ui;
    UrlOpener* m_browser;
    bool m_autoCheck = false;
    int m_autoCheckDelay = 10000;
    std::string m_restartParams = "/afterupdate";

    bool m_updateAvailable = false;
    bool m_waitMode = false;
    bool m_aborted = false;
    bool m_infoFileMode = false;
    bool m_automaticCheck = false;
    bool m_timerFired = false;
    std::shared_ptr<bool> m_completion;  // the completion a waiting CheckUpdate watches
    int m_timer = 0;

    TupStringList m_files;
    TupUpgradeMethod m_upgradeMethod = umSelfUpgrade;
    std::string m_upgradeMsg;
    std::string m_offeredVersion;
};

}  // namespace korvex
