#include "app/journal/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// FIPS 180-4's examples, and the lengths around the padding's block boundary.
TEST(Sha256, digests_of_known_messages) {
  const struct {
    std::string message;
    const char* digest;
  } rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(app::journal::Sha256Hex(row.message), row.digest) << row.message.size();
  }
}

// A file read in chunks: every way of cutting the bytes gives the digest of the whole.
TEST(Sha256, pieces_give_the_digest_of_the_whole) {
  std::string message;
  for (int i = 0; i < 300; ++i) message.push_back(static_cast<char>(i * 7));
  for (size_t piece : {size_t{1}, size_t{3}, size_t{55}, size_t{63}, size_t{64}, size_t{65},
                       size_t{200}}) {
    app::journal::Sha256 hash;
    for (size_t at = 0; at < message.size(); at += piece) {
      hash.Add(message.data() + at, std::min(piece, message.size() - at));
    }
    EXPECT_EQ(hash.Hex(), app::journal::Sha256Hex(message)) << piece;
  }
}

}  // namespace
