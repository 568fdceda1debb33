#include "net/receive_buffer.h"

#include <gtest/gtest.h>

#include "net/http_transfer.h"

namespace korvex {

TEST(ReceiveBuffer, WritesAtThePositionAndReadsBackAfterRewind) {
    ReceiveBuffer buffer;
    buffer.write("hello ");
    buffer.write(std::string_view("w\0rld", 5));
    EXPECT_EQ(buffer.bytes(), std::string("hello w\0rld", 11));
    EXPECT_EQ(buffer.position(), 11u);

    buffer.seek(6);
    buffer.write("W");  // overwrites, does not insert
    EXPECT_EQ(buffer.bytes(), std::string("hello W\0rld", 11));

    buffer.rewind();
    char head[5];
    ASSERT_EQ(buffer.read(head, sizeof head), 5u);
    EXPECT_EQ(std::string(head, 5), "hello");
    buffer.seek(100);
    EXPECT_EQ(buffer.position(), buffer.size());
    EXPECT_EQ(buffer.read(head, sizeof head), 0u);
}

TEST(ReceiveHandler, AppendsToTheAttachedBufferAndKeepsTheTransferGoing) {
    THttpTransfer curl;
    ReceiveBuffer buffer;
    buffer.write("x");
    curl.setReceiveStream(&buffer);
    bool bContinue = true;
    appendToReceiveStream(curl, "\xC1\xE0\xEB", 3, bContinue);  // cp1251 bytes stay as they are
    EXPECT_TRUE(bContinue);
    EXPECT_EQ(buffer.bytes(), "x\xC1\xE0\xEB");
}

// Without a buffer the handler must not write through a null pointer: it stops the transfer.
TEST(ReceiveHandler, WithoutABufferStopsTheTransfer) {
    THttpTransfer curl;
    bool bContinue = true;
    appendToReceiveStream(curl, "abc", 3, bContinue);
    EXPECT_FALSE(bContinue);
}

}  // namespace korvex
