#include "update/updater/previous_version.h"

#include <sstream>

#include "platform/codepage.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "update/check/info_file.h"
#include "update/install/handover.h"
#include "updatehelper/kept_version.h"
#include "updatehelper/program_wait.h"

namespace korvex::update {

namespace {

// One to four numbers and the dots between them, as a signed "#version" must be.
bool isVersionNumber(const std::string& text) {
    if (text.empty() || text.size() > 64 || text.front() == '.' || text.back() == '.') return false;
    int dots = 0;
    for (const char c : text) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots <= 3 && text.find("..") == std::string::npos;
}

std::string shown(const std::string& cp1251) {
    return cp1251ToUtf8(printableText(cp1251));
}

// A line of the helper's, in UTF-8 as the paths it names: only control bytes are made harmless.
std::string plainLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string newsText(const updatehelper::ReleaseNote& note, NoticeLanguage language) {
    const bool russian = language == NoticeLanguage::Russian;
    if (!note.failed.empty())
        return (russian ? "Предыдущая версия не возвращена, ничего не изменено: "
                        : "The previous version was not put back; nothing was changed: ") +
               plainLine(note.failed);
    const std::string version = shown(note.version);
    std::string text;
    if (note.undone.empty())
        text = russian ? "Korvex обновлён: теперь работает версия " + version + "."
                       : "Korvex now runs version " + version + ", installed by the last update.";
    else if (russian)
        text = "Возвращена предыдущая версия: теперь снова работает версия " + version + ". Версия " +
               shown(note.undone) + " отменена и не будет предложена снова, пока не выйдет более новая.";
    else
        text = "Korvex runs version " + version + " again: the update to " + shown(note.undone) +
               " was undone, and it is not offered again until a newer version appears.";
    if (!note.message.empty())
        text += (russian ? "\n\nЧто нового:\n" : "\nWhat is new:\n") + shown(note.message);
    return text;
}

}  // namespace

std::string readUndoneVersion(const std::string& settingsPath) {
    IniFile ini;
    ini.load(settingsPath);
    const std::string version = ini.value(kUpdateSection, kUndoneKey);
    return isVersionNumber(version) ? version : std::string();
}

void rememberUndoneVersion(const std::string& settingsPath, const std::string& version) {
    IniFile ini = loadSettingsForUpdate(settingsPath);
    ini.setValue(kUpdateSection, kUndoneKey, version);
    storeSettings(ini, settingsPath);
}

std::optional<PreviousVersion> keptPreviousVersion(const UpFolders& folders, std::string* refusal) {
    const auto kept = updatehelper::readKeptVersion(
        folders.programFolder, pathMacroFolders(folders.programFolder, folders.tempFolder), refusal);
    if (!kept) return std::nullopt;
    return PreviousVersion{kept->to, kept->from};
}

std::string undoButtonText(const PreviousVersion& kept) {
    return "Вернуть предыдущую версию " + shown(kept.previous) + " (вместо " + shown(kept.running) + ")";
}

std::string startUndo(const UpFolders& folders, const std::string& restartParams,
                      const std::string& settingsPath) {
    std::string refusal;
    const auto kept = keptPreviousVersion(folders, &refusal);
    if (!kept)
        return refusal.empty() ? "Предыдущая версия не сохранена: вернуть нечего."
                               : "Предыдущую версию вернуть нельзя, ничего не изменено: " + refusal;
    try {
        rememberUndoneVersion(settingsPath, kept->running);
    } catch (const SettingsWriteError& e) {
        return std::string("Предыдущая версия не возвращена: ") + e.what();
    }
    std::string error;
    if (!handOverUndo(folders, restartParams, &error))
        return "Не удалось запустить помощник обновления, ничего не изменено: " + error;
    return {};
}

std::string undoNow(const UpFolders& folders, const std::string& settingsPath) {
    std::string refusal;
    const auto files = updatehelper::readKeptVersion(
        folders.programFolder, pathMacroFolders(folders.programFolder, folders.tempFolder), &refusal);
    if (!files) return refusal.empty() ? "no previous version is kept in " + folders.programFolder : refusal;
    // A program that runs must not have its files changed under it (korvex-cli itself may be one: it
    // is not counted, and Linux lets it go on with the file it started from).
    for (const auto& file : files->files)
        if (updatehelper::runByProcessOfThisUser(file.target))
            return file.target +
                   " is running: close it (the Korvex window), then undo again; nothing was changed";
    const PreviousVersion kept{files->to, files->from};
    std::ostringstream log;
    if (!updatehelper::undoKeptVersion(folders.programFolder, folders.tempFolder, log))
        return firstLine(log.str());
    try {
        rememberUndoneVersion(settingsPath, kept.running);
    } catch (const SettingsWriteError& e) {
        return std::string(e.what()) + " (version " + shown(kept.running) +
               " is back in place, but may be offered again)";
    }
    return {};
}

std::string releaseNews(const std::string& programFolder, NoticeLanguage language, bool once) {
    const std::string path = programFolder + updatehelper::kReleaseNoteName;
    auto note = updatehelper::readReleaseNote(path);
    if (!note || (once && note->shown)) return {};
    const std::string text = newsText(*note, language);
    if (once) {
        // A failed undo is said once; the note of the release in place stays.
        note->shown = true;
        note->failed.clear();
        updatehelper::writeReleaseNote(path, *note);
    }
    return text;
}

}  // namespace korvex::update
