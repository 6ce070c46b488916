// RC4 and the BIFF8 standard RC4 encryption: password key derivation with MD5, the per-block
// RC4 key (a new key every 1024 bytes of the workbook stream) and the password verifier of the
// FILEPASS record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "biff/xls_md5.h"
#include "platform/bytes.h"

namespace xls {

class TRC4 {
 public:
  void Init(const uint8_t* key, size_t keyLen);
  // Encrypts or decrypts in place (the same operation); a count of 0 does nothing.
  void Crypt(uint8_t* data, size_t count);
  // Discards count keystream bytes.
  void Skip(size_t count);

 private:
  uint8_t s_[256] = {};
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

// Stream bytes encrypted with one RC4 key.
inline constexpr int kRC4BlockSize = 1024;
// Characters of a password that take part in the key.
inline constexpr size_t kMaxPasswordChars = 31;

// FILEPASS body, RC4 form.
inline constexpr size_t kFilePassRC4Size = 54;
inline constexpr uint16_t kFilePassTypeXOR = 0;
inline constexpr uint16_t kFilePassTypeRC4 = 1;
inline constexpr size_t kFilePassSaltOffset = 6;
inline constexpr size_t kFilePassVerifierOffset = 22;
inline constexpr size_t kFilePassVerifierHashOffset = 38;

// The encryption state of one workbook stream. Crypt serves the byte at stream offset p with the
// keystream byte p mod 1024 of the key of block p / 1024, whatever was crypted before: the
// keystream position always equals the stream position.
class TXLSRC4 {
 public:
  // Derives the document key from the password (its first 31 characters) and the 16-byte salt.
  void SetPassword(std::u16string_view password, const uint8_t* salt);
  // Decrypts the encrypted verifier and verifier hash with the key of block 0 and compares the
  // MD5 of the verifier with the hash.
  bool VerifyPassword(const uint8_t* encVerifier, const uint8_t* encVerifierHash);
  // The RC4 key of a block: MD5 of the first 5 bytes of the document key and the block number.
  TMD5Digest BlockKey(uint32_t block) const;
  // Encrypts or decrypts count bytes that lie at stream offset pos.
  void Crypt(uint8_t* data, size_t count, int64_t pos);
  // Forgets the keystream position (the next Crypt rekeys).
  void Reset() { keyBlock_ = -1; }

  const TMD5Digest& DocumentKey() const { return docKey_; }

 private:
  void MoveTo(int64_t pos);

  TMD5Digest docKey_ = {};
  TRC4 rc4_;
  int64_t keyBlock_ = -1;  // block the RC4 state was keyed for; -1 = none
  int64_t keyPos_ = 0;     // stream offset of the next keystream byte
};

// Checks a password against a FILEPASS body of the RC4 form. False for a body that is too short,
// not of the RC4 type, or when the password is wrong.
bool XLSCheckPassword(std::span<const uint8_t> filePass, std::u16string_view password);

// A FILEPASS body (RC4 form, 54 bytes) for a password, with the given salt and verifier.
Bytes XLSMakeFilePass(std::u16string_view password, const uint8_t* salt, const uint8_t* verifier);

}  // namespace xls
