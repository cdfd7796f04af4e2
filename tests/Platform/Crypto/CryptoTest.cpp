#include "Platform/Crypto/Crypto.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <gcrypt.h>

#include <set>
#include <string>

using namespace kv::platform;

namespace {

using kvtest::unhex;

template <class Bytes> std::string hexOf(const Bytes& b) {
  return kvtest::hexOf(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

} // namespace

TEST(Crypto, Sha256PublishedDigests) {
  EXPECT_EQ(hexOf(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hexOf(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// The known answers for 256-bit keys published with the Twofish algorithm.
TEST(Crypto, TwofishKnownAnswers) {
  struct Row {
    const char* key;
    const char* cipher;
  } rows[] = {
      {"0000000000000000000000000000000000000000000000000000000000000000",
       "57ff739d4dc92c1bd7fc01700cc8216f"},
      {"0123456789abcdeffedcba987654321000112233445566778899aabbccddeeff",
       "37527be0052334b89f0cfccae87cfa20"},
  };
  for (const auto& row : rows) {
    const std::string key = unhex(row.key);
    Twofish256 cipher(std::span<const uint8_t, 32>(reinterpret_cast<const uint8_t*>(key.data()), 32));
    EXPECT_EQ(hexOf(cipher.encryptBlock(Block{})), row.cipher) << row.key;
  }
}

// The CFB-8 wiring, driven by AES-128 so that the published example (NIST SP 800-38A,
// CFB8-AES128) applies: the same shift register, feedback and byte order as with Twofish.
TEST(Crypto, Cfb8FollowsThePublishedExample) {
  const std::string key = unhex("2b7e151628aed2a6abf7158809cf4f3c");
  gcry_cipher_hd_t aes = nullptr;
  (void)sha256(""); // initialises the library
  ASSERT_EQ(gcry_cipher_open(&aes, GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_ECB, 0), 0u);
  ASSERT_EQ(gcry_cipher_setkey(aes, key.data(), key.size()), 0u);
  const BlockEncryptor encrypt = [&](const Block& in) {
    Block out;
    EXPECT_EQ(gcry_cipher_encrypt(aes, out.data(), out.size(), in.data(), in.size()), 0u);
    return out;
  };
  Block iv;
  for (int i = 0; i < 16; ++i)
    iv[i] = static_cast<uint8_t>(i);
  const std::string plain = unhex("6bc1bee22e409f96e93d7e117393172aae2d");
  const std::string cipher = unhex("3b79424c9c0dd436bace9e0ed4586a4f32b9");
  EXPECT_EQ(kvtest::hexOf(cfb8Encrypt(encrypt, iv, plain)), kvtest::hexOf(cipher));
  EXPECT_EQ(kvtest::hexOf(cfb8Decrypt(encrypt, iv, cipher)), kvtest::hexOf(plain));
  EXPECT_EQ(cfb8Encrypt(encrypt, iv, ""), "");
  gcry_cipher_close(aes);
}

// RFC 4648's examples, and what the decoder refuses.
TEST(Crypto, Base64) {
  const std::pair<const char*, const char*> rows[] = {{"", ""},
                                                      {"f", "Zg=="},
                                                      {"fo", "Zm8="},
                                                      {"foo", "Zm9v"},
                                                      {"foob", "Zm9vYg=="},
                                                      {"fooba", "Zm9vYmE="},
                                                      {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, text] : rows) {
    EXPECT_EQ(base64Encode(plain), text);
    EXPECT_EQ(base64Decode(text), std::optional<std::string>(plain)) << text;
  }
  EXPECT_EQ(base64Encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
  for (const char* bad :
       {"Zg=", "Zg=a", "Z===", "====", "Zm9v\n", "Zm 9v", "Zm9v====", "Zg==Zm9v", "Zm9-", "Zm9_"})
    EXPECT_FALSE(base64Decode(bad)) << bad;
}

TEST(Crypto, StringCipherRoundTripAndBurn) {
  const auto key = sha256("some key");
  StringCipher cipher(key);
  std::string all;
  for (int c = 0; c < 256; ++c)
    all += static_cast<char>(c);
  for (const std::string& text : {std::string(), std::string("x"), all, std::string(5000, 'q')}) {
    const std::string encrypted = cipher.encryptString(text);
    EXPECT_EQ(encrypted.size(), (text.size() + 2) / 3 * 4);
    EXPECT_EQ(cipher.decryptString(encrypted), std::optional<std::string>(text));
  }
  EXPECT_FALSE(cipher.decryptString("not base64!"));
  cipher.burn();
  EXPECT_THROW(cipher.encryptString("x"), ECryptoError);
}

TEST(Crypto, SystemRandomStaysInRangeAndReachesBothEnds) {
  std::set<uint32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const uint32_t r = systemRandom().below(10);
    ASSERT_LT(r, 10u);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 10u);
  EXPECT_EQ(systemRandom().below(1), 0u);
}
