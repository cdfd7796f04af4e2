#include "EngineCrypt.h"

#include "EngineFiles.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <libdeflate.h>
#include <sys/random.h>

namespace kv::engine {

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr auto kCrcTable = makeCrcTable();

inline uint32_t crcByte(uint32_t crc, uint8_t b) { return (crc >> 8) ^ kCrcTable[(crc ^ b) & 0xFF]; }

} // namespace

uint32_t crc32Of(uint32_t crc, const void* data, size_t size) { return libdeflate_crc32(crc, data, size); }

bool randomBytes(void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  return transferAll(size, [&](size_t done, size_t left) { return getrandom(out + done, left, 0); });
}

TraditionalCipher::TraditionalCipher(std::string_view password)
    : key0_(305419896u), key1_(591751049u), key2_(878082192u) {
  for (char c : password)
    updateKeys(static_cast<uint8_t>(c));
}

uint8_t TraditionalCipher::keyStreamByte() const {
  const uint32_t temp = (key2_ | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TraditionalCipher::updateKeys(uint8_t plain) {
  key0_ = crcByte(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = crcByte(key2_, static_cast<uint8_t>(key1_ >> 24));
}

void TraditionalCipher::encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t plain = data[i];
    data[i] = plain ^ keyStreamByte();
    updateKeys(plain);
  }
}

void TraditionalCipher::decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t plain = data[i] ^ keyStreamByte();
    data[i] = plain;
    updateKeys(plain);
  }
}

bool passwordMatches(std::string_view password, const uint8_t header[kEncryptionHeaderSize], uint32_t crc,
                     uint16_t dosTime, bool hasDataDescriptor) {
  uint8_t copy[kEncryptionHeaderSize];
  std::memcpy(copy, header, sizeof copy);
  TraditionalCipher cipher(password);
  cipher.decrypt(copy, sizeof copy);
  const uint8_t check = copy[kEncryptionHeaderSize - 1];
  if (check == static_cast<uint8_t>(crc >> 24)) return true;
  return hasDataDescriptor && check == static_cast<uint8_t>(dosTime >> 8);
}

} // namespace kv::engine
