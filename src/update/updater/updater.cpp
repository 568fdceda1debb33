#include "update/updater/updater.h"

#include "platform/ascii_text.h"
#include "update/updater/info_check.h"

#include "update/install/helper_image.h"
#include "update/check/online.h"
#include "update/engine/url.h"

namespace korvex {

namespace {

UpMessageBox messageBox(TupUpdaterShowMessage flag, std::string host = {}) {
    UpMessageBox box;
    box.flag = flag;
    box.host = std::move(host);
    return box;
}

}  // namespace

TupUpdater::TupUpdater(TupDispatcher& dispatcher, TupUserInterface* ui, UrlOpener* browser)
    : TupCustomHTTP(dispatcher), m_ui(ui), m_browser(browser) {
    OnlineTest = &isOnline;
    // An update file that crawls (a server feeding a byte now and then) is a lost connection.
    LowSpeedLimit = kUpdateFileLowSpeed;
    attachEngine();
    attachDownload();
    // A helper written for an earlier update has done its work by now.
    update::deleteLeftoverHelper(Folders.helperPath);
}

TupUpdater::~TupUpdater() {
    setAutoCheck(false);
    // A program closed in the middle of an upgrade leaves none of its files behind, and no wizard
    // that would report to a component that is gone.
    if (Upgrading()) {
        Abort(true, true);
        if (m_ui && m_ui->isWizardOpen()) m_ui->closeWizard();
        deleteTemporaries();
    }
}

void TupUpdater::setAutoCheck(bool value) {
    m_autoCheck = value;
    updateTimer();
}

void TupUpdater::setAutoCheckDelay(int value) {
    m_autoCheckDelay = value;
    if (m_timer != 0) {
        Dispatcher().stopTimer(m_timer);
        m_timer = 0;
    }
    updateTimer();
}

void TupUpdater::setRestartParams(std::string value) { m_restartParams = value.empty() ? " " : std::move(value); }

void TupUpdater::attachEngine() {
    TupCustomHTTP::OnDone = [this](TupCustomHTTP&, const std::string&, std::int64_t, const std::string* stream) {
        // A check that was aborted meanwhile offers nothing.
        if (m_phase == UpPhase::Checking) infoFileReceived(stream != nullptr ? *stream : std::string{});
        else if (m_phase == UpPhase::Downloading) fileStored();
    };
    TupCustomHTTP::OnHTTPError = [this](TupCustomHTTP&, int status, const std::string*) {
        if (m_phase == UpPhase::Downloading) lostFile(m_currentUrl, status);
        if (m_phase != UpPhase::Checking) return;
        m_phase = UpPhase::Idle;
        noInfoFile(UpCheckFailure::HttpStatus);
    };
    TupCustomHTTP::OnHostUnreachable = [this](TupCustomHTTP&) {
        if (fetching()) hostUnreachable();
    };
    TupCustomHTTP::OnConnectionLost = [this](TupCustomHTTP&, const std::string&, std::int64_t, std::int64_t,
                                             const std::string*) {
        if (fetching()) connectionLost();
    };
    TupCustomHTTP::OnPasswordRequest = [this](TupCustomHTTP&, const std::string& realm, bool& tryAgain) {
        passwordRequest(realm, tryAgain);
    };
    TupCustomHTTP::OnAborted = [this](TupCustomHTTP&) {
        if (m_phase == UpPhase::Checking) m_phase = UpPhase::Idle;
    };
}

void TupUpdater::connectionLost() {
    if (m_phase == UpPhase::Checking && BodyTooLarge()) {
        // Read no further: an info file this long is none.
        m_phase = UpPhase::Idle;
        noInfoFile(UpCheckFailure::TooLarge);
        stopCheck();
        return;
    }
    if (m_phase == UpPhase::Checking)
        m_checkFailure = TimedOut() ? UpCheckFailure::TimedOut : UpCheckFailure::ConnectionLost;
    if (OnConnLost) OnConnLost(*this);
    if (showsMessage(TupUpdaterShowMessage::mConnLost) && m_ui) {
        UpMessageBox box = messageBox(TupUpdaterShowMessage::mConnLost);
        if (m_checkFailure == UpCheckFailure::TimedOut) box.failure = UpCheckFailure::TimedOut;
        showBox(box);
    }
    stopCheck();
    stopDownload();
}

void TupUpdater::passwordRequest(const std::string& realm, bool& tryAgain) {
    if (OnPasswordRequest) OnPasswordRequest(*this, realm, tryAgain);
    if (tryAgain || !showsMessage(TupUpdaterShowMessage::mPasswordRequest)) return;
    std::optional<UpCredentials> credentials;
    if (m_ui) credentials = m_ui->askPassword(UpPasswordQuestion{update::urlFileName(URL), HTTPUsername()});
    if (!credentials) {
        AbortUpgrade();
        return;
    }
    setHTTPUsername(credentials->userName);
    setHTTPPassword(credentials->password);
    tryAgain = true;
}

bool TupUpdater::CheckUpdate(bool wait) {
    // A call made while a waiting one waits (a handler's, the timer's) leaves it waiting.
    if (wait) m_origin = CheckOrigin::Waiting;
    else if (m_origin == CheckOrigin::Timer) m_origin = CheckOrigin::Asked;
    // A running upgrade (its files, its finish page) is not disturbed by a new check.
    if (!Busy() && !Upgrading()) {
        // Each check answers for itself: a release found by an earlier check is not offered again
        // unless the info file still offers it.
        m_updateAvailable = false;
        m_offeredUndone = false;
        m_infoTrust = update::InfoTrust::Accepted;
        m_checkFailure = UpCheckFailure::None;
        m_refusedEntry.clear();
        m_phase = UpPhase::Checking;
        URL = InfoFileURL;
        OutputFileName.clear();
        Range = TupHTTPRange{};
        // The info file is always asked of the server itself, is read up to its size limit and
        // within its time limit; Start takes these for this transfer only, and the settings stay
        // as they were for the update files.
        const TupCacheOptions published = CacheOptions;
        const int publishedTimeLimit = TimeLimit;
        const std::int64_t publishedMaxBody = MaxMemoryBody;
        CacheOptions.insert(coPragmaNoCache);
        TimeLimit = InfoFileTimeLimit;
        MaxMemoryBody = static_cast<std::int64_t>(update::kMaxInfoFileSize);
        Start();
        CacheOptions = published;
        TimeLimit = publishedTimeLimit;
        MaxMemoryBody = publishedMaxBody;
    }
    if (wait) {
        auto completion = std::make_shared<bool>(false);
        m_completion = completion;
        Dispatcher().waitUntil([&completion] { return *completion; });
        if (m_completion == completion) m_completion.reset();
    }
    if (m_origin == CheckOrigin::Waiting) m_origin = CheckOrigin::Asked;
    return m_updateAvailable;
}

void TupUpdater::signalCompletion() {
    if (m_completion) *m_completion = true;
}

void TupUpdater::stopCheck() {
    if (m_phase == UpPhase::Checking) m_phase = UpPhase::Idle;
    signalCompletion();
    Abort(false, false);
}

void TupUpdater::AbortUpgrade() {
    signalCompletion();
    if (Upgrading()) {
        // The file being fetched is closed and deleted at once, before the sweep below, so no
        // worker writes a file after it.
        m_phase = UpPhase::Idle;
        Abort(true, true);
        if (m_ui && m_ui->isWizardOpen()) m_ui->closeWizard();
        deleteTemporaries();
    } else {
        // The worker stops at its next step; what it fetched is dropped with the aborted check.
        if (m_phase == UpPhase::Checking || m_phase == UpPhase::Decided) m_phase = UpPhase::Idle;
        Abort(false, false);
    }
    if (OnAborted) OnAborted(*this);
}

void TupUpdater::hostUnreachable() {
    const bool infoFile = m_phase == UpPhase::Checking;
    if (infoFile) m_phase = UpPhase::Idle;
    const std::string url = infoFile ? InfoFileURL : URL;
    const auto parts = crackUrl(url);
    const std::string host = parts ? parts->host : std::string{};
    if (infoFile)
        m_checkFailure = TimedOut()          ? UpCheckFailure::TimedOut
                         : RedirectRefused() ? UpCheckFailure::RedirectRefused
                                             : UpCheckFailure::NoConnection;
    if (OnHostUnreachable) OnHostUnreachable(*this, url, host);
    // Once the user has said Yes, a download that cannot reach its server is said, even when an
    // automatic check found the update.
    if (m_origin == CheckOrigin::Timer && m_phase != UpPhase::Downloading) {
        // An automatic check tries again after AutoCheckDelay, without a word.
        m_timerFired = false;
        updateTimer();
    } else if (showsMessage(TupUpdaterShowMessage::mHostUnreachable) && m_ui) {
        UpMessageBox box = messageBox(TupUpdaterShowMessage::mHostUnreachable, host);
        if (TimedOut()) box.failure = UpCheckFailure::TimedOut;
        if (RedirectRefused()) box.failure = UpCheckFailure::RedirectRefused;
        showBox(box);
    }
    stopCheck();
    stopDownload();
}

void TupUpdater::infoFileReceived(const std::string& text) {
    m_phase = UpPhase::Decided;
    decide(text);
    // Nothing downloads: the check is over.
    if (m_phase == UpPhase::Decided) m_phase = UpPhase::Idle;
}

void TupUpdater::decide(const std::string& text) {
    // The one check korvex-sign-update verify makes too (update/updater/info_check.h).
    m_macros.reset();  // the user's folders as they are now
    update::InfoCheck check = update::checkInfoFile(text, UpdatePublicKey, macros());
    m_infoTrust = check.trust;
    m_info = std::move(check.info);
    m_files.clear();
    m_refusedEntry = std::move(check.refusedEntry);
    if (check.failure != UpCheckFailure::None) {
        noInfoFile(check.failure);
        return;
    }
    if (!m_refusedEntry.empty()) {
        refuseEntry();
        return;
    }
    const update::TrustedInfo& info = *m_info;
    m_files = infoFileList(info);
    bool newer = false;
    if (VersionControl == byNumber) {
        m_offeredVersion = info.value("#version");
        newer = isNewerNumber(m_offeredVersion, VersionNumber);
        // The release the user went back from stays away until a newer one appears.
        m_offeredUndone = newer && !UndoneVersion.empty() && !isNewerNumber(m_offeredVersion, UndoneVersion);
        newer = newer && !m_offeredUndone;
    } else {
        m_offeredVersion = info.value("#date");
        newer = isNewerDate(m_offeredVersion, VersionDate, todayText());
    }
    // What reaches a box or a terminal carries no control bytes of the server's.
    m_offeredVersion = printableText(m_offeredVersion);
    if (newer && !m_files.empty()) {
        m_updateAvailable = true;
        m_upgradeMsg = printableText(info.bracedValue("#message"));
        m_upgradeMethod = infoUpgradeMethod(info);
        bool canUpgrade = m_updateAvailable;
        if (OnBeginUpgrade) OnBeginUpgrade(*this, m_upgradeMsg, m_upgradeMethod, m_files, canUpgrade);
        // A handler that called AbortUpgrade has ended the check: nothing is asked or fetched.
        if (m_origin != CheckOrigin::Waiting && m_phase == UpPhase::Decided) offerUpgrade(canUpgrade);
    } else {
        m_upgradeMsg.clear();
        if (OnNoUpdateAvailable) OnNoUpdateAvailable(*this);
        if (m_origin != CheckOrigin::Timer && showsMessage(TupUpdaterShowMessage::mNoUpdateAvailable) && m_ui)
            showBox(messageBox(TupUpdaterShowMessage::mNoUpdateAvailable));
    }
    signalCompletion();
}

void TupUpdater::offerUpgrade(bool canUpgrade) {
    applyWizardLanguage();
    const bool asked = showsMessage(TupUpdaterShowMessage::mAskUpgrade);
    // Without anyone to ask, nothing is downloaded unasked.
    if (!canUpgrade ||
        (asked && (!m_ui || !m_ui->askUpgrade(UpUpgradeQuestion{ApplicationTitle, m_upgradeMsg})))) {
        if (OnLaterUpgrade) OnLaterUpgrade(*this);
    } else if (m_upgradeMethod == umRedirectToURL) {
        if (!m_files.empty()) openInBrowser(m_files.front());
    } else if (!m_files.empty()) {
        startDownload();
    }
}

void TupUpdater::noInfoFile(UpCheckFailure failure) {
    m_checkFailure = failure;
    m_info.reset();
    signalCompletion();
    if (OnNoInfoFile) OnNoInfoFile(*this);
    // A status is the plain "no info file" (mNoInfoFile). The other causes are ours: a check the
    // user asked for says them when it would say either that or an unreachable host.
    const bool asked = m_origin != CheckOrigin::Timer;
    const bool shown = failure == UpCheckFailure::HttpStatus
                           ? showsMessage(TupUpdaterShowMessage::mNoInfoFile)
                           : asked && (showsMessage(TupUpdaterShowMessage::mNoInfoFile) ||
                                       showsMessage(TupUpdaterShowMessage::mHostUnreachable));
    if (shown && m_ui) {
        UpMessageBox box = messageBox(TupUpdaterShowMessage::mNoInfoFile);
        box.failure = failure;
        showBox(box);
    }
}

void TupUpdater::showBox(const UpMessageBox& box) {
    applyWizardLanguage();
    m_ui->showMessage(box);
}

void TupUpdater::applyWizardLanguage() {
    // The language is the process's: set only when Wizard.Language has changed since it was last
    // applied, so a language set elsewhere (wlAuto at start: the user's locale) stays until then.
    if (Wizard.Language == m_appliedLanguage) return;
    m_appliedLanguage = Wizard.Language;
    upSetLanguage(Wizard.Language);
}

void TupUpdater::openInBrowser(std::string address) {
    if (address.find("://") == std::string::npos) address = "http://" + address;
    // A web page only: the desktop's opener would open a "file://" address, or one of another
    // program's schemes, with whatever it names.
    const std::string scheme = korvex::lowerAscii(address.substr(0, address.find("://")));
    if (scheme != "http" && scheme != "https") {
        UpMessageBox box;
        box.ownText = std::string(upText(UpText::RedirectRefused)) + "\n\n" + address;
        if (m_ui) m_ui->showMessage(box);
        return;
    }
    if (m_browser) m_browser->open(address);
}

void TupUpdater::updateTimer() {
    const bool wanted = m_autoCheck && m_autoCheckDelay > 0 && !m_timerFired;
    if (wanted && m_timer == 0) {
        m_timer = Dispatcher().startTimer(m_autoCheckDelay, [this] { timerTick(); });
    } else if (!wanted && m_timer != 0) {
        Dispatcher().stopTimer(m_timer);
        m_timer = 0;
    }
}

void TupUpdater::timerTick() {
    try {
        if (!(OnlineTest ? OnlineTest() : isOnline()) || !m_autoCheck) return;  // offline: the timer goes on
        m_timerFired = true;
        updateTimer();
        CheckUpdate(false);
        m_origin = CheckOrigin::Timer;
    } catch (...) {
        // As any other event of the program: its exception handler reports it, and the program
        // goes on.
        if (!OnApplicationException) throw;
        OnApplicationException(std::current_exception());
    }
}

void TupUpdater::Loaded(const std::vector<std::string>& arguments) {
    if (OnAfterRestart && arguments.size() > 1 && arguments[1] == m_restartParams) OnAfterRestart(*this);
}

}  // namespace korvex
