#include "Platform/Crypto/Crypto.h"

#include <gcrypt.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/random.h>

namespace kv::platform {

namespace {

void initialise() {
  static std::once_flag once;
  std::call_once(once, [] {
    // A host that uses libgcrypt itself may have set it up already; then its settings stay.
    if (!gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
      if (!gcry_check_version(GCRYPT_VERSION))
        throw ECryptoError("libgcrypt is older than the one built against");
      gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
      gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
  });
}

[[noreturn]] void failed(const char* what, gcry_error_t err) {
  throw ECryptoError(std::string(what) + ": " + gcry_strerror(err));
}

class SystemRandom : public RandomSource {
public:
  uint32_t below(uint32_t bound) override {
    if (bound <= 1) return 0;
    // Rejection keeps every result equally likely.
    const uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
    for (;;) {
      uint32_t r;
      const ssize_t n = getrandom(&r, sizeof r, 0);
      if (n != static_cast<ssize_t>(sizeof r)) {
        if (n < 0 && errno == EINTR) continue;
        throw ECryptoError(std::string("no random numbers: ") + std::strerror(errno));
      }
      if (r < limit) return r % bound;
    }
  }
};

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

} // namespace

void secureWipe(void* data, size_t size) {
  volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
  while (size--)
    *p++ = 0;
}

Sha256Digest sha256(std::string_view data) {
  initialise();
  Sha256Digest digest;
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), data.data(), data.size());
  return digest;
}

Twofish256::Twofish256(std::span<const uint8_t, 32> key) {
  initialise();
  gcry_cipher_hd_t h = nullptr;
  if (auto err = gcry_cipher_open(&h, GCRY_CIPHER_TWOFISH, GCRY_CIPHER_MODE_ECB, 0)) failed("Twofish", err);
  if (auto err = gcry_cipher_setkey(h, key.data(), key.size())) {
    gcry_cipher_close(h);
    failed("Twofish key", err);
  }
  handle_ = h;
}

Twofish256::~Twofish256() { burn(); }

Block Twofish256::encryptBlock(const Block& in) const {
  if (!handle_) throw ECryptoError("Twofish: the key was erased");
  Block out;
  if (auto err = gcry_cipher_encrypt(static_cast<gcry_cipher_hd_t>(handle_), out.data(), out.size(),
                                     in.data(), in.size()))
    failed("Twofish", err);
  return out;
}

void Twofish256::burn() {
  // Closing the handle wipes the key schedule held by libgcrypt.
  if (handle_) gcry_cipher_close(static_cast<gcry_cipher_hd_t>(handle_));
  handle_ = nullptr;
}

std::string cfb8Encrypt(const BlockEncryptor& encrypt, Block iv, std::string_view plain) {
  std::string out(plain.size(), '\0');
  for (size_t i = 0; i < plain.size(); ++i) {
    Block keystream = encrypt(iv);
    const uint8_t c = static_cast<uint8_t>(plain[i]) ^ keystream[0];
    std::memmove(iv.data(), iv.data() + 1, iv.size() - 1);
    iv.back() = c;
    out[i] = static_cast<char>(c);
    secureWipe(keystream.data(), keystream.size());
  }
  secureWipe(iv.data(), iv.size());
  return out;
}

std::string cfb8Decrypt(const BlockEncryptor& encrypt, Block iv, std::string_view cipher) {
  std::string out(cipher.size(), '\0');
  for (size_t i = 0; i < cipher.size(); ++i) {
    Block keystream = encrypt(iv);
    const uint8_t c = static_cast<uint8_t>(cipher[i]);
    std::memmove(iv.data(), iv.data() + 1, iv.size() - 1);
    iv.back() = c;
    out[i] = static_cast<char>(c ^ keystream[0]);
    secureWipe(keystream.data(), keystream.size());
  }
  secureWipe(iv.data(), iv.size());
  return out;
}

std::string base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (n > 1) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (n > 2) v |= static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += n > 1 ? kAlphabet[v >> 6 & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  if (text.size() % 4) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++padding;
        continue;
      }
      if (padding) return std::nullopt; // data after padding
      v[k] = base64Value(c);
      if (v[k] < 0) return std::nullopt;
    }
    const uint32_t n = static_cast<uint32_t>(v[0]) << 18 | v[1] << 12 | v[2] << 6 | v[3];
    out += static_cast<char>(n >> 16 & 0xFF);
    if (padding < 2) out += static_cast<char>(n >> 8 & 0xFF);
    if (padding < 1) out += static_cast<char>(n & 0xFF);
  }
  return out;
}

StringCipher::StringCipher(std::span<const uint8_t, 32> key) : cipher_(key) {
  iv_ = cipher_.encryptBlock(Block{}); // no vector given: the encrypted zero block stands in
}

std::string StringCipher::encryptString(std::string_view plain) const {
  const auto encrypt = [this](const Block& b) { return cipher_.encryptBlock(b); };
  return base64Encode(cfb8Encrypt(encrypt, iv_, plain));
}

std::optional<std::string> StringCipher::decryptString(std::string_view text) const {
  auto bytes = base64Decode(text);
  if (!bytes) return std::nullopt;
  const auto encrypt = [this](const Block& b) { return cipher_.encryptBlock(b); };
  std::string plain = cfb8Decrypt(encrypt, iv_, *bytes);
  secureWipe(bytes->data(), bytes->size());
  return plain;
}

void StringCipher::burn() {
  cipher_.burn();
  secureWipe(iv_.data(), iv_.size());
}

RandomSource& systemRandom() {
  static SystemRandom random;
  return random;
}

} // namespace kv::platform
