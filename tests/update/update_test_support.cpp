#include "tests/update/update_test_support.h"

#include <algorithm>

namespace korvex::test {

RecordingEngine::RecordingEngine() : engine(std::make_unique<TupCustomHTTP>(dispatcher)) {
    TupCustomHTTP& e = *engine;
    auto onUi = [this] { return std::this_thread::get_id() != uiThread; };
    e.OnHeaderInfo = [this, onUi](TupCustomHTTP&, const TupHeaderInfo& info, bool&) {
        seen.push_back({"HeaderInfo", info.StatusCode, info.ContentLength, info.ContentType, onUi()});
    };
    e.OnProgress = [this, onUi](TupCustomHTTP&, const TupProgressInfo& info) {
        seen.push_back({"Progress", info.TotalSize, info.BytesRead, std::to_string(info.PercentDone), onUi()});
    };
    e.OnDone = [this, onUi](TupCustomHTTP&, const std::string&, std::int64_t size, const std::string* stream) {
        seen.push_back({"Done", size, 0, stream ? *stream : "<file>", onUi()});
    };
    e.OnDeclined = [this, onUi](TupCustomHTTP&) { seen.push_back({"Declined", 0, 0, "", onUi()}); };
    e.OnConnectionLost = [this, onUi](TupCustomHTTP&, const std::string&, std::int64_t length, std::int64_t read,
                                      const std::string* stream) {
        seen.push_back({"ConnectionLost", length, read, stream ? *stream : "<file>", onUi()});
    };
    e.OnHostUnreachable = [this, onUi](TupCustomHTTP&) { seen.push_back({"HostUnreachable", 0, 0, "", onUi()}); };
    e.OnHTTPError = [this, onUi](TupCustomHTTP&, int status, const std::string* stream) {
        seen.push_back({"HTTPError", status, 0, stream ? *stream : "<none>", onUi()});
    };
    e.OnAborted = [this, onUi](TupCustomHTTP&) { seen.push_back({"Aborted", 0, 0, "", onUi()}); };
    e.OnAfterTransfer = [this, onUi](TupCustomHTTP&) { seen.push_back({"AfterTransfer", 0, 0, "", onUi()}); };
}

std::vector<std::string> RecordingEngine::names() const {
    std::vector<std::string> result;
    for (const Notification& n : seen)
        if (result.empty() || n.name != "Progress" || result.back() != "Progress") result.push_back(n.name);
    return result;
}

const Notification* RecordingEngine::find(const std::string& name) const {
    const auto found = std::find_if(seen.begin(), seen.end(), [&](const Notification& n) { return n.name == name; });
    return found == seen.end() ? nullptr : &*found;
}

bool RecordingEngine::pumpUntilOutcome(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    auto ended = [this] {
        for (const Notification& n : seen)
            if (n.name == "AfterTransfer" || n.name == "Declined" || n.name == "Aborted") return true;
        return false;
    };
    while (!ended() && std::chrono::steady_clock::now() < end) dispatcher.pumpFor(std::chrono::milliseconds(20));
    return ended();
}

bool RecordingEngine::fetch(const std::string& url, std::chrono::seconds limit) {
    engine->URL = url;
    if (!engine->Start()) return false;
    return pumpUntilOutcome(limit);
}

void Gate::open() {
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
    }
    m_opened.notify_all();
}

bool Gate::wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_opened.wait_for(lock, limit, [this] { return m_open; });
}

std::string fileResource() {
    std::string text;
    for (int i = 0; text.size() < 10000; ++i) text += static_cast<char>('A' + i % 26);
    return text;
}

void addUpdateEndpoints(TestServer& server, Gate& gate) {
    // cpp-httplib answers a Range itself: 206 with Content-Range, or 416 beyond the end.
    server.get("/file", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(fileResource(), "application/octet-stream");
    });
    // A server that takes no notice of Range: 200 and the whole body, chunked (cpp-httplib cuts
    // nothing out of a chunked body).
    server.get("/file-ignoring-range", [](const httplib::Request&, httplib::Response& response) {
        response.status = 200;
        response.set_chunked_content_provider("application/octet-stream",
                                              [](std::size_t, httplib::DataSink& sink) {
                                                  const std::string body = fileResource();
                                                  sink.write(body.data(), body.size());
                                                  sink.done();
                                                  return true;
                                              });
    });
    server.get("/stall", [&gate](const httplib::Request&, httplib::Response& response) {
        gate.wait(std::chrono::seconds(30));
        response.set_content("late", "text/plain");
    });
    server.get("/stall-body", [&gate](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(5000, "application/octet-stream",
                                      [&gate](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset == 0) {
                                              const std::string part(1000, 's');
                                              return sink.write(part.data(), part.size());
                                          }
                                          gate.wait(std::chrono::seconds(30));
                                          return false;
                                      });
    });
}

}  // namespace korvex::test
