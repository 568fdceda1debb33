// The installation steps of TupUpdater: the download of the file list one file after the other,
// each into its ".updtmp" file beside its final place, checked against the info file's digests;
// the wizard; the hand-over to the update helper; abort.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/ascii_text.h"
#include "update/install/handover.h"
#include "update/updater/updater.h"

namespace korvex {

namespace {

bool isSuccessStatus(int status) {
    return status == 200 || status == 206;
}

// The file's last-access and last-write times set to a local TDateTime, to two seconds as the
// DOS date-time form keeps them.
void setFileTimes(const std::string& path, TDateTime local) {
    const std::time_t asUtc = unixFromDateTime(local);
    std::tm fields{};
    if (gmtime_r(&asUtc, &fields) == nullptr) return;
    fields.tm_isdst = -1;
    std::time_t moment = std::mktime(&fields);
    if (moment == static_cast<std::time_t>(-1)) return;
    moment -= moment % 2;
    const timespec times[2] = {{moment, 0}, {moment, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// A box of the component's own: its text in the current language, then the reason.
UpMessageBox ownBox(UpText text, const std::string& reason) {
    UpMessageBox box;
    box.ownText = std::string(upText(text));
    if (!reason.empty()) box.ownText += "\n\n" + reason;
    return box;
}

}  // namespace

void TupUpdater::attachDownload() {
    TupCustomHTTP::OnHeaderInfo = [this](TupCustomHTTP&, const TupHeaderInfo& info, bool& keepOn) {
        if (m_phase == UpPhase::Downloading) fileStart(info, keepOn);
    };
    TupCustomHTTP::OnProgress = [this](TupCustomHTTP&, const TupProgressInfo& info) {
        if (m_phase == UpPhase::Downloading) fileProgress(info);
    };
    TupCustomHTTP::OnOutputError = [this](TupCustomHTTP&, const std::string&, const std::string& reason) {
        if (m_phase == UpPhase::Downloading) writeFailed(reason);
    };
    TupCustomHTTP::OnDeclined = [this](TupCustomHTTP&) {
        if (m_phase != UpPhase::Downloading) return;
        ++m_fileIndex;
        nextFile();
    };
}

void TupUpdater::refuseEntry() {
    signalCompletion();
    if (OnNoInfoFile) OnNoInfoFile(*this);
    if (m_ui) m_ui->showMessage(ownBox(UpText::EntryRefused, m_refusedEntry));
}

void TupUpdater::writeFailed(const std::string& reason) {
    if (!m_currentTemp.empty()) ::unlink(m_currentTemp.c_str());
    if (m_ui) m_ui->showMessage(ownBox(UpText::WriteFailed, reason));
    if (m_phase == UpPhase::Downloading) AbortUpgrade();
}

const update::PathMacroFolders& TupUpdater::macros() {
    if (!m_macros) m_macros = update::pathMacroFolders(Folders.programFolder, Folders.tempFolder);
    return *m_macros;
}

void TupUpdater::startDownload() {
    std::string why;
    if (!update::programFolderWritable(Folders.programFolder, &why)) {
        // Found before anything is fetched: a copy installed for the whole system is not ours to
        // replace.
        if (m_ui) m_ui->showMessage(ownBox(UpText::PackageManaged, why));
        return;
    }
    m_phase = UpPhase::Downloading;
    m_fileIndex = 0;
    m_temporaries.clear();
    m_macros = update::pathMacroFolders(Folders.programFolder, Folders.tempFolder);
    // What an earlier upgrade left unfinished (a program that was killed meanwhile) must not be
    // installed along with this one by the helper's sweep of the program folder.
    update::deleteProgramFolderTemporaries(Folders.programFolder);
    Range = TupHTTPRange{};
    if (Wizard.Enabled && m_ui) {
        applyWizardLanguage();
        m_ui->showWizard(
            UpWizardOptions{ApplicationTitle, Wizard.StayOnTop, Wizard.HideFileLocation, Wizard.Pic118x218},
            *this);
    }
    nextFile();
}

void TupUpdater::nextFile() {
    if (m_phase != UpPhase::Downloading) return;
    const std::size_t count = m_files.size();
    if (m_fileIndex >= count) {
        endOfDownload();
        return;
    }
    const update::FileEntry entry = update::splitFileEntry(m_files[m_fileIndex]);
    m_currentUrl = entry.url;
    m_lastModified = 0;
    if (m_ui && m_ui->isWizardOpen())
        m_ui->wizardFile(entry.url, static_cast<int>(m_fileIndex) + 1, static_cast<int>(count));

    const std::optional<std::string> path = update::finalPathOfEntry(m_files[m_fileIndex], macros());
    m_currentPath.clear();
    m_currentTemp.clear();
    if (!path) {
        // Refused with the info file already; a handler of OnBeginUpgrade may have changed the list.
        writeFailed(update::splitFileEntry(m_files[m_fileIndex]).localPath + ": " + std::strerror(EPERM));
        return;
    }
    if (!update::makeFoldersOf(*path)) {
        writeFailed(*path + ": " + std::strerror(errno));
        return;
    }
    if (entry.hasLocalPath) m_files[m_fileIndex] = entry.url + "=" + *path;
    m_currentPath = *path;
    m_currentTemp = update::updTmpName(*path);
    m_temporaries.push_back(m_currentTemp);
    URL = entry.url;
    OutputFileName = m_currentTemp;
    if (!Start()) lostFile(entry.url, 0);
}

void TupUpdater::fileStart(const TupHeaderInfo& info, bool& keepOn) {
    // A refused file goes on to the HTTP error and the lost-file question.
    if (!isSuccessStatus(info.StatusCode)) return;
    m_lastModified = info.LastModified;
    if (m_ui && m_ui->isWizardOpen()) m_ui->wizardFileStart(info.ContentLength);
    bool canUpgrade = true;
    struct stat existing {};
    if (MiscFilesUpgrade == mfuOnlyIfSizeDifferent && info.ContentLength != 0 && m_files.size() > 1 &&
        korvex::lowerAscii(update::urlFileName(m_currentPath)) !=
            korvex::lowerAscii(update::urlFileName(Folders.programPath)) &&
        ::stat(m_currentPath.c_str(), &existing) == 0)
        canUpgrade = existing.st_size != info.ContentLength;
    if (OnFileStart)
        OnFileStart(*this, m_currentUrl, static_cast<int>(info.ContentLength), m_lastModified, canUpgrade);
    keepOn = canUpgrade;
    // A skipped file keeps what is in place; a ".updtmp" left beside it by an earlier upgrade
    // would otherwise be installed by the helper in its stead.
    if (!keepOn) ::unlink(m_currentTemp.c_str());
}

void TupUpdater::fileProgress(const TupProgressInfo& info) {
    const auto count = static_cast<double>(m_files.size());
    const int total = info.PercentDone / static_cast<int>(m_files.size()) +
                      static_cast<int>(std::lround(100.0 * static_cast<double>(m_fileIndex) / count));
    const auto totalPercents = static_cast<std::uint8_t>(std::min(total, 100));
    if (OnProgress)
        OnProgress(*this, m_currentUrl, static_cast<int>(info.TotalSize), static_cast<int>(info.BytesRead),
                   info.ElapsedTime, info.EstimatedTimeLeft, info.PercentDone, totalPercents,
                   info.TransferRate);
    if (m_ui && m_ui->isWizardOpen())
        m_ui->wizardProgress(info.PercentDone, totalPercents, info.TransferRate, info.EstimatedTimeLeft);
}

void TupUpdater::fileStored() {
    if (!m_info || !update::downloadedFileAcceptable(m_currentTemp, *m_info, m_currentUrl, UpdatePublicKey)) {
        // Not the file the publisher signed for: it is never installed.
        ::unlink(m_currentTemp.c_str());
        lostFile(m_currentUrl, 0);
        return;
    }
    if (m_lastModified != 0) setFileTimes(m_currentTemp, m_lastModified);
    if (OnFileDone) OnFileDone(*this, m_currentTemp);
    ++m_fileIndex;
    nextFile();
}

void TupUpdater::lostFile(const std::string& url, int errorCode) {
    // Whatever stands under its ".updtmp" name (a stale file of an earlier upgrade) must not be
    // installed in place of the file that was lost.
    if (!m_currentTemp.empty()) ::unlink(m_currentTemp.c_str());
    bool continueUpgrade = false;
    if (OnLostFile) OnLostFile(*this, url, errorCode, continueUpgrade);
    if (showsMessage(TupUpdaterShowMessage::mLostFile) && m_ui) {
        UpMessageBox box;
        box.flag = TupUpdaterShowMessage::mLostFile;
        box.fileName = update::urlFileName(url);
        box.statusCode = errorCode;
        continueUpgrade = m_ui->showMessage(box);
    }
    if (m_phase != UpPhase::Downloading) return;  // aborted from a handler or the wizard meanwhile
    if (continueUpgrade) {
        ++m_fileIndex;
        nextFile();
    } else {
        AbortUpgrade();
    }
}

void TupUpdater::endOfDownload() {
    if (m_ui && m_ui->isWizardOpen()) {
        // The restart waits for the finish button (wizardFinished); Cancel still aborts.
        m_phase = UpPhase::FinishPage;
        m_ui->wizardFinishPage();
        return;
    }
    finishUpgrade();
}

void TupUpdater::wizardFinished() {
    if (m_phase != UpPhase::FinishPage) return;
    finishUpgrade();
}

void TupUpdater::wizardAbortConfirmed() {
    if (Upgrading()) AbortUpgrade();
}

void TupUpdater::finishUpgrade() {
    signalCompletion();
    m_phase = UpPhase::Finished;
    bool restartImmediately = true;
    if (OnEndUpgrade) OnEndUpgrade(*this, restartImmediately);
    if (restartImmediately) RestartApplication();
}

void TupUpdater::RestartApplication() {
    update::HandOver handOver{Folders, m_files, RestartParams(), m_upgradeMethod == umUseExternalSetup,
                              m_phase == UpPhase::Finished};
    // The helper keeps what this release replaces under both versions, and the first start says which runs.
    if (!m_offeredVersion.empty())
        handOver.release = updatehelper::ReleaseNote{
            m_offeredVersion, VersionControl == byNumber ? VersionNumber : VersionDate, {}, false, m_upgradeMsg};
    std::string error;
    if (!update::handOverToHelper(handOver, macros(), &error)) {
        // Nothing would start the program again: it stays open.
        if (m_ui) m_ui->showMessage(ownBox(UpText::HandOverFailed, error));
        return;
    }
    if (OnDoOwnCloseAppMethod)
        OnDoOwnCloseAppMethod(*this);
    else if (CloseApplication)
        CloseApplication();
}

void TupUpdater::stopDownload() {
    if (!Upgrading()) return;
    m_phase = UpPhase::Idle;
    if (m_ui && m_ui->isWizardOpen()) m_ui->closeWizard();
    // Nothing resumes a broken download: its partial files would only wait to be installed by a
    // later upgrade's helper.
    deleteTemporaries();
}

void TupUpdater::deleteTemporaries() {
    update::deleteProgramFolderTemporaries(Folders.programFolder);
    for (const std::string& temp : m_temporaries) ::unlink(temp.c_str());
    m_temporaries.clear();
}

}  // namespace korvex
