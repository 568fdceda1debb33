#include "net/http_transfer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "net/receive_buffer.h"
#include "tests/net/transfer_test_helpers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_server.h"
#include "tests/support/tiny_proxy.h"  // freeLoopbackPort

namespace korvex {
namespace {

using test::Answer;
using test::fetch;
using test::TestServer;

class HttpTransfer : public ::testing::Test {
protected:
    HttpTransfer() {
        server.addStandardEndpoints().start();
        curl.setOnReceive(appendToReceiveStream);
    }

    long responseCode() {
        long code = 0;
        curl_easy_getinfo(curl.Handle(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    TestServer server;
    THttpTransfer curl;
};

TEST_F(HttpTransfer, EmptyUrlFailsWithCode3AndSendsNothing) {
    const Answer answer = fetch(curl, "");
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), 3);
    EXPECT_EQ(curl.ErrorText(), "NULL or empty URL.");
    EXPECT_EQ(server.requestCount(), 0u);
}

// Every setter must reach libcurl at once, and each value must hold for later requests until it
// is set again.
TEST_F(HttpTransfer, SettersReachTheServerAndHoldForLaterRequests) {
    curl.setUserAgent("Korvex agent");
    curl.setReferer("http://portal.example/login");
    curl.setUserPwd("user:secret");
    ASSERT_TRUE(fetch(curl, server.url("/echo?a=1&b=2")).ok);
    test::RecordedRequest seen = server.lastRequest();
    EXPECT_EQ(seen.method, "GET");
    EXPECT_EQ(seen.path, "/echo");
    EXPECT_EQ(seen.query, "a=1&b=2");
    EXPECT_EQ(seen.header("User-Agent"), "Korvex agent");
    EXPECT_EQ(seen.header("Referer"), "http://portal.example/login");
    EXPECT_EQ(seen.header("Authorization"), test::basicAuthorization("user", "secret"));

    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);  // nothing set again: the same values go
    seen = server.lastRequest();
    EXPECT_EQ(seen.header("Referer"), "http://portal.example/login");
    EXPECT_EQ(seen.header("Authorization"), test::basicAuthorization("user", "secret"));

    curl.setReferer("");
    curl.setUserAgent("");
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_FALSE(server.lastRequest().hasHeader("Referer"));
    EXPECT_FALSE(server.lastRequest().hasHeader("User-Agent"));
    EXPECT_EQ(curl.Referer(), "");
}

TEST_F(HttpTransfer, BasicLoginAndRefusalAreBothPagesUnlessFailOnError) {
    curl.setUserPwd("ivanov:pa55");
    Answer answer = fetch(curl, server.url("/basic-auth/ivanov/pa55"));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page, "authorized ivanov");

    curl.setUserPwd("ivanov:wrong");
    answer = fetch(curl, server.url("/basic-auth/ivanov/pa55"));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page, "unauthorized");
    EXPECT_EQ(responseCode(), 401);

    curl.setFailOnError(true);
    answer = fetch(curl, server.url("/basic-auth/ivanov/pa55"));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_HTTP_RETURNED_ERROR);
}

TEST_F(HttpTransfer, ErrorStatusesArriveAsPages) {
    for (int status : {400, 403, 404, 500, 503}) {
        const Answer answer = fetch(curl, server.url("/status/" + std::to_string(status)));
        EXPECT_TRUE(answer.ok) << status;
        EXPECT_EQ(answer.page, "status " + std::to_string(status));
        EXPECT_EQ(responseCode(), status);
        EXPECT_EQ(curl.ResultCode(), 0);
    }
}

TEST_F(HttpTransfer, PostBodyIsSentByteForByteAsAForm) {
    const std::string body = "login=\xC8\xE2\xE0\xED&pass=a+b%20c&x=";  // cp1251, not URL-encoded
    curl.setPostFields(body);
    EXPECT_EQ(curl.PostFields(), body);
    const Answer answer = fetch(curl, server.url("/form"));
    ASSERT_TRUE(answer.ok);
    const test::RecordedRequest seen = server.lastRequest();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.body, body);
    EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(answer.page, body);
}

TEST_F(HttpTransfer, EmptyPostFieldsStaysInPostModeUntilHttpGet) {
    curl.setPostFields("a=1");
    curl.setPostFields("");
    EXPECT_EQ(curl.PostFields(), "");
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(server.lastRequest().method, "POST");
    EXPECT_EQ(server.lastRequest().header("Content-Length"), "0");
    EXPECT_EQ(server.lastRequest().body, "");

    curl.setPostFields("kept=1");
    curl.setHttpGet(true);  // the post buffer is still held, yet the next request is a GET
    EXPECT_EQ(curl.PostFields(), "kept=1");
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(server.lastRequest().method, "GET");
    EXPECT_EQ(server.lastRequest().body, "");

    curl.setPostFields("again=2");
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(server.lastRequest().method, "POST");
    EXPECT_EQ(server.lastRequest().body, "again=2");
}

TEST_F(HttpTransfer, RedirectsAreFollowedWithThePreviousUrlAsReferer) {
    const Answer answer = fetch(curl, server.url("/redirect/3"));
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.page, "redirects done");
    const std::vector<test::RecordedRequest> seen = server.requests();
    ASSERT_EQ(seen.size(), 4u);
    for (std::size_t hop = 1; hop < seen.size(); ++hop) {
        EXPECT_EQ(seen[hop].header("Referer"), server.url(seen[hop - 1].path)) << hop;
    }
}

TEST_F(HttpTransfer, AtMost25RedirectsAreFollowed) {
    EXPECT_TRUE(fetch(curl, server.url("/redirect/25")).ok);
    server.clearRequests();
    const Answer answer = fetch(curl, server.url("/redirect/26"));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_TOO_MANY_REDIRECTS);
    EXPECT_NE(curl.ErrorText(), "");
    EXPECT_EQ(server.requestCount(), 26u);
}

// The one component serves every portal in turn: a session cookie of one site must survive
// requests to other sites and come back with the next request to its own.
TEST_F(HttpTransfer, CookiesAreKeptPerSiteAcrossRequestsToOtherSites) {
    TestServer other;
    other.addStandardEndpoints().start();
    const std::string otherHost = "http://localhost:" + std::to_string(other.port());

    ASSERT_TRUE(fetch(curl, server.url("/cookie/set?sid=first")).ok);
    ASSERT_TRUE(fetch(curl, otherHost + "/cookie/set?token=second").ok);
    EXPECT_EQ(fetch(curl, otherHost + "/cookie/echo").page, "token=second");
    EXPECT_EQ(fetch(curl, server.url("/cookie/echo")).page, "sid=first");
}

TEST_F(HttpTransfer, CookieFileIsReadAndClearingItKeepsTheEngineRunning) {
    test::TempDir dir;
    const std::string file = dir.write("cookies.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tfromfile\tyes\n");
    ASSERT_TRUE(fetch(curl, server.url("/cookie/set?old=1")).ok);
    curl.setCookieFile(file);  // the engine forgets "old" and takes the file's cookie
    EXPECT_EQ(fetch(curl, server.url("/cookie/echo")).page, "fromfile=yes");

    curl.setCookieFile(dir.write("other.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tsecond\tfile\n"));
    EXPECT_EQ(fetch(curl, server.url("/cookie/echo")).page, "second=file");  // replaced, not added

    curl.setCookieFile("");
    curl.setCookieJar("");
    ASSERT_TRUE(fetch(curl, server.url("/cookie/set?later=2")).ok);
    EXPECT_EQ(fetch(curl, server.url("/cookie/echo")).page, "later=2");
}

TEST_F(HttpTransfer, CookieJarIsWrittenWhenTheComponentGoes) {
    test::TempDir dir;
    const std::string jar = dir.file("jar.txt");
    {
        THttpTransfer owner;
        owner.setOnReceive(appendToReceiveStream);
        owner.setCookieFile(jar);  // no such file yet: nothing read, and it becomes the jar
        EXPECT_EQ(owner.CookieJar(), jar);
        ASSERT_TRUE(fetch(owner, server.url("/cookie/set?saved=1")).ok);
    }
    EXPECT_NE(test::readFile(jar).find("saved\t1"), std::string::npos);
}

TEST_F(HttpTransfer, ConnectTimeoutEndsAnUnansweredConnection) {
    test::UnansweredPort unanswered;
    curl.setConnectTimeout(1);
    const Answer answer = fetch(curl, "http://127.0.0.1:" + std::to_string(unanswered.port()) + "/");
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_OPERATION_TIMEDOUT);
}

// The connect time-out bounds the connection only: a portal on a slow satellite link may take longer
// than that to send its page.
TEST_F(HttpTransfer, ConnectTimeoutDoesNotCutASlowAnswer) {
    curl.setConnectTimeout(1);
    const Answer answer = fetch(curl, server.url("/slow?ms=2000"));
    EXPECT_TRUE(answer.ok) << curl.ErrorText();
    EXPECT_EQ(answer.page, "slow answer");
}

// After a failed transfer the component goes on with a fresh handle (so that nothing the failed
// transfer had begun reaches a later request); what the callers set and the cookies received stay.
TEST_F(HttpTransfer, SettingsAndCookiesOutliveAFailedTransfer) {
    curl.setUserAgent("agent/1");
    curl.setUserPwd("acc:pw");
    ASSERT_TRUE(fetch(curl, server.url("/cookie/set?sid=kept")).ok);
    ASSERT_FALSE(fetch(curl, "http://127.0.0.1:" + std::to_string(test::freeLoopbackPort()) + "/").ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_COULDNT_CONNECT);

    // One unreachable portal must not make every later request fail.
    EXPECT_EQ(fetch(curl, server.url("/cookie/echo")).page, "sid=kept");
    EXPECT_EQ(curl.ResultCode(), 0);
    EXPECT_EQ(curl.ErrorText(), "");
    const auto sent = server.lastRequest();
    EXPECT_EQ(sent.header("User-Agent"), "agent/1");
    EXPECT_EQ(sent.header("Authorization"), test::basicAuthorization("acc", "pw"));
    // libcurl still writes its own error text into the component's buffer.
    ASSERT_FALSE(fetch(curl, "http://127.0.0.1:" + std::to_string(test::freeLoopbackPort()) + "/").ok);
    EXPECT_EQ(curl.ErrorText().rfind("Failed to connect", 0), 0u) << curl.ErrorText();
}

TEST_F(HttpTransfer, RefusedSettersRecordOnlyTheFirstFailure) {
    curl.setSslVerifyHost(3);
    const std::string first =
        std::string("Error: ") + curl_easy_strerror(CURLE_SSL_CERTPROBLEM) + " setting option #81";
    EXPECT_EQ(curl.ResultCode(), 58);
    EXPECT_EQ(curl.ErrorText(), first);
    EXPECT_EQ(curl.SslVerifyHost(), 2);  // nothing was passed on

    curl.setProxyPort(-5);  // libcurl refuses this one too
    EXPECT_EQ(curl.ResultCode(), 58);
    EXPECT_EQ(curl.ErrorText(), first);

    curl.setProxyPort(0);
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok);  // a transfer starts from a clear state
}

TEST_F(HttpTransfer, LargeBodyArrivesWhole) {
    constexpr std::size_t kSize = 50u * 1024 * 1024;
    const Answer answer = fetch(curl, server.url("/bytes?n=" + std::to_string(kSize)));
    ASSERT_TRUE(answer.ok);
    ASSERT_EQ(answer.page.size(), kSize);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < kSize; ++i) wrong += answer.page[i] != TestServer::bytePattern(i);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(HttpTransfer, ConnectionClosedMidBodyFailsAndKeepsWhatArrived) {
    const Answer answer = fetch(curl, server.url("/cut?n=100000&after=30000"));
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_PARTIAL_FILE);
    EXPECT_LE(answer.page.size(), 30000u);
    for (std::size_t i = 0; i < answer.page.size(); ++i) {
        ASSERT_EQ(answer.page[i], TestServer::bytePattern(i)) << "byte " << i;
    }
}

TEST_F(HttpTransfer, HttpsWithoutVerificationAcceptsASelfSignedPortal) {
    TestServer secure(TestServer::Scheme::Https);
    secure.addStandardEndpoints().start();
    EXPECT_FALSE(fetch(curl, secure.url("/echo")).ok);  // verification is on by default
    EXPECT_EQ(curl.ResultCode(), CURLE_PEER_FAILED_VERIFICATION);

    curl.setSslVerifyPeer(false);
    curl.setSslVerifyHost(0);
    curl.setUserPwd("u:p");
    const Answer answer = fetch(curl, secure.url("/basic-auth/u/p"));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page, "authorized u");
}

TEST_F(HttpTransfer, ClearingBContinueInOnReceiveEndsWithWriteError) {
    int calls = 0;
    curl.setOnReceive([&](THttpTransfer&, const char*, std::uint32_t, bool& bContinue) {
        ++calls;
        bContinue = false;
    });
    EXPECT_FALSE(fetch(curl, server.url("/bytes?n=100000")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_WRITE_ERROR);
    EXPECT_EQ(calls, 1);
}

TEST_F(HttpTransfer, HandlerExceptionLeavesPerformAndTheComponentStaysUsable) {
    curl.setOnReceive(
        [](THttpTransfer&, const char*, std::uint32_t, bool&) { throw std::runtime_error("handler"); });
    ReceiveBuffer buffer;
    curl.setReceiveStream(&buffer);
    curl.setURL(server.url("/echo"));
    EXPECT_THROW(curl.Perform(), std::runtime_error);
    curl.setOnReceive(appendToReceiveStream);
    EXPECT_TRUE(curl.Perform());
    EXPECT_FALSE(buffer.bytes().empty());
}

TEST_F(HttpTransfer, HeaderHandlerSeesLinesWithoutLineEnds) {
    std::vector<std::string> lines;
    curl.setOnHeader([&](THttpTransfer&, const std::string& line, bool&) { lines.push_back(line); });
    ASSERT_TRUE(fetch(curl, server.url("/status/404")).ok);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("HTTP/1.1 404", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back(), "");  // the empty line that ends the header
    for (const std::string& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);

    curl.setOnHeader([](THttpTransfer&, const std::string&, bool& bContinue) { bContinue = false; });
    EXPECT_FALSE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_WRITE_ERROR);
}

TEST_F(HttpTransfer, DebugHandlerSeesTextLinesAndTheRequestHeader) {
    std::vector<std::string> texts;
    std::string headerOut;
    curl.setOnDebug([&](THttpTransfer&, curl_infotype type, const char* data, std::uint32_t len, bool&) {
        if (type == CURLINFO_TEXT) texts.emplace_back(data, len);
        if (type == CURLINFO_HEADER_OUT) headerOut.append(data, len);
    });
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    ASSERT_FALSE(texts.empty());
    for (const std::string& text : texts) {
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << text;
    }
    EXPECT_EQ(headerOut.rfind("GET /echo HTTP/1.1\r\n", 0), 0u) << headerOut;

    curl.setOnDebug(nullptr);
    texts.clear();
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_TRUE(texts.empty());
}

TEST_F(HttpTransfer, DebugHandlerCanAbortToo) {
    curl.setOnDebug([](THttpTransfer&, curl_infotype type, const char*, std::uint32_t, bool& bContinue) {
        bContinue = type != CURLINFO_HEADER_OUT;
    });
    EXPECT_FALSE(fetch(curl, server.url("/drip?chunks=400&ms=50")).ok);  // 20 s unless aborted
    EXPECT_EQ(curl.ResultCode(), CURLE_ABORTED_BY_CALLBACK);
}

// A synchronous transfer started again from its own event would prepare the handle under the
// running transfer: the inner call is refused, and the running transfer goes on.
TEST_F(HttpTransfer, PerformFromItsOwnEventIsRefused) {
    bool inner = true;
    int innerCode = 0;
    curl.setOnReceive([&](THttpTransfer& sender, const char* data, std::uint32_t len, bool& bContinue) {
        if (inner) {
            inner = sender.Perform();
            innerCode = sender.ResultCode();
        }
        appendToReceiveStream(sender, data, len, bContinue);
    });
    const Answer answer = fetch(curl, server.url("/bytes?n=1000"));
    EXPECT_FALSE(inner);
    EXPECT_EQ(innerCode, CURLE_RECURSIVE_API_CALL);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page.size(), 1000u);
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(HttpTransfer, ProgressHandlerReportsDownloadFiguresAndCanAbort) {
    std::int32_t lastTotal = 0, lastNow = 0;
    curl.setOnProgress([&](THttpTransfer&, std::int32_t total, std::int32_t now, bool&) {
        lastTotal = total;
        lastNow = now;
    });
    ASSERT_TRUE(fetch(curl, server.url("/bytes?n=300000")).ok);
    EXPECT_EQ(lastTotal, 300000);
    EXPECT_EQ(lastNow, 300000);

    curl.setOnProgress(
        [](THttpTransfer&, std::int32_t, std::int32_t now, bool& bContinue) { bContinue = now == 0; });
    EXPECT_FALSE(fetch(curl, server.url("/bytes?n=300000")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_ABORTED_BY_CALLBACK);

    curl.setOnProgress(nullptr);
    EXPECT_TRUE(fetch(curl, server.url("/bytes?n=300000")).ok);
}

TEST_F(HttpTransfer, AbortFromAnotherThreadEndsASynchronousTransfer) {
    std::thread stopper([&] {
        while (server.requestCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        curl.requestAbort();
    });
    const Answer answer = fetch(curl, server.url("/drip?chunks=400&ms=50"));  // 20 s unless aborted
    stopper.join();
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_LT(answer.page.size(), 400u * 100);

    curl.requestAbort();  // no transfer in progress: the next one is not affected
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok);
}

TEST_F(HttpTransfer, OutputFileTakesTheBodyInBothModes) {
    test::TempDir dir;
    curl.setOutputFile(dir.file("event.bin"));  // with OnReceive: handler first, then the file
    std::size_t handled = 0;
    curl.setOnReceive([&](THttpTransfer&, const char*, std::uint32_t len, bool&) { handled += len; });
    curl.setURL(server.url("/bytes?n=5000"));
    ASSERT_TRUE(curl.Perform());
    EXPECT_EQ(handled, 5000u);
    EXPECT_EQ(test::readFile(dir.file("event.bin")).size(), 5000u);

    curl.setOnReceive(nullptr);
    curl.setOutputFile(dir.file("default.bin"));
    curl.setURL(server.url("/bytes?n=7000"));
    ASSERT_TRUE(curl.Perform());
    EXPECT_EQ(test::readFile(dir.file("default.bin")).size(), 7000u);
}

TEST_F(HttpTransfer, UnwritableOutputFileStopsTheTransferWithItsOwnText) {
    struct Case {
        bool eventMode;
        const char* text;
    };
    for (const Case& c : {Case{true, "Error writing to file"}, Case{false, "Error writing to local file"}}) {
        curl.setOnReceive(c.eventMode ? THttpReceiveEvent(appendToReceiveStream) : THttpReceiveEvent());
        curl.setOutputFile("/nonexistent-folder/out.bin");
        curl.setURL(server.url("/echo"));
        server.clearRequests();
        EXPECT_FALSE(curl.Perform());
        EXPECT_EQ(curl.ResultCode(), CURLE_WRITE_ERROR);
        EXPECT_EQ(curl.ErrorText(), c.text);
        EXPECT_EQ(server.requestCount(), 0u);
    }
}

// A body small enough to wait in the stream's buffer is written only when the file is closed: a
// close that fails (a full disk) must fail the transfer as well.
TEST_F(HttpTransfer, AFailedCloseOfTheOutputFileFailsTheTransfer) {
    for (bool eventMode : {true, false}) {
        SCOPED_TRACE(eventMode ? "event mode" : "default mode");
        curl.setOnReceive(eventMode ? THttpReceiveEvent(appendToReceiveStream) : THttpReceiveEvent());
        curl.setOutputFile("/dev/full");
        curl.setURL(server.url("/bytes?n=100"));
        EXPECT_FALSE(curl.Perform());
        EXPECT_EQ(curl.ResultCode(), CURLE_WRITE_ERROR);
    }
}

TEST_F(HttpTransfer, DefaultModeWritesToTheAttachedCStream) {
    curl.setOnReceive(nullptr);
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    curl.setReceiveStream(stream);
    curl.setURL(server.url("/bytes?n=3000"));
    ASSERT_TRUE(curl.Perform());
    EXPECT_EQ(std::ftell(stream), 3000);
    std::fclose(stream);
}

TEST_F(HttpTransfer, CustomHeadersAreSent) {
    curl.CustomHeaders().add("X-Korvex: 1");
    curl.CustomHeaders().add("Accept-Language: ru");
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(server.lastRequest().header("X-Korvex"), "1");
    EXPECT_EQ(server.lastRequest().header("Accept-Language"), "ru");

    curl.CustomHeaders().clear();
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    EXPECT_FALSE(server.lastRequest().hasHeader("X-Korvex"));
}

TEST_F(HttpTransfer, MultipartPartsAreSentAndAMissingFileStopsTheTransfer) {
    curl.MultipartForm().addField("speed", "512");
    ASSERT_TRUE(fetch(curl, server.url("/echo")).ok);
    const test::RecordedRequest seen = server.lastRequest();
    EXPECT_EQ(seen.method, "POST");
    ASSERT_EQ(seen.files.count("speed"), 1u);
    EXPECT_EQ(seen.files.find("speed")->second.content, "512");

    curl.MultipartForm().addFile("upload", "/nonexistent-folder/file.bin");
    server.clearRequests();
    EXPECT_FALSE(fetch(curl, server.url("/echo")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_READ_ERROR);
    EXPECT_EQ(curl.ErrorText(), "Unable to open POST input file");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpTransfer, UploadTakesItsBodyFromTheTransmitHandlerOrTheInputFile) {
    test::TempDir dir;
    curl.setUpload(true);
    bool given = false;
    curl.setOnTransmit([&](THttpTransfer&, char* data, std::uint32_t& len) {
        const std::string_view body = given ? "" : "uploaded bytes";
        len = static_cast<std::uint32_t>(body.copy(data, len));
        given = true;
    });
    curl.setURL(server.url("/status/204"));
    ASSERT_TRUE(curl.Perform());
    EXPECT_EQ(server.lastRequest().method, "PUT");
    EXPECT_EQ(server.lastRequest().body, "uploaded bytes");

    curl.setOnTransmit(nullptr);
    curl.setInputFile(dir.write("in.txt", "from a file"));
    ASSERT_TRUE(curl.Perform()) << curl.ResultCode() << " " << curl.ErrorText();
    EXPECT_EQ(server.lastRequest().body, "from a file");

    curl.setInputFile(dir.file("missing.txt"));
    EXPECT_FALSE(curl.Perform());
    EXPECT_EQ(curl.ErrorText(), "Error reading local file");
}

}  // namespace
}  // namespace korvex
