#pragma once
// What the update component asks of the person at the screen: the upgrade question, the download
// wizard, the password window and the message boxes. The core holds only this interface; the window
// implements it with Qt (src/app/), tests and korvex-cli with their own.
//
// Threads: every call comes from the user-interface thread and every answer is given before the call
// returns. The question, the password window and the message boxes are modal; the wizard calls return
// at once, and the wizard reports back through TupWizardListener, also on the user-interface thread.
//
// Texts: every std::string here (but the picture's path) is 8-bit text as the component holds it (the
// application title, the upgrade message of the info file, addresses, credentials: cp1251 bytes); the
// implementation converts at the display boundary. The dialog texts themselves come from the language table
// of the process.
#include <cstdint>
#include <optional>
#include <string>

namespace korvex {

// The ShowMessages flags, in bit order: which dialogs and boxes the component may show.
enum class TupUpdaterShowMessage : std::uint8_t {
    mAskUpgrade,         // the upgrade question window
    mConnLost,           // error box, text 30
    mHostUnreachable,    // error box, text 26 with "http://" + host
    mLostFile,           // Yes/No warning box, text 28 with the file name; caption 21 " #" status
    mNoInfoFile,         // error box, text 25
    mNoUpdateAvailable,  // information box, text 24
    mPasswordRequest,    // the password window
};

constexpr std::uint8_t upShowMessageBit(TupUpdaterShowMessage flag) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(flag));
}

// Why a check of the info file failed: the box says it, korvex-cli prints it.
enum class UpCheckFailure : std::uint8_t {
    None,
    NoConnection,    // no answer at all (text 26)
    TimedOut,        // the info file did not arrive within its time limit
    HttpStatus,      // the server answered with a status other than 200 or 206 (text 25)
    ConnectionLost,  // the body broke off (text 30)
    TooLarge,        // the info file is longer than the program reads
    NotTrusted,      // a rule of the publisher's signature refused it
    Expired,         // signed, but past its expiry date or without one
    NotAnInfoFile,   // it names no version, no date and no file
    RedirectRefused, // the server redirected to a scheme the component does not follow (ftp, file...)
};

// A message box asked for by its flag (mConnLost, mHostUnreachable, mLostFile, mNoInfoFile or
// mNoUpdateAvailable), with the values its text takes.
struct UpMessageBox {
    TupUpdaterShowMessage flag = TupUpdaterShowMessage::mConnLost;
    std::string host;      // mHostUnreachable: the host name alone; the box puts "http://" in front
    std::string fileName;  // mLostFile: the file name of the URL (after its last "/" or "\")
    int statusCode = 0;    // mLostFile: the HTTP status the file was answered with
    // Not empty: an error box of the component's own (an update it cannot install) with this
    // UTF-8 text, whatever the flag.
    std::string ownText;
    // mHostUnreachable, mConnLost, mNoInfoFile: a failed check's cause, when its text is not the
    // flag's own (None: the flag's text).
    UpCheckFailure failure = UpCheckFailure::None;
};

// The upgrade question (mAskUpgrade).
struct UpUpgradeQuestion {
    std::string applicationTitle;  // fills the first %s of text 23
    std::string upgradeMessage;    // "#message" of the info file; may be empty
};

// The password window (mPasswordRequest).
struct UpPasswordQuestion {
    std::string fileName;  // the file name of the URL being fetched, for text 29
    std::string userName;  // HTTPUsername as it stands, shown in the user-name field
};

struct UpCredentials {
    std::string userName;
    std::string password;
};

// The Wizard settings of the component that the wizard window itself uses.
struct UpWizardOptions {
    std::string applicationTitle;   // caption of the abort question, text 10 of the finish page
    bool stayOnTop = true;          // Wizard.StayOnTop
    bool hideFileLocation = false;  // Wizard.HideFileLocation: no address field, smaller group box
    std::string pictureFile;        // Wizard.Pic118x218: an image file's path (file-system bytes);
                                    // empty: the built-in picture
};

// What the wizard tells the component. Each is called at most once per opened wizard, and the wizard
// is closed (isWizardOpen() false) by the time it is called.
class TupWizardListener {
public:
    virtual ~TupWizardListener() = default;
    // The finish button closed the wizard: the restart may proceed.
    virtual void wizardFinished() = 0;
    // The user cancelled (Cancel, the close box or Alt+F4) and confirmed the abort question.
    virtual void wizardAbortConfirmed() = 0;
};

class TupUserInterface {
public:
    virtual ~TupUserInterface() = default;

    // mAskUpgrade: true only when the user answers Yes; "Later" and the close box answer false.
    virtual bool askUpgrade(const UpUpgradeQuestion& question) = 0;

    // mPasswordRequest: the typed user name and password on OK; nothing on Cancel or the close box.
    virtual std::optional<UpCredentials> askPassword(const UpPasswordQuestion& question) = 0;

    // A box by flag. Answers true only when a mLostFile box is answered Yes (go on with the next file);
    // every other box has only OK and answers false.
    virtual bool showMessage(const UpMessageBox& box) = 0;

    // The download wizard. Opening it again while it is open keeps the one window and applies the
    // options. The listener must outlive the open wizard.
    virtual void showWizard(const UpWizardOptions& options, TupWizardListener& listener) = 0;
    virtual bool isWizardOpen() const = 0;
    // Per file: its address and "Downloading %d of %d" (number counts from 1).
    virtual void wizardFile(const std::string& url, int number, int count) = 0;
    // The server answered for the current file; size in bytes as announced (0 when unknown).
    virtual void wizardFileStart(std::int64_t fileSize) = 0;
    // After each chunk: percents of this file and of all files (0..100), rate in KB/s and the
    // estimated seconds left of this file.
    virtual void wizardProgress(int percentDone, int totalPercentsDone, double transferRateKbps,
                                std::int64_t estimatedSecondsLeft) = 0;
    // All files are downloaded: the finish page. The finish button closes the wizard and calls
    // wizardFinished().
    virtual void wizardFinishPage() = 0;
    // Closes the wizard without asking and without telling the listener (an abort or a failure that
    // the component itself decided).
    virtual void closeWizard() = 0;
};

}  // namespace korvex
