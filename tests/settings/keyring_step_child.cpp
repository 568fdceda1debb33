// A program that changes where a settings file keeps its passwords, as the window and korvex-cli
// do, and stops itself (SIGSTOP) after the named step, for the parent test to kill it there:
//   korvex_keyring_step SETTINGS on|off|add STEP
// "add" loads the book with its passwords, adds the account "added" with the password "added-pw" and
// saves. Exit status 0: done without stopping; 3: the keyring refused; 4: a bad command line.
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/secret_service_keyring.h"
#include "settings/keyring_passwords.h"
#include "settings/settings_file.h"

using namespace korvex;

int main(int argc, char** argv) {
    if (argc != 4) return 4;
    const std::string path = argv[1], action = argv[2], stopAt = argv[3];
    const KeyringStepHook hook = [&](std::string_view step) {
        if (step == stopAt) std::raise(SIGSTOP);
    };
    SecretServiceKeyring keyring;
    KeyringBook passwords(keyring, path);
    KeyringAnswer answer;
    if (action == "on") {
        answer = passwords.turnOn(hook);
    } else if (action == "off") {
        answer = passwords.turnOff(hook);
    } else if (action == "add") {
        const StartupValues start = readStartup(path);
        AccountBook book;
        book.setCount(start.count + 1);
        read(book, path);
        answer = passwords.fill(book);
        if (answer.ok()) {
            book.client.setRow(start.count, {"added", "added-pw", "SG", "New"});
            answer = passwords.save(book, start.proxy, 0, hook);
        }
    } else {
        return 4;
    }
    if (!answer.ok()) std::fprintf(stderr, "%s\n", answer.message.c_str());
    return answer.ok() ? 0 : 3;
}
