#pragma once
// What the fronts say when the keyring cannot be used: why, and what the user can do about it, in
// the front's language (UTF-8). Korvex itself never starts a bus or a keyring (secret_service_keyring.h),
// so the advice names what the user starts or unlocks, and under cron the session's bus to hand on.
#include <string>

#include "platform/notice_language.h"
#include "platform/password_keyring.h"

namespace korvex {

struct KeyringAdvice {
    std::string reason;  // "the keyring is locked": to follow "the passwords are kept in the keyring, but"
    std::string todo;    // a sentence saying what to do
};

KeyringAdvice keyringAdvice(const KeyringAnswer& answer, NoticeLanguage language);

// The crontab line that hands a cron job this user's session bus (systemd's place for it).
std::string crontabBusLine();

}  // namespace korvex
