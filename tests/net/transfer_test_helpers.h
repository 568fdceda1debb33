#pragma once
// What the transfer tests share: a component set up like the program's, and one request made the
// way the program's callers make it.
#include <string>
#include <vector>

#include "net/http_transfer.h"
#include "net/receive_buffer.h"
#include "tests/support/test_server.h"

namespace korvex::test {

struct Answer {
    bool ok = false;
    std::string page;
};

// Attaches a fresh receive buffer, sets the URL, runs the transfer and detaches the buffer again.
inline Answer fetch(THttpTransfer& curl, const std::string& url) {
    ReceiveBuffer buffer;
    curl.setReceiveStream(&buffer);
    curl.setURL(url);
    Answer answer;
    answer.ok = curl.Perform();
    curl.setReceiveStream(nullptr);
    answer.page = buffer.bytes();
    return answer;
}

// A loopback port whose listen queue is full: a connection attempt there waits until its
// connect time-out, as with a host that does not answer.
class UnansweredPort {
public:
    UnansweredPort();
    ~UnansweredPort();
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;
    int port() const noexcept { return m_port; }

private:
    int m_listener = -1;
    std::vector<int> m_fillers;
    int m_port = 0;
};

}  // namespace korvex::test
