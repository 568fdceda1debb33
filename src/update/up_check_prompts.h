#pragma once
// What an update check asks of the person at the screen: the upgrade question, the password window
// and the message boxes by ShowMessages flag. A small interface of the check's own until the
// update dialogs' interface joins it; the window implements it with Qt, tests with a recorder.
//
// Threads: every call comes from the user-interface thread and is answered before it returns.
// Texts: the application title and the upgrade message are 8-bit text as the component holds it
// (cp1251); the implementation converts them for display.
#include <cstdint>
#include <optional>
#include <string>

namespace korvex {

// The ShowMessages flags, in bit order.
enum class TupUpdaterShowMessage : std::uint8_t {
    mAskUpgrade,
    mConnLost,
    mHostUnreachable,
    mLostFile,
    mNoInfoFile,
    mNoUpdateAvailable,
    mPasswordRequest,
};

constexpr std::uint8_t upShowMessageBit(TupUpdaterShowMessage flag) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(flag));
}

struct UpCheckCredentials {
    std::string userName;
    std::string password;
};

class TupCheckPrompts {
public:
    virtual ~TupCheckPrompts() = default;
    // The upgrade question: true only for Yes ("Later" and the close box answer false).
    virtual bool askUpgrade(const std::string& applicationTitle, const std::string& upgradeMessage) = 0;
    // The password window for the file `fileName`: the typed credentials on OK, nothing on Cancel.
    virtual std::optional<UpCheckCredentials> askPassword(const std::string& fileName, const std::string& userName) = 0;
    // A box by flag (mConnLost, mHostUnreachable, mNoInfoFile, mNoUpdateAvailable); `host` is the
    // host name alone for mHostUnreachable.
    virtual void showMessage(TupUpdaterShowMessage flag, const std::string& host) = 0;
};

}  // namespace korvex
