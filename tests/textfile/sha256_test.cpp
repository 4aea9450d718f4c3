#include "textfile/sha256.h"

#include <gtest/gtest.h>

// The standard's own examples.
TEST(Sha256, KnownDigests)
{
    EXPECT_EQ(CSha256::Hex(CSha256::Of("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(CSha256::Hex(CSha256::Of("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
