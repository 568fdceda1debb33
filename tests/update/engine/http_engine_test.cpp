#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/temp_dir.h"
#include "tests/support/tiny_proxy.h"
#include "tests/update/update_test_support.h"

namespace korvex::test {
namespace {

using Names = std::vector<std::string>;

class UpdateEngine : public ::testing::Test {
protected:
    void SetUp() override {
        server.addStandardEndpoints();
        addUpdateEndpoints(server, gate);
        // Handlers are added before the server starts: its threads read the table unlocked.
        server.get("/dated", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Last-Modified", "Fri, 26 Dec 2008 12:00:00 GMT");
            response.set_header("ETag", "\"v3201\"");
            response.set_header("Content-Language", "ru");
            response.set_content("x", "text/plain");
        });
        // The server as the proxy: 407 until a request carries the proxy credentials korvex:right.
        server.get(".*/proxy-auth", [](const httplib::Request& request, httplib::Response& response) {
            if (request.get_header_value("Proxy-Authorization") == basicAuthorization("korvex", "right")) {
                response.set_content("through the proxy", "text/plain");
                return;
            }
            response.status = 407;
            response.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
            response.set_content("proxy says no", "text/plain");
        });
        server.start();
    }
    void TearDown() override { gate.open(); }

    Gate gate;
    TestServer server;
    TempDir folder;
    RecordingEngine r;
};

TEST_F(UpdateEngine, EveryOutcomeWithItsValues) {
    struct Case {
        std::string path;
        Names names;
        std::int64_t a, b;  // of the outcome notification
        std::string text;
    };
    const std::string bytes2000 = [] {
        std::string text;
        for (std::size_t i = 0; i < 2000; ++i) text += TestServer::bytePattern(i);
        return text;
    }();
    const Case cases[] = {
        {"/bytes?n=2000", {"HeaderInfo", "Progress", "Done", "AfterTransfer"}, 2000, 0, bytes2000},
        // A 404 body is read into memory before the error is told.
        {"/status/404", {"HeaderInfo", "Progress", "HTTPError", "AfterTransfer"}, 404, 0, "status 404"},
        // Shorter than its Content-Length: the announced length and what came.
        {"/cut?n=4096&after=1000", {"HeaderInfo", "Progress", "ConnectionLost", "AfterTransfer"}, 4096, 1000, ""},
        // No Content-Length: complete when the server ends it properly.
        {"/drip?chunks=3&ms=1&size=10", {"HeaderInfo", "Progress", "Done", "AfterTransfer"}, 30, 0,
         std::string(30, 'd')},
        {"/redirect/2", {"HeaderInfo", "Progress", "Done", "AfterTransfer"}, 14, 0, "redirects done"},
    };
    for (const Case& c : cases) {
        RecordingEngine e;
        ASSERT_TRUE(e.fetch(server.url(c.path))) << c.path;
        EXPECT_EQ(e.names(), c.names) << c.path;
        const Notification& outcome = e.seen[e.seen.size() - 2];
        EXPECT_EQ(outcome.a, c.a) << c.path;
        EXPECT_EQ(outcome.b, c.b) << c.path;
        if (!c.text.empty()) {
            EXPECT_EQ(outcome.text, c.text) << c.path;
        }
        for (const Notification& n : e.seen) EXPECT_FALSE(n.onWorker) << n.name << " ran on the worker thread";
        EXPECT_FALSE(e.engine->Busy());
    }
}

TEST_F(UpdateEngine, ProgressCountsEveryChunkOfTheBufferSize) {
    r.engine->setTransferBufferSize(1000);
    ASSERT_TRUE(r.fetch(server.url("/bytes?n=4500")));
    std::vector<std::int64_t> read;
    for (const Notification& n : r.seen)
        if (n.name == "Progress") read.push_back(n.b);
    ASSERT_FALSE(read.empty());
    EXPECT_EQ(read.back(), 4500);
    for (std::size_t i = 1; i < read.size(); ++i) EXPECT_LE(read[i] - read[i - 1], 1000);
    EXPECT_EQ(r.seen[r.seen.size() - 3].text, "100");  // the last Progress: percent done
}

TEST_F(UpdateEngine, AnHTTPErrorNeverCreatesTheNamedOutputFile) {
    r.engine->OutputFileName = folder.file("never.updtmp");
    ASSERT_TRUE(r.fetch(server.url("/status/404")));
    EXPECT_EQ(r.find("HTTPError")->text, "status 404");
    EXPECT_FALSE(std::filesystem::exists(r.engine->OutputFileName));
}

TEST_F(UpdateEngine, FileOutputAndAnOutputThatCannotBeMade) {
    r.engine->OutputFileName = folder.file("body.updtmp");
    ASSERT_TRUE(r.fetch(server.url("/file")));
    EXPECT_EQ(r.find("Done")->text, "<file>");
    EXPECT_EQ(readFile(r.engine->OutputFileName), fileResource());

    // A folder that does not exist: the owner is told (an upgrade would otherwise wait forever).
    RecordingEngine e;
    e.engine->OutputFileName = folder.file("missing/body.updtmp");
    ASSERT_TRUE(e.fetch(server.url("/file")));
    EXPECT_EQ(e.names(), (Names{"HeaderInfo", "HTTPError", "AfterTransfer"}));
    EXPECT_EQ(e.find("HTTPError")->a, 200);
    EXPECT_EQ(e.find("HTTPError")->text, "<none>");

    // With an OnOutputError handler the owner hears the file and the system's reason instead,
    // from a server and from a file address alike.
    for (const std::string& url : {server.url("/file"), "file://" + folder.write("source", "bytes")}) {
        SCOPED_TRACE(url);
        RecordingEngine o;
        std::string reason;
        o.engine->OnOutputError = [&](TupCustomHTTP&, const std::string&, const std::string& why) {
            reason = why;
        };
        o.engine->OutputFileName = folder.file("missing/body.updtmp");
        ASSERT_TRUE(o.fetch(url));
        EXPECT_EQ(o.names().back(), "AfterTransfer");
        EXPECT_EQ(o.find("HTTPError"), nullptr);
        EXPECT_EQ(o.find("ConnectionLost"), nullptr);
        EXPECT_EQ(o.find("Done"), nullptr);
        EXPECT_EQ(reason, folder.file("missing/body.updtmp") + ": No such file or directory");
    }
}

// A link planted at the output name, or a leftover file there, is replaced by a new file of our
// own: the link's target keeps its bytes and its mode.
TEST_F(UpdateEngine, OutputNeverWritesThroughALink) {
    const std::string victim = folder.write("victim", "victim");
    chmod(victim.c_str(), 0600);
    const std::string output = folder.file("korvex.updtmp");
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling);
        std::filesystem::remove(output);
        std::filesystem::create_symlink(dangling ? folder.file("nowhere") : victim, output);
        RecordingEngine e;
        e.engine->OutputFileName = output;
        ASSERT_TRUE(e.fetch(server.url("/file")));
        ASSERT_NE(e.find("Done"), nullptr);
        EXPECT_FALSE(std::filesystem::is_symlink(output));
        EXPECT_EQ(readFile(output), fileResource());
        EXPECT_EQ(readFile(victim), "victim");
        EXPECT_FALSE(std::filesystem::exists(folder.file("nowhere")));
        EXPECT_EQ(std::filesystem::status(victim).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms(0600));
    }
}

TEST_F(UpdateEngine, AHeaderHandlerCanDeclineTheBody) {
    r.engine->OnHeaderInfo = [](TupCustomHTTP&, const TupHeaderInfo&, bool& keepOn) { keepOn = false; };
    r.engine->OutputFileName = folder.file("declined");
    ASSERT_TRUE(r.fetch(server.url("/bytes?n=100000")));
    EXPECT_EQ(r.names(), Names{"Declined"});
    EXPECT_FALSE(std::filesystem::exists(r.engine->OutputFileName));
}

TEST_F(UpdateEngine, HeaderInfoCarriesTheAnswersHeaders) {
    TupHeaderInfo seen;
    r.engine->OnHeaderInfo = [&](TupCustomHTTP&, const TupHeaderInfo& info, bool&) { seen = info; };
    ASSERT_TRUE(r.fetch(server.url("/dated")));
    EXPECT_EQ(seen.StatusCode, 200);
    EXPECT_EQ(seen.ContentType, "text/plain");
    EXPECT_EQ(seen.ContentLength, 1);
    EXPECT_EQ(seen.ETag, "\"v3201\"");
    EXPECT_EQ(seen.ContentLanguage, "ru");
    EXPECT_EQ(unixFromDateTime(seen.LastModified), unixFromDateTime(parseHeaderDate("Fri, 26 Dec 2008 12:00:00 GMT")));
    EXPECT_EQ(seen.RawHeaders.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(seen.RawHeaders.find("ETag: \"v3201\"\r\n"), std::string::npos);
}

TEST_F(UpdateEngine, TheExtraPartIsSentEscaped) {
    const std::pair<const char*, const char*> cases[] = {
        {"/echo?a=b c", "/echo?a=b%20c"},
        {"/echo?a=%20", "/echo?a=%2520"},
        {"/echo?x=1+1#top", "/echo?x=1%2B1%23top"},
    };
    for (const auto& [path, target] : cases) {
        RecordingEngine e;
        ASSERT_TRUE(e.fetch(server.url(path)));
        EXPECT_EQ(server.lastRequest().target, target);
    }
    // Without "://" the address is taken as http.
    ASSERT_TRUE(r.fetch("127.0.0.1:" + std::to_string(server.port()) + "/echo"));
    EXPECT_EQ(r.names().back(), "AfterTransfer");
    EXPECT_NE(r.find("Done"), nullptr);
}

TEST_F(UpdateEngine, ResumeAskForTheRestAnd416EndsOrRestarts) {
    const std::string whole = fileResource();
    struct Case {
        const char* path;
        std::int64_t offset;
        std::string present;  // the file before
        std::int64_t doneSize;
        std::size_t requests;
    };
    const Case cases[] = {
        {"/file", 4000, whole.substr(0, 4000), 10000, 1},     // 206: the rest is appended
        {"/file", 10000, whole, 10000, 2},                    // 416, and the whole length says it is complete
        {"/file", 12000, std::string(12000, 'x'), 10000, 3},  // 416, lengths differ: start again from 0
        // A server that ignores Range: 200 and the whole body, written from the start of the file.
        {"/file-ignoring-range", 4000, std::string(4000, 'x'), 10000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        server.clearRequests();
        RecordingEngine e;
        e.engine->OutputFileName = folder.write("resumed", c.present);
        e.engine->Range.StartRange = c.offset;
        ASSERT_TRUE(e.fetch(server.url(c.path))) << c.offset;
        ASSERT_NE(e.find("Done"), nullptr) << c.offset;
        EXPECT_EQ(e.find("Done")->a, c.doneSize) << c.offset;
        EXPECT_TRUE(readFile(e.engine->OutputFileName) == whole) << c.offset;
        EXPECT_EQ(server.requestCount(), c.requests) << c.offset;
        EXPECT_EQ(server.requests().front().header("Range"), "bytes=" + std::to_string(c.offset) + "-");
    }
}

TEST_F(UpdateEngine, PasswordRequestWithRealmAndRetry) {
    int asked = 0;
    r.engine->OnPasswordRequest = [&](TupCustomHTTP& engine, const std::string& realm, bool& tryAgain) {
        r.seen.push_back({"PasswordRequest", 0, 0, realm});
        if (++asked > 1) return;  // a second wrong answer gives up
        engine.setHTTPUsername("korvex");
        engine.setHTTPPassword(asked == 1 ? "right" : "wrong");
        tryAgain = true;
    };
    ASSERT_TRUE(r.fetch(server.url("/basic-auth/korvex/right")));
    EXPECT_EQ(r.names(), (Names{"PasswordRequest", "HeaderInfo", "Progress", "Done", "AfterTransfer"}));
    EXPECT_EQ(r.find("PasswordRequest")->text, "korvex");
    EXPECT_EQ(r.find("Done")->text, "authorized korvex");

    // Not asked to try again: the 401 page is the answer.
    RecordingEngine e;
    e.engine->OnPasswordRequest = [](TupCustomHTTP&, const std::string&, bool&) {};
    ASSERT_TRUE(e.fetch(server.url("/basic-auth/korvex/right")));
    EXPECT_EQ(e.find("HTTPError")->a, 401);
    EXPECT_EQ(e.find("HTTPError")->text, "unauthorized");
}

// The retry sends the credentials the handler gave, not those the transfer started with; without
// a retry the 407 page is the answer.
TEST_F(UpdateEngine, ProxyAuthenticationRequestAndRetry) {
    for (const bool tryAgain : {true, false}) {
        RecordingEngine e;
        e.engine->Proxy.AccessType = atUseProxy;
        e.engine->Proxy.ProxyServer = "127.0.0.1";
        e.engine->Proxy.ProxyPort = server.port();
        e.engine->Proxy.ProxyBypass.clear();
        int asked = 0;
        e.engine->OnProxyAuthenticationRequest = [&](TupCustomHTTP&, std::string& user, std::string& password,
                                                     bool& again) {
            ++asked;
            user = "korvex";
            password = "right";
            again = tryAgain;
        };
        ASSERT_TRUE(e.fetch("http://update.invalid/proxy-auth"));
        EXPECT_EQ(asked, 1) << tryAgain;
        if (tryAgain) {
            ASSERT_NE(e.find("Done"), nullptr);
            EXPECT_EQ(e.find("Done")->text, "through the proxy");
        } else {
            ASSERT_NE(e.find("HTTPError"), nullptr);
            EXPECT_EQ(e.find("HTTPError")->a, 407);
            EXPECT_EQ(e.find("HTTPError")->text, "proxy says no");
        }
    }
}

TEST_F(UpdateEngine, FileAddresses) {
    const std::string path = folder.write("local info.txt", "#version=3.2.0.2\r\n");
    ASSERT_TRUE(r.fetch("file://" + std::filesystem::path(path).string().replace(path.find(' '), 1, "%20")));
    EXPECT_EQ(r.names(), (Names{"Progress", "Done", "AfterTransfer"}));
    EXPECT_EQ(r.find("Done")->text, "#version=3.2.0.2\r\n");

    RecordingEngine e;
    ASSERT_TRUE(e.fetch("file://" + folder.file("none.txt")));
    EXPECT_EQ(e.find("HTTPError")->a, 404);
}

TEST_F(UpdateEngine, NoServerIsHostUnreachable) {
    const std::string unusable[] = {"http://127.0.0.1:1/inf", "http://" + std::string(300, 'h') + "/",
                                    "http://korvex.invalid/inf"};
    for (const std::string& url : unusable) {
        RecordingEngine e;
        ASSERT_TRUE(e.fetch(url)) << url;
        EXPECT_EQ(e.names(), (Names{"HostUnreachable", "AfterTransfer"})) << url;
    }
    RecordingEngine offline;
    offline.engine->WorkOffline = true;
    ASSERT_TRUE(offline.fetch(server.url("/echo")));
    EXPECT_EQ(offline.names(), (Names{"HostUnreachable", "AfterTransfer"}));
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(UpdateEngine, AStalledServerEndsByTheTimeLimit) {
    r.engine->LowSpeedTimeLimit = 1;
    ASSERT_TRUE(r.fetch(server.url("/stall"), std::chrono::seconds(10)));
    EXPECT_EQ(r.names(), (Names{"HostUnreachable", "AfterTransfer"}));

    RecordingEngine e;
    e.engine->LowSpeedTimeLimit = 1;
    ASSERT_TRUE(e.fetch(server.url("/stall-body"), std::chrono::seconds(10)));
    ASSERT_NE(e.find("ConnectionLost"), nullptr);
    EXPECT_EQ(e.find("ConnectionLost")->a, 5000);
    EXPECT_EQ(e.find("ConnectionLost")->b, 1000);
}

// A file that crawls below the set rate over the stall time is a lost connection; the whole time
// limit ends even a server that keeps the rate; a memory body never grows past its cap, and an
// error page keeps what fitted.
TEST_F(UpdateEngine, SlowBodiesAndLargeBodiesAreBounded) {
    // 100 bytes every 200 ms: 500 bytes a second, below 1 KiB/s.
    r.engine->LowSpeedTimeLimit = 1;
    r.engine->LowSpeedLimit = 1024;
    r.engine->OutputFileName = folder.file("crawl");
    ASSERT_TRUE(r.fetch(server.url("/drip?chunks=100&ms=200&size=100"), std::chrono::seconds(10)));
    EXPECT_EQ(r.names(), (Names{"HeaderInfo", "Progress", "ConnectionLost", "AfterTransfer"}));
    EXPECT_TRUE(r.engine->TimedOut());

    RecordingEngine slow;
    slow.engine->TimeLimit = 1;
    ASSERT_TRUE(slow.fetch(server.url("/drip?chunks=100&ms=100&size=100"), std::chrono::seconds(10)));
    EXPECT_EQ(slow.names(), (Names{"HeaderInfo", "Progress", "ConnectionLost", "AfterTransfer"}));
    EXPECT_TRUE(slow.engine->TimedOut());
    EXPECT_LT(slow.engine->BytesRead(), 10000);

    server.get("/big-error", [](const httplib::Request&, httplib::Response& response) {
        response.status = 500;
        response.set_content(std::string(300000, 'e'), "text/html");
    });
    RecordingEngine capped;
    capped.engine->MaxMemoryBody = 100000;
    ASSERT_TRUE(capped.fetch(server.url("/big-error")));
    ASSERT_NE(capped.find("HTTPError"), nullptr);
    EXPECT_EQ(capped.find("HTTPError")->a, 500);
    EXPECT_EQ(capped.find("HTTPError")->text.size(), 100000u);
    EXPECT_TRUE(capped.engine->BodyTooLarge());

    RecordingEngine announced;
    announced.engine->MaxMemoryBody = 1000;
    ASSERT_TRUE(announced.fetch(server.url("/bytes?n=5000")));
    EXPECT_EQ(announced.names(), (Names{"ConnectionLost", "AfterTransfer"}));
    EXPECT_TRUE(announced.engine->BodyTooLarge());
    EXPECT_EQ(announced.engine->BytesRead(), 0) << "a body announced too long is not read at all";
}

TEST_F(UpdateEngine, StartWhileBusyIsRefused) {
    r.engine->URL = server.url("/stall");
    ASSERT_TRUE(r.engine->Start());
    r.engine->URL = server.url("/echo");
    EXPECT_FALSE(r.engine->Start());
    EXPECT_TRUE(r.engine->Busy());
    r.engine->Abort(false, true);
    EXPECT_FALSE(r.engine->Busy());
    EXPECT_EQ(r.names(), Names{"Aborted"});
}

TEST_F(UpdateEngine, AbortInTheMiddleOfALargeBody) {
    for (const bool hard : {false, true}) {
        RecordingEngine e;
        e.engine->OutputFileName = folder.file(hard ? "hard" : "soft");
        e.engine->OnProgress = [&](TupCustomHTTP& engine, const TupProgressInfo& info) {
            e.seen.push_back({"Progress", info.TotalSize, info.BytesRead, "", false});
            if (info.BytesRead >= 300) engine.Abort(true, hard);
        };
        ASSERT_TRUE(e.fetch(server.url("/drip?chunks=1000&ms=5&size=100")));
        EXPECT_EQ(e.names(), (Names{"HeaderInfo", "Progress", "Aborted"})) << hard;
        // Stopped long before the end, whatever libcurl gathered into one piece on a busy machine.
        EXPECT_LT(e.seen[e.seen.size() - 2].b, 50000) << hard;
        EXPECT_FALSE(std::filesystem::exists(e.engine->OutputFileName)) << hard;
        EXPECT_FALSE(e.engine->Busy());
        // Nothing more arrives from the transfer that was given up, and the next one runs.
        e.dispatcher.pumpFor(std::chrono::milliseconds(100));
        EXPECT_EQ(e.seen.back().name, "Aborted");
        e.seen.clear();
        e.engine->OutputFileName.clear();
        e.engine->OnProgress = nullptr;
        ASSERT_TRUE(e.fetch(server.url("/bytes?n=10")));
        EXPECT_EQ(e.names(), (Names{"HeaderInfo", "Done", "AfterTransfer"}));
    }
}

TEST_F(UpdateEngine, DestroyedWhileBusyTellsNothingAndDoesNotHang) {
    r.engine->OutputFileName = folder.file("partial");
    r.engine->URL = server.url("/drip?chunks=1000&ms=5&size=100");
    ASSERT_TRUE(r.engine->Start());
    r.dispatcher.pumpFor(std::chrono::milliseconds(100));
    const auto before = std::chrono::steady_clock::now();
    r.engine.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    const std::size_t seen = r.seen.size();
    r.dispatcher.pumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(r.seen.size(), seen);
}

TEST_F(UpdateEngine, TheNextTransferStartsFromANotificationOfTheOneThatEnded) {
    std::vector<std::string> done;
    r.engine->OnDone = [&](TupCustomHTTP& engine, const std::string&, std::int64_t, const std::string* stream) {
        done.push_back(*stream);
        if (done.size() == 1) {
            engine.URL = server.url("/drip?chunks=5&ms=20&size=10");
            EXPECT_TRUE(engine.Start());
        }
    };
    ASSERT_TRUE(r.fetch(server.url("/bytes?n=3")));
    // The wrap-up of the first transfer left the second one running.
    EXPECT_TRUE(r.engine->Busy());
    r.dispatcher.waitUntil([&] { return done.size() == 2; });
    EXPECT_EQ(done, (std::vector<std::string>{"abc", std::string(50, 'd')}));
    EXPECT_FALSE(r.engine->Busy());
}

TEST_F(UpdateEngine, AnExceptionInAHandlerIsReportedAndTheTransferGoesOn) {
    std::vector<std::string> errors;
    r.engine->OnException = [&](TupCustomHTTP&, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    };
    r.engine->OnHeaderInfo = [](TupCustomHTTP&, const TupHeaderInfo&, bool&) { throw std::runtime_error("header"); };
    ASSERT_TRUE(r.fetch(server.url("/bytes?n=10")));
    EXPECT_EQ(errors, std::vector<std::string>{"header"});
    EXPECT_NE(r.find("Done"), nullptr);
}

TEST_F(UpdateEngine, StartWithWaitReturnsWhenTheTransferIsOver) {
    r.engine->URL = server.url("/bytes?n=10");
    ASSERT_TRUE(r.engine->Start(true));
    EXPECT_FALSE(r.engine->Busy());
    EXPECT_EQ(r.names().back(), "AfterTransfer");

    RecordingEngine e;
    e.engine->URL = server.url("/stall");
    e.engine->Thread().WaitTimeout = 200;
    ASSERT_TRUE(e.engine->Start(true));
    EXPECT_FALSE(e.engine->Busy());  // given up after the time-out, without notification
    EXPECT_TRUE(e.seen.empty());
}

TEST_F(UpdateEngine, RequestSettingsReachTheServer) {
    r.engine->PostData = "a=1&b=2";
    r.engine->Referer = "http://korvex.invalid/";
    r.engine->AdditionalHeaders = {"X-Korvex: 3.2.0.1", "  "};
    r.engine->CacheOptions.insert(coPragmaNoCache);
    ASSERT_TRUE(r.fetch(server.url("/echo")));
    const RecordedRequest request = server.lastRequest();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "a=1&b=2");
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.header("Accept"), "text/html, */*");
    EXPECT_EQ(request.header("User-Agent"), "Korvex updater");
    EXPECT_EQ(request.header("Referer"), "http://korvex.invalid/");
    EXPECT_EQ(request.header("X-Korvex"), "3.2.0.1");
    EXPECT_EQ(request.header("Pragma"), "no-cache");
    EXPECT_FALSE(request.hasHeader("Authorization"));
}

TEST_F(UpdateEngine, ANamedProxyIsUsedExceptForItsBypassList) {
    if (!TinyProxy::available()) GTEST_SKIP() << "tinyproxy is not installed";
    TinyProxy proxy;
    struct Case {
        TupAccessType access;
        std::string bypass;
        bool proxied;
    };
    const Case cases[] = {{atUseProxy, "", true}, {atUseProxy, "127.0.0.1;", false}, {atDirect, "", false}};
    for (const Case& c : cases) {
        RecordingEngine e;
        e.engine->Proxy.AccessType = c.access;
        e.engine->Proxy.ProxyServer = proxy.host();
        e.engine->Proxy.ProxyPort = proxy.port();
        e.engine->Proxy.ProxyBypass = c.bypass;
        ASSERT_TRUE(e.fetch(server.url("/echo")));
        EXPECT_EQ(server.lastRequest().header("Via").find(TinyProxy::kViaName) != std::string::npos, c.proxied)
            << c.access << " " << c.bypass;
    }
}

}  // namespace
}  // namespace korvex::test
