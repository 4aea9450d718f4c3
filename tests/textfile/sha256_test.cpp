#include "textfile/sha256.h"

#include <gtest/gtest.h>

#include <string>

// The standard's own examples, whole and in pieces.
TEST(Sha256, KnownDigests)
{
    EXPECT_EQ(CSha256::Hex(CSha256::Of("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(CSha256::Hex(CSha256::Of("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    CSha256 million;
    const std::string piece(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        million.Update(piece.data(), piece.size());
    EXPECT_EQ(CSha256::Hex(million.Final()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
