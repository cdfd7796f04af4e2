#include "uKVCrypto.h"

#include "Platform/Rtl/ScopeExit.h"

#include <memory>

namespace uKVCrypto {

namespace {

using kv::platform::secureWipe;
using kv::platform::StringCipher;

const char kSaltAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kPassPhrase[] = "7hq2048tk5519302w8bv3eeeee418857rxz61fn209374";
const char kHeader[] = "@A";
constexpr int kMinPaddedLength = 10;
constexpr int kPaddingSpread = 10; // padded lengths 10 to 19

// The cipher under the key of one salt: SHA-256 of the pass phrase followed by the salt.
// Nothing of the key stays in memory once the cipher is gone.
class SaltedCipher {
public:
  explicit SaltedCipher(const std::string& salt) {
    std::string material = std::string(kPassPhrase) + salt;
    auto digest = kv::platform::sha256(material);
    secureWipe(material.data(), material.size());
    const kv::platform::ScopeExit wipe([&digest] { secureWipe(digest.data(), digest.size()); });
    cipher_ = std::make_unique<StringCipher>(digest);
  }
  ~SaltedCipher() { cipher_->burn(); }
  SaltedCipher(const SaltedCipher&) = delete;
  SaltedCipher& operator=(const SaltedCipher&) = delete;
  const StringCipher& operator*() const { return *cipher_; }

private:
  std::unique_ptr<StringCipher> cipher_;
};

} // namespace

std::string KVEncryptString(const std::string& S) { return KVEncryptString(S, kv::platform::systemRandom()); }

std::string KVEncryptString(const std::string& S, kv::platform::RandomSource& Random) {
  std::string salt;
  salt += kSaltAlphabet[Random.below(64)];
  salt += kSaltAlphabet[Random.below(64)];
  const size_t target = kMinPaddedLength + Random.below(kPaddingSpread);
  const size_t n = S.size() < target ? target - S.size() : 0;
  std::string plain = kHeader;
  plain += static_cast<char>(64 + n);
  plain += S;
  for (size_t i = 0; i < n; ++i)
    plain += kSaltAlphabet[Random.below(64)];
  std::string result;
  {
    SaltedCipher cipher(salt);
    result = salt + (*cipher).encryptString(plain);
  }
  secureWipe(plain.data(), plain.size());
  return result;
}

std::string KVDecryptString(const std::string& S) {
  if (S.size() < 2) return {};
  std::optional<std::string> plain;
  {
    SaltedCipher cipher(S.substr(0, 2));
    plain = (*cipher).decryptString(std::string_view(S).substr(2));
  }
  if (!plain) return {}; // not Base64
  std::string result;
  if (plain->size() > 3 && plain->compare(0, 2, kHeader) == 0) {
    const int n = static_cast<unsigned char>((*plain)[2]) - 64;
    const size_t rest = plain->size() - 3;
    // A count the text has no room for, or one below "@", cuts nothing.
    const size_t cut = n > 0 && static_cast<size_t>(n) <= rest ? static_cast<size_t>(n) : 0;
    result = plain->substr(3, rest - cut);
  }
  secureWipe(plain->data(), plain->size());
  return result;
}

} // namespace uKVCrypto
