#pragma once
// Opening a web address in the user's browser. The window, korvex-cli and the account commands all go
// through UrlOpener, so tests hand in a recording one and nothing starts a browser there.
#include <string>

namespace korvex {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Hands `url` to the browser and returns at once. Whether a browser actually shows it is not
    // known and not reported.
    virtual void open(const std::string& url) = 0;
};

// The desktop's default browser through `xdg-open URL`. The program is started directly (no shell
// reads the address), in a session of its own, with standard input from /dev/null and none of our
// other descriptors; open() does not wait for it. A detached thread collects its exit status, so no
// zombie is left behind however long the browser runs. An address that is empty or begins with '-'
// (which xdg-open would take for an option) is not passed on; a program that cannot be started is
// silently given up, as the user sees nothing open either way.
class DesktopUrlOpener : public UrlOpener {
public:
    // `program` is looked up on PATH; tests name a stand-in of their own.
    explicit DesktopUrlOpener(std::string program = "xdg-open");
    void open(const std::string& url) override;

private:
    std::string m_program;
};

}  // namespace korvex
