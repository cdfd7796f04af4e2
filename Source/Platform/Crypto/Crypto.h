// Hash, cipher and random numbers for salted string encryption: SHA-256 and Twofish from
// libgcrypt, and the cipher package's string encryption built on them (Twofish with a
// 256-bit key, the all-zero block encrypted under the key as initialisation vector, CFB with
// 8-bit feedback, standard Base64), so that texts encrypted by the Windows installations
// read back here.
#pragma once

#include "Platform/Rtl/SysUtils.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kv::platform {

KV_DECLARE_EXCEPTION(ECryptoError, Exception);

using Sha256Digest = std::array<uint8_t, 32>;
Sha256Digest sha256(std::string_view data);

using Block = std::array<uint8_t, 16>;

// Twofish with a 256-bit key, one block at a time. The key schedule is wiped by burn() and
// by the destructor.
class Twofish256 {
public:
  explicit Twofish256(std::span<const uint8_t, 32> key);
  ~Twofish256();
  Twofish256(const Twofish256&) = delete;
  Twofish256& operator=(const Twofish256&) = delete;
  Block encryptBlock(const Block& in) const;
  void burn();

private:
  void* handle_ = nullptr;
};

using BlockEncryptor = std::function<Block(const Block&)>;

// Cipher feedback with 8-bit feedback: each byte is combined with the first byte of the
// encrypted shift register, which then takes in the cipher byte.
std::string cfb8Encrypt(const BlockEncryptor& encrypt, Block iv, std::string_view plain);
std::string cfb8Decrypt(const BlockEncryptor& encrypt, Block iv, std::string_view cipher);

// Standard Base64 with '=' padding and no line breaks; decoding refuses anything else.
std::string base64Encode(std::string_view bytes);
std::optional<std::string> base64Decode(std::string_view text);

// The cipher package's string encryption under one 256-bit key.
class StringCipher {
public:
  explicit StringCipher(std::span<const uint8_t, 32> key);
  std::string encryptString(std::string_view plain) const;
  // No value when the text is not Base64.
  std::optional<std::string> decryptString(std::string_view text) const;
  // Wipes the key schedule and the vector; the cipher cannot be used afterwards.
  void burn();

private:
  Twofish256 cipher_;
  Block iv_{};
};

// Overwrites memory in a way the compiler cannot drop.
void secureWipe(void* data, size_t size);

// Uniform random numbers for salts and padding.
class RandomSource {
public:
  virtual ~RandomSource() = default;
  // A number from 0 to bound - 1 (bound > 0).
  virtual uint32_t below(uint32_t bound) = 0;
};

// The system's cryptographic random source (getrandom).
RandomSource& systemRandom();

} // namespace kv::platform
