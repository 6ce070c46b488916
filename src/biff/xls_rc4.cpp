#include "biff/xls_rc4.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace xls {

void TRC4::Init(const uint8_t* key, size_t keyLen) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + s_[k] + (keyLen ? key[k % keyLen] : 0));
    std::swap(s_[k], s_[j]);
  }
  i_ = 0;
  j_ = 0;
}

void TRC4::Crypt(uint8_t* data, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    i_ = static_cast<uint8_t>(i_ + 1);
    j_ = static_cast<uint8_t>(j_ + s_[i_]);
    std::swap(s_[i_], s_[j_]);
    data[k] ^= s_[static_cast<uint8_t>(s_[i_] + s_[j_])];
  }
}

void TRC4::Skip(size_t count) {
  uint8_t scratch[256];
  while (count > 0) {
    const size_t n = std::min(count, sizeof scratch);
    std::memset(scratch, 0, n);
    Crypt(scratch, n);
    count -= n;
  }
}

void TXLSRC4::SetPassword(std::u16string_view password, const uint8_t* salt) {
  password = password.substr(0, std::min(password.size(), kMaxPasswordChars));
  Bytes pw(password.size() * 2);
  for (size_t k = 0; k < password.size(); ++k) PutU16(pw.data() + 2 * k, password[k]);
  const TMD5Digest h0 = MD5Digest(pw.data(), pw.size());

  constexpr size_t kPart = 5 + 16;
  uint8_t buf[16 * kPart];
  for (size_t k = 0; k < 16; ++k) {
    std::memcpy(buf + k * kPart, h0.data(), 5);
    std::memcpy(buf + k * kPart + 5, salt, 16);
  }
  docKey_ = MD5Digest(buf, sizeof buf);
  keyBlock_ = -1;
}

TMD5Digest TXLSRC4::BlockKey(uint32_t block) const {
  uint8_t buf[9];
  std::memcpy(buf, docKey_.data(), 5);
  PutU32(buf + 5, block);
  return MD5Digest(buf, sizeof buf);
}

bool TXLSRC4::VerifyPassword(const uint8_t* encVerifier, const uint8_t* encVerifierHash) {
  const TMD5Digest key = BlockKey(0);
  TRC4 rc4;
  rc4.Init(key.data(), key.size());
  uint8_t verifier[16], hash[16];
  std::memcpy(verifier, encVerifier, 16);
  std::memcpy(hash, encVerifierHash, 16);
  rc4.Crypt(verifier, 16);
  rc4.Crypt(hash, 16);
  keyBlock_ = -1;
  const TMD5Digest check = MD5Digest(verifier, 16);
  return std::memcmp(check.data(), hash, 16) == 0;
}

void TXLSRC4::MoveTo(int64_t pos) {
  const int64_t block = pos / kRC4BlockSize;
  if (block != keyBlock_ || pos < keyPos_) {
    const TMD5Digest key = BlockKey(static_cast<uint32_t>(block));
    rc4_.Init(key.data(), key.size());
    keyBlock_ = block;
    keyPos_ = block * kRC4BlockSize;
  }
  rc4_.Skip(static_cast<size_t>(pos - keyPos_));
  keyPos_ = pos;
}

void TXLSRC4::Crypt(uint8_t* data, size_t count, int64_t pos) {
  if (pos < 0) return;
  while (count > 0) {
    MoveTo(pos);
    const size_t inBlock = static_cast<size_t>(kRC4BlockSize - pos % kRC4BlockSize);
    const size_t n = std::min(count, inBlock);
    rc4_.Crypt(data, n);
    data += n;
    count -= n;
    pos += static_cast<int64_t>(n);
    keyPos_ = pos;
  }
}

bool XLSCheckPassword(std::span<const uint8_t> filePass, std::u16string_view password) {
  if (filePass.size() < kFilePassRC4Size || GetU16(filePass.data()) != kFilePassTypeRC4)
    return false;
  TXLSRC4 rc4;
  rc4.SetPassword(password, filePass.data() + kFilePassSaltOffset);
  return rc4.VerifyPassword(filePass.data() + kFilePassVerifierOffset,
                            filePass.data() + kFilePassVerifierHashOffset);
}

Bytes XLSMakeFilePass(std::u16string_view password, const uint8_t* salt, const uint8_t* verifier) {
  Bytes body(kFilePassRC4Size, 0);
  PutU16(body.data(), kFilePassTypeRC4);
  PutU16(body.data() + 2, 1);  // major version
  PutU16(body.data() + 4, 1);  // minor version
  std::memcpy(body.data() + kFilePassSaltOffset, salt, 16);
  const TMD5Digest hash = MD5Digest(verifier, 16);
  std::memcpy(body.data() + kFilePassVerifierOffset, verifier, 16);
  std::memcpy(body.data() + kFilePassVerifierHashOffset, hash.data(), 16);
  TXLSRC4 rc4;
  rc4.SetPassword(password, salt);
  const TMD5Digest key = rc4.BlockKey(0);
  TRC4 cipher;
  cipher.Init(key.data(), key.size());
  cipher.Crypt(body.data() + kFilePassVerifierOffset, 32);
  return body;
}

}  // namespace xls
