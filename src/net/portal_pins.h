#pragma once
// The portals' certificates pinned on first use, the way SSH keeps host keys. The portals use
// self-signed certificates and bare IP addresses, so the program cannot verify them against an
// authority; instead the first successful TLS connection to a portal (scheme, host and port)
// records the SHA-256 of the public key it presented, and every later request to that portal
// carries the pin (libcurl's pinned public key, which holds with verification off): a different
// key ends the transfer during the handshake, before a password or any other byte is sent.
//
// The pins live in "Portals.pins" beside Settings.ini, readable by the owner only, one line a
// portal: its origin, a blank, and the pin in libcurl's notation:
//     https://203.0.113.7:443 sha256//RE2yVqhiTWt07+9yWapqk+I5kZsDNaeiLMaDt88bp/c=
// Lines starting with '#' and lines that are not pins are kept as they are.
//
// The file is read once, when the store is made, and written when its pins changed: once a run
// (saveChanges) or at once when the user trusts a new key (setPin); always whole, into a temporary
// file that is flushed to the disk and renamed over the old one, so that a crash or a full disk
// leaves the old file as it was. A link is written through, as Settings.ini is.
//
// The protection fails closed: a pin file that is there but cannot be read whole (a folder, no
// permission, an I/O error, more than kMaxPinsFileBytes) leaves the store with a loadError(), and
// every HTTPS request that carries the store is refused before it is sent. Only a missing file
// means first use.
#include <curl/curl.h>
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/atomic_file.h"

namespace korvex {

inline constexpr const char* kPinsFileName = "Portals.pins";
// The most a pin file may hold: some thousand portals' lines. A larger file is not read at all.
inline constexpr std::size_t kMaxPinsFileBytes = std::size_t{1} << 20;

// "https://host:port" of an HTTPS address, the host in lower case and the port always written
// (443 when the address has none); "" for any other scheme or an address that does not parse.
// A bare "host" or "host:port" counts as HTTPS, for addresses typed by a user.
std::string pinOrigin(std::string_view url);

// The pin of a certificate in PEM: "sha256//" and the base64 of the SHA-256 of its public key
// (SubjectPublicKeyInfo in DER); "" when the text holds no readable certificate.
std::string publicKeyPin(std::string_view certificatePem);

// Portals.pins in the folder of the settings file at `settingsPath`.
std::string pinsPathBeside(const std::string& settingsPath);

// A portal that presented another key than its pin.
struct PinMismatch {
    std::string origin;
    std::string pinned;
    std::string presented;  // "" when the handshake did not show it
};

// The system calls that write the pin file. Tests put in calls that fail, to see that a failed
// write, flush or rename leaves the old file whole and is reported.
using PinsFileCalls = FileWriteCalls;
inline PinsFileCalls systemPinsFileCalls() noexcept {
    return systemFileWriteCalls();
}

// Threads: every member may be called from several threads at once (the transfers of a parallel
// refresh run share one PortalPins); one mutex guards the lines, the index and the mismatches.
// path(), loadError() and unreadableLines() are fixed when the store is made.
class PortalPins {
public:
    // Reads the file at `path` when there is one. A file that cannot be read leaves no pins and
    // its error in loadError(); saving is then refused, so that a pin file that is there but
    // unreadable for the moment is never replaced by a nearly empty one.
    explicit PortalPins(std::string path, PinsFileCalls calls = systemPinsFileCalls());

    const std::string& path() const noexcept { return m_path; }
    // "" when the file was read or is missing; else why it could not be read ("PATH: reason").
    const std::string& loadError() const noexcept { return m_loadError; }
    // The numbers (from 1) of the lines that are neither pins, comments nor blank: kept as they are.
    const std::vector<int>& unreadableLines() const noexcept { return m_unreadableLines; }

    // The pin of `origin` (as pinOrigin gives it), "" when it has none yet.
    std::string pinOf(const std::string& origin) const;
    // Every pinned origin, in the order of the file.
    std::vector<std::string> origins() const;

    // Pins `origin` to `pin` (a new portal, or a new key the user trusts) and saves the file in one
    // step. Answers the error, or "". The pin holds for this session even when it cannot be saved.
    std::string setPin(const std::string& origin, const std::string& pin);
    // First use: pins `origin` to `pin` unless it has a pin already (another transfer of a parallel
    // run may have pinned it meanwhile), and answers the pin that holds afterwards. An existing pin
    // is never replaced here. Kept in memory until saveChanges().
    std::string pinIfNew(const std::string& origin, const std::string& pin);
    // Writes the file when a pin changed since it was read or last written: what a front calls once
    // its run is over. Answers the error, or "" (also when nothing changed).
    std::string saveChanges();

    // Keys that did not match, noted by the transfers and taken by the front that asks the user.
    void noteMismatch(PinMismatch mismatch);
    std::vector<PinMismatch> takeMismatches();

private:
    struct Line {
        std::string text;    // the line as read, for lines that are not pins
        std::string origin;  // empty for such lines
        std::string pin;
    };
    void load();
    std::string saveLocked();
    void setPinLocked(const std::string& origin, const std::string& pin);

    std::string m_path;
    PinsFileCalls m_calls;
    std::string m_loadError;
    std::vector<int> m_unreadableLines;
    std::vector<Line> m_lines;
    std::unordered_map<std::string, std::size_t> m_index;  // origin -> its first line in m_lines
    bool m_changed = false;
    std::vector<PinMismatch> m_mismatches;
    mutable std::mutex m_mutex;
};

// The key a portal presents now: one TLS handshake through the proxy given (as THttpTransfer's
// Proxy and ProxyPort; an empty proxy follows the usual environment variables), nothing sent on the
// connection. `pin` is "" when there was no handshake; `error` then says why. A raised `abort` ends
// the attempt at once.
struct PresentedKey {
    std::string pin;
    std::string error;
};
PresentedKey fetchPresentedKey(const std::string& origin, const std::string& proxy, long proxyPort,
                               long connectTimeout, const std::atomic<bool>* abort = nullptr);

// The pin of the server certificate in libcurl's certificate information of `handle`'s last
// transfer, "" when it holds none.
std::string presentedPin(CURL* handle);

}  // namespace korvex
