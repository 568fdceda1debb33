#pragma once
// What the update tests share: an engine on a pumped dispatcher whose notifications are written
// down in order, and a server answering the ways the update tests need.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <string>
#include <vector>

#include "tests/support/test_server.h"
#include "update/engine/dispatcher.h"
#include "update/engine/http.h"

namespace korvex::test {

// One notification as the test saw it.
struct Notification {
    std::string name;    // "HeaderInfo", "Progress", "Done", ...
    std::int64_t a = 0;  // status, size or total, as the notification has it
    std::int64_t b = 0;  // bytes read
    std::string text;    // the stream, a realm, a content type
    bool onWorker = false;
};

class RecordingEngine {
public:
    RecordingEngine();
    TupPumpedDispatcher dispatcher;
    std::unique_ptr<TupCustomHTTP> engine;
    std::vector<Notification> seen;

    // The names in order, Progress entries folded into one.
    std::vector<std::string> names() const;
    const Notification* find(const std::string& name) const;
    // Starts `url` and pumps until an outcome arrived (or `limit` passed); false when none did.
    bool fetch(const std::string& url, std::chrono::seconds limit = std::chrono::seconds(20));
    bool pumpUntilOutcome(std::chrono::seconds limit = std::chrono::seconds(20));
    std::thread::id uiThread = std::this_thread::get_id();
};

// A gate a server handler waits at until the test opens it (or the server goes).
class Gate {
public:
    void open();
    // Waits until open() or `limit`; true when opened.
    bool wait(std::chrono::milliseconds limit);

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

// A 10,000-byte resource at /file that honours "Range: bytes=N-" (206 with Content-Range, 416
// beyond its end), the same at /file-ignoring-range from a server that answers every request with
// 200 and the whole body, at /stall which accepts and never answers until `gate` opens, and at
// /stall-body which sends 1,000 of 5,000 announced bytes and then nothing until `gate` opens.
void addUpdateEndpoints(TestServer& server, Gate& gate);
std::string fileResource();

}  // namespace korvex::test
