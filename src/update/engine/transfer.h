#pragma once
// The engine's own: one transfer's settings and findings (TupTransfer), shared by the worker that
// runs it and the engine that starts and wraps it up. Not for users of the engine.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "update/engine/http.h"

namespace korvex {

using SteadyClock = std::chrono::steady_clock;

inline bool isSuccessStatus(int status) {
    return status == 200 || status == 206;
}

// `text` without the blanks and line ends around it.
inline std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Gives a regular file at `path` the write permission `attributes` ask for (atrReadOnly takes it
// away); anything else (a link, a folder, nothing) is left alone.
void applyFileAttributes(const std::string& path, const TupFileAttributes& attributes);

// One transfer: the settings it was started with and everything it found. The worker writes it;
// the user-interface thread reads it in notifications (while the worker waits) and in the wrap-up
// (after the worker has finished). The output alone is shared while both run (a hard abort closes
// it under the output mutex while the worker may be writing).
struct TupTransfer {
    // Settings, copied by Start.
    std::string url;
    std::string outputFileName;
    std::string acceptTypes;
    std::string agent;
    std::vector<std::string> additionalHeaders;
    std::string postData;
    std::string referer;
    bool post = false;
    TupCacheOptions cacheOptions;
    TupInternetOptions internetOptions;
    TupHTTPTimeouts timeouts;
    TupHTTPProxy proxy;
    bool workOffline = false;
    TupOutputFileAttributes attributes;
    int lowSpeedSeconds = 60;
    int lowSpeedBytes = 1;
    int timeLimit = 0;
    std::int64_t maxMemoryBody = 0;
    std::size_t bufferSize = 4096;
    std::string username;  // HTTPUsername and HTTPPassword
    std::string password;
    bool wantHeaderInfo = false;
    bool wantProgress = false;
    bool wantPassword = false;
    bool wantProxyAuthentication = false;
    bool wantRedirect = false;

    // State.
    int status = -1;
    std::int64_t resumeOffset = 0;
    std::int64_t rangeEnd = 0;
    std::int64_t contentLength = 0;
    std::int64_t bytesRead = 0;
    TupHeaderInfo headers;
    SteadyClock::time_point startTick;
    bool continueFlag = true;
    bool success = false;
    bool aborted = false;       // ended by a soft abort
    bool outputFailed = false;  // the output file could not be made or written
    std::string outputError;    // then: the file's name and the system's reason
    bool timedOut = false;      // out of time: TimeLimit or the stall rule
    bool tooLarge = false;      // a memory body would have passed maxMemoryBody
    bool redirected = false;    // an answer of the latest request was a redirect that is followed
    bool redirectRefused = false;  // a redirect led to a scheme other than http and https
    bool deleteOutputOnAbort = false;
    bool ended = false;  // wrapped up, aborted or given up

    // Output, guarded by outputMutex once the worker runs.
    std::mutex outputMutex;
    std::FILE* file = nullptr;
    std::string fileName;  // the file being written, "" for memory output
    std::string stream;
    bool closed = false;  // torn down by a hard abort or destruction: write nothing more
};

}  // namespace korvex
