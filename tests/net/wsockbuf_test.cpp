#include <gtest/gtest.h>

#include <cstring>

#include "net/wsockbuf.h"

using net::TBuffer;

TEST(SendBlock, FillsToItsSizeAndRewindsWhenEmptied) {
    TBuffer b(8);
    EXPECT_EQ(b.Write("0123456789", 10), 8);
    EXPECT_EQ(b.Write("x", 1), 0);
    char out[4];
    EXPECT_EQ(b.Read(out, 3), 3);
    EXPECT_EQ(std::string(out, 3), "012");
    int len = 0;
    const uint8_t* p = b.Peek(len);
    EXPECT_EQ(len, 5);
    EXPECT_EQ(std::memcmp(p, "34567", 5), 0);
    EXPECT_EQ(b.Remove(100), 5);
    EXPECT_EQ(b.Peek(len), nullptr);
    EXPECT_EQ(len, 0);
    // Emptied, it takes a full block again.
    EXPECT_EQ(b.Write("abcdefgh", 8), 8);
}

TEST(SendBlock, ResizeKeepsHeldBytes) {
    TBuffer b(0);
    EXPECT_EQ(b.BufSize(), 1514);
    b.SetBufSize(4);
    b.Write("abcd", 4);
    b.SetBufSize(2);  // never below what is held
    EXPECT_EQ(b.BufSize(), 4);
    b.SetBufSize(6);
    EXPECT_EQ(b.Write("ef", 2), 2);
    char out[6];
    EXPECT_EQ(b.Read(out, 6), 6);
    EXPECT_EQ(std::string(out, 6), "abcdef");
}
