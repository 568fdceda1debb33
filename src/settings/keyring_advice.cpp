#include "settings/keyring_advice.h"

#include <unistd.h>

namespace korvex {

namespace {

// Why the keyring cannot be used, as the user has to act on it.
enum Cause { kLocked, kNoBus, kBusUnreachable, kNoService, kNoDefault, kFailed, kCauses };

struct Words {
    const char* reason;
    const char* todo;
};

// By cause, English then Russian. "{line}" is the crontab line, "{system}" the system's own words.
constexpr Words kWords[kCauses][2] = {
    {{"the keyring is locked",
      "Unlock the desktop's keyring (logging into the desktop or Passwords and Keys unlocks it) and run the "
      "command again."},
     {"связка ключей заблокирована",
      "Разблокируйте связку ключей рабочего стола (она открывается при входе в сеанс или в «Паролях и "
      "ключах») и повторите."}},
    {{"DBUS_SESSION_BUS_ADDRESS is not set, so the desktop session's keyring cannot be reached (Korvex "
      "starts no bus or keyring of its own)",
      "Run it in the desktop session; under cron, hand it that session's bus with this line in the crontab: "
      "{line}"},
     {"Korvex запущена вне сеанса рабочего стола: переменная DBUS_SESSION_BUS_ADDRESS не задана, а свою шину "
      "и связку ключей Korvex не запускает",
      "Запустите Korvex из сеанса рабочего стола, в котором работает связка ключей."}},
    {{"the session bus that DBUS_SESSION_BUS_ADDRESS names does not answer ({system})",
      "Log into the desktop, so that its session bus runs, and run the command again; under cron, "
      "DBUS_SESSION_BUS_ADDRESS must name that bus, with this line in the crontab: {line}"},
     {"шина сеанса, указанная в DBUS_SESSION_BUS_ADDRESS, не отвечает",
      "Войдите в сеанс рабочего стола и запустите Korvex из него."}},
    {{"no keyring runs in the desktop session ({system})",
      "Start the desktop's keyring (GNOME Keyring or KWallet), unlock it and run the command again; under "
      "cron, DBUS_SESSION_BUS_ADDRESS must name the desktop session's bus, with this line in the crontab: "
      "{line}"},
     {"в сеансе рабочего стола не запущена связка ключей",
      "Запустите связку ключей рабочего стола (GNOME Keyring или KWallet), разблокируйте её и повторите."}},
    {{"the keyring has no default collection to keep passwords in",
      "Create a default keyring in the desktop's keyring manager (Passwords and Keys, KWalletManager) and "
      "run "
      "the command again."},
     {"в связке ключей нет хранилища по умолчанию",
      "Создайте связку ключей по умолчанию (в «Паролях и ключах» или KWalletManager) и повторите."}},
    {{"the keyring answered with an error ({system})",
      "Run the command again; should the error stay, restart the desktop's keyring."},
     {"связка ключей ответила ошибкой ({system})",
      "Повторите; если ошибка не уйдёт, перезапустите связку ключей рабочего стола."}},
};

Cause causeOf(const KeyringAnswer& answer) {
    switch (answer.state) {
        case KeyringState::Locked:
            return kLocked;
        case KeyringState::Absent:
            switch (answer.absence) {
                case KeyringAbsence::NoSessionBus:
                    return kNoBus;
                case KeyringAbsence::BusUnreachable:
                    return kBusUnreachable;
                case KeyringAbsence::NoSecretService:
                    return kNoService;
                case KeyringAbsence::NoDefaultKeyring:
                    return kNoDefault;
            }
            break;
        case KeyringState::Ready:
        case KeyringState::Failed:
            break;
    }
    return kFailed;
}

std::string filledIn(std::string text, const std::string& system) {
    for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{line}", crontabBusLine()},
                                      {"{system}", system.empty() ? std::string("no reason given") : system}})
        if (const std::size_t at = text.find(mark); at != std::string::npos)
            text.replace(at, mark.size(), value);
    return text;
}

}  // namespace

std::string crontabBusLine() {
    return "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/" + std::to_string(::getuid()) + "/bus";
}

KeyringAdvice keyringAdvice(const KeyringAnswer& answer, NoticeLanguage language) {
    const Words& words = kWords[causeOf(answer)][language == NoticeLanguage::Russian ? 1 : 0];
    // A keyring of the tests (or another) may give no system's words: its own message stands in.
    const std::string& system = answer.reason.empty() ? answer.message : answer.reason;
    return {filledIn(words.reason, system), filledIn(words.todo, system)};
}

}  // namespace korvex
