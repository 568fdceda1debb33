#include <gtest/gtest.h>

#include <atomic>

#include "net/http_transfer.h"
#include "net/receive_buffer.h"
#include "tests/net/transfer_test_helpers.h"
#include "tests/support/test_server.h"

namespace korvex {
namespace {

using test::Answer;
using test::fetch;
using test::TestServer;

class ThreadedTransfer : public ::testing::Test {
protected:
    ThreadedTransfer() {
        server.addStandardEndpoints().start();
        curl.setOnReceive(appendToReceiveStream);
        curl.setThreaded(true);
    }

    TestServer server;
    THttpTransfer curl;
};

TEST_F(ThreadedTransfer, WaitHookRunsOnTheCallingThreadWhileTheTransferRuns) {
    const std::thread::id caller = std::this_thread::get_id();
    int waits = 0, waitsWhileBusy = 0;
    bool onCaller = true;
    curl.setWaitInterval(10);
    curl.setOnWait([&](THttpTransferBase& sender) {
        EXPECT_EQ(&sender, &curl);
        ++waits;
        waitsWhileBusy += sender.Busy();
        onCaller = onCaller && std::this_thread::get_id() == caller;
    });
    const Answer answer = fetch(curl, server.url("/drip?chunks=5&ms=40"));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page, std::string(500, 'd'));
    EXPECT_GT(waitsWhileBusy, 0);
    EXPECT_EQ(waits, waitsWhileBusy + 1);  // one last call after the transfer ended
    EXPECT_TRUE(onCaller);
    EXPECT_FALSE(curl.Busy());
}

// The calling thread must wake when the transfer ends, not sleep out the interval: with an
// interval of an hour, a waiting loop that sleeps would hold this test until ctest's time-out.
TEST_F(ThreadedTransfer, ReturnsWhenTheTransferEndsBeforeTheInterval) {
    int waits = 0;
    curl.setWaitInterval(3600 * 1000);
    curl.setOnWait([&](THttpTransferBase&) { ++waits; });
    const Answer answer = fetch(curl, server.url("/slow?ms=30"));
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page, "slow answer");
    EXPECT_EQ(waits, 1);
}

TEST_F(ThreadedTransfer, NegativeWaitIntervalMeansTheDefault) {
    curl.setWaitInterval(-1);
    EXPECT_EQ(curl.WaitInterval(), 1000);
}

TEST_F(ThreadedTransfer, ReentryFromTheWaitHookRaisesAndLeavesTheTransferAlone) {
    curl.setWaitInterval(5);
    int refusals = 0;
    curl.setOnWait([&](THttpTransferBase&) {
        if (!curl.Busy()) return;
        try {
            curl.Perform();
        } catch (const EHttpTransferError& error) {
            ++refusals;
            EXPECT_EQ(error.code(), 7);
            EXPECT_STREQ(error.what(), "Transfer already in progress, cannot re-enter thread.");
            // The refusal is what the component says until the worker ends the transfer and says its
            // own result; read while it is still under way.
            const int code = curl.ResultCode();
            const std::string text = curl.ErrorText();
            if (curl.Busy()) {
                EXPECT_EQ(code, 7);
                EXPECT_EQ(text, "Transfer already in progress, cannot re-enter thread.");
            }
        }
    });
    const Answer answer = fetch(curl, server.url("/drip?chunks=4&ms=40"));
    EXPECT_GT(refusals, 0);
    EXPECT_TRUE(answer.ok);
    EXPECT_EQ(answer.page.size(), 400u);
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(ThreadedTransfer, ReceiveHandlerAbortEndsWithWriteError) {
    curl.setOnReceive([](THttpTransfer&, const char*, std::uint32_t, bool& bContinue) { bContinue = false; });
    EXPECT_FALSE(fetch(curl, server.url("/drip?chunks=100&ms=20")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_WRITE_ERROR);
}

TEST_F(ThreadedTransfer, ProgressHandlerAbortEndsWithAbortedByCallback) {
    std::atomic<int> received{0};
    curl.setOnReceive(
        [&](THttpTransfer&, const char*, std::uint32_t len, bool&) { received += static_cast<int>(len); });
    curl.setOnProgress(
        [](THttpTransfer&, std::int32_t, std::int32_t now, bool& bContinue) { bContinue = now < 300; });
    EXPECT_FALSE(fetch(curl, server.url("/drip?chunks=100&ms=20")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_LT(received.load(), 100 * 100);
}

// What a window's stop button does: the wait hook sees the click and asks for the abort.
TEST_F(ThreadedTransfer, AbortFromTheWaitHookEndsTheTransfer) {
    curl.setWaitInterval(10);
    curl.setOnWait([&](THttpTransferBase&) {
        if (server.requestCount() > 0) curl.requestAbort();
    });
    const Answer answer = fetch(curl, server.url("/drip?chunks=400&ms=50"));  // 20 s unless aborted
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_EQ(curl.ErrorText(), curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK));

    curl.setOnWait(nullptr);
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok);  // the abort does not outlive its transfer
}

TEST_F(ThreadedTransfer, ExceptionFromTheWaitHookEndsTheTransferAndPassesOn) {
    curl.setWaitInterval(10);
    curl.setOnWait([](THttpTransferBase&) { throw std::runtime_error("window closed"); });
    EXPECT_THROW(fetch(curl, server.url("/drip?chunks=400&ms=50")), std::runtime_error);
    EXPECT_FALSE(curl.Busy());
    curl.setOnWait(nullptr);
    EXPECT_TRUE(fetch(curl, server.url("/echo")).ok);
}

TEST_F(ThreadedTransfer, FailuresAreReportedAsInSynchronousMode) {
    EXPECT_FALSE(fetch(curl, "").ok);
    EXPECT_EQ(curl.ResultCode(), 3);
    EXPECT_FALSE(fetch(curl, server.url("/redirect/26")).ok);
    EXPECT_EQ(curl.ResultCode(), CURLE_TOO_MANY_REDIRECTS);
    EXPECT_TRUE(fetch(curl, server.url("/redirect/3")).ok);
}

}  // namespace
}  // namespace korvex
