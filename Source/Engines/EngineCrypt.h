// Traditional zip encryption and the checksums and random bytes it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kv::engine {

// The zip CRC-32 of a block, continuing from crc (0 to start).
uint32_t crc32Of(uint32_t crc, const void* data, size_t size);

// Fills the buffer from the system's cryptographic random source; false when none answers.
bool randomBytes(void* buffer, size_t size);

// The three-key stream cipher of traditional zip encryption. Each member starts from the
// password with a fresh object; the 12-byte header is encrypted and decrypted with the data.
class TraditionalCipher {
public:
  explicit TraditionalCipher(std::string_view password);
  void encrypt(uint8_t* data, size_t size);
  void decrypt(uint8_t* data, size_t size);

private:
  uint8_t keyStreamByte() const;
  void updateKeys(uint8_t plain);
  uint32_t key0_, key1_, key2_;
};

constexpr size_t kEncryptionHeaderSize = 12;

// Decrypts a member's 12-byte header with the password and compares its last byte with the check
// byte the writer put there (the CRC's high byte, or the DOS time's high byte when the sizes
// follow the data). Accepts either when the member has a data descriptor, as writers differ.
bool passwordMatches(std::string_view password, const uint8_t header[kEncryptionHeaderSize], uint32_t crc,
                     uint16_t dosTime, bool hasDataDescriptor);

} // namespace kv::engine
