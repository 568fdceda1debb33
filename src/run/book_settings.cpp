#include "run/book_settings.h"

namespace korvex {

BookSettings loadBookSettings(const std::string& path) {
    BookSettings settings;
    settings.path = path;
    std::error_code error;
    const IniFile::LoadStatus status = settings.file.load(path, &error);
    settings.state = settingsFileState(status, error);
    if (!settings.state.usable()) {
        settings.file = IniFile{};  // nothing of a file that cannot be understood is taken
        return settings;
    }
    settings.start = readStartup(settings.file);
    settings.refresh = readRefreshSettings(settings.file);
    settings.lowBalance = readLowBalance(settings.file, settings.lowBalance);
    settings.daysLeft = readDaysLeft(settings.file);
    settings.keyringPasswords = keyringEnabled(settings.file);
    return settings;
}

void BookSettings::readBook(AccountBook& book) const {
    book.setCount(start.count);
    read(book, file);
}

BookSaveAnswer BookSettings::save(const AccountBook& book, const ProxySettings& proxy, KeyringBook* keyring,
                                  int emptyRowsTo) {
    // Not usable, the file is read again by the save, which then refuses to write over it.
    const IniFile* base = state.usable() ? &file : nullptr;
    BookSaveAnswer answer = saveBook(book, proxy, path, keyring, emptyRowsTo, base);
    file = answer.written;  // what the next save starts from
    state = {SettingsFileState::Book, {}};
    return answer;
}

}  // namespace korvex
