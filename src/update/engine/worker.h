#pragma once
// The engine's own: TupWorker, the worker procedure of one transfer, on its worker thread. Its
// parts: the request set-up (request.cpp: libcurl's options from the transfer's settings), the
// send loop (worker.cpp: sends, retries, the length query after a 416, "file" addresses) and the
// receiving (receive.cpp: the answer's headers, the output, the chunks and their progress). The
// wrap-up runs on the user-interface thread (TupCustomHTTP::wrapUp, http.cpp).
//
// Threads: notification handlers are reached only through Synchronize, with the data they see kept
// in the transfer (which outlives a worker that was given up while a handler ran).
#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/curl_string_list.h"
#include "update/engine/http.h"
#include "update/engine/thread.h"
#include "update/engine/transfer.h"
#include "update/engine/url.h"

namespace korvex {

class TupWorker {
public:
    TupWorker(TupCustomHTTP& engine, std::shared_ptr<TupTransfer> transfer, TupEventThread& thread)
        : m_engine(engine), m_transferOwner(std::move(transfer)), m_t(*m_transferOwner), m_thread(thread) {}

    void run();

private:
    // Why the latest send ended before its body was read.
    enum class Stop { None, Retry, Restart, Declined, OutputFailed, LengthKnown };
    // The final answer's status line and header lines, as received.
    struct Answer {
        int status = -1;
        const std::vector<std::string>* lines = nullptr;
        std::optional<std::string> header(std::string_view name) const;
    };
    // A handler's question on the user-interface thread: may the request be sent again?
    using RetryQuestion = std::function<void(TupCustomHTTP& engine, TupTransfer& transfer, bool& tryAgain)>;

    // True when a soft abort has asked the worker to stop (the transfer is then aborted).
    bool check();
    bool abandoned() const { return m_thread.Abandoned(); }

    // The send loop (worker.cpp).
    void runFile(const TupUrlParts& parts);
    void runHttp(const TupUrlParts& parts);
    CURLcode send(CURL* easy, const TupUrlParts& parts);
    // After a 416 to a resumed request, asks for the whole length: equal to the resume offset, the
    // file is complete; otherwise the request goes again from the start. True when the transfer
    // ends here (complete, aborted or given up).
    bool lengthQueryEnds(CURL* easy, const TupUrlParts& parts);

    // The request set-up (request.cpp).
    void configure(CURL* easy, const TupUrlParts& parts, bool lengthQuery);
    void setCredentials(CURL* easy, const TupUrlParts& parts) const;
    void setProxy(CURL* easy) const;
    void setTimeLimits(CURL* easy) const;
    void setHeaders(CURL* easy, bool lengthQuery);
    void setCallbacks(CURL* easy);

    // The receiving (receive.cpp). headersComplete: the answer's status and headers are complete;
    // false ends the transfer (see m_stop).
    bool headersComplete();
    bool followsRedirect(const Answer& answer);
    bool lengthKnown(const Answer& answer);
    bool credentialsAnswered(const Answer& answer);
    bool askToRetry(RetryQuestion question);
    bool headerInfoAccepted(const Answer& answer);
    bool openOutput();
    bool openOutputFile();
    // Writes one chunk and reports progress; false ends the transfer.
    bool deliverChunk(const char* data, std::size_t size);
    bool storeChunk(const char* data, std::size_t count);
    bool reportProgress();

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    TupCustomHTTP& m_engine;
    std::shared_ptr<TupTransfer> m_transferOwner;
    TupTransfer& m_t;
    TupEventThread& m_thread;

    // One send of the request.
    Stop m_stop = Stop::None;
    bool m_lengthQuery = false;
    std::int64_t m_queriedLength = -1;
    bool m_headersDone = false;
    std::vector<std::string> m_headerLines;
    CurlStringList m_headerList;  // the request's header lines, alive while libcurl sends them
};

}  // namespace korvex
