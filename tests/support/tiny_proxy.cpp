#include "tests/support/tiny_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace korvex::test {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool accepts(int port) {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) return false;
    const sockaddr_in address = loopback(port);
    const bool connected = ::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(sock);
    return connected;
}

}  // namespace

int freeLoopbackPort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) throw std::runtime_error("no socket for a free port");
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    const bool ok = ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(sock);
    if (!ok) throw std::runtime_error("no free loopback port");
    return ntohs(address.sin_port);
}

bool TinyProxy::available() {
    return ::access(kBinary, X_OK) == 0;
}

TinyProxy::TinyProxy() : m_port(freeLoopbackPort()) {
    const std::string config = m_dir.write("tinyproxy.conf", "Port " + std::to_string(m_port) + "\n" +
                                                                 "Listen 127.0.0.1\n"
                                                                 "Timeout 30\n"
                                                                 "MaxClients 20\n"
                                                                 "Allow 127.0.0.1\n"
                                                                 "LogLevel Info\n"
                                                                 "ViaProxyName \"" +
                                                                 kViaName + "\"\n");
    const std::string logPath = m_dir.file("tinyproxy.log");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string binary = kBinary, foreground = "-d", configFlag = "-c", configPath = config;
    char* argv[] = {binary.data(), foreground.data(), configFlag.data(), configPath.data(), nullptr};
    const int spawned = posix_spawn(&m_pid, kBinary, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start tinyproxy");

    for (int attempt = 0; attempt < 500; ++attempt) {  // up to about five seconds
        if (accepts(m_port)) return;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("tinyproxy ended at start:\n" + log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("tinyproxy does not accept connections:\n" + log());
}

TinyProxy::~TinyProxy() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
}

std::string TinyProxy::log() const {
    return readFile(m_dir.file("tinyproxy.log"));
}

}  // namespace korvex::test
