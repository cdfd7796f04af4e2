// Salted string encryption: a text becomes a two-character salt followed by the encrypted,
// padded text, under a key derived from a fixed pass phrase and the salt.
#pragma once

#include "Platform/Crypto/Crypto.h"

#include <string>

namespace uKVCrypto {

// The encrypted text of S; a new salt and new padding every call, from the system's random source.
std::string KVEncryptString(const std::string& S);
// The same with salt and padding drawn from Random (tests give a fixed sequence).
std::string KVEncryptString(const std::string& S, kv::platform::RandomSource& Random);
// The plain text of an encrypted text: the empty string when its decryption lacks the header;
// otherwise the text after the header, less as many characters at its end as the count says
// (none when it claims more than the text has, or lies below "@").
std::string KVDecryptString(const std::string& S);

} // namespace uKVCrypto
