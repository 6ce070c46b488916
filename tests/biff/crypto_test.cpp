#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "biff/xls_md4_hash.h"
#include "biff/xls_md5.h"
#include "biff/xls_rc4.h"
#include "platform/error.h"

namespace xls {
namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t k = 0; k < n; ++k) {
    s += digits[p[k] >> 4];
    s += digits[p[k] & 15];
  }
  return s;
}
template <typename A>
std::string Hex(const A& a) {
  return Hex(a.data(), a.size());
}

Bytes FromHex(const std::string& h) {
  Bytes out;
  for (size_t k = 0; k + 1 < h.size(); k += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(h.substr(k, 2), nullptr, 16)));
  return out;
}

struct DigestCase {
  const char* message;
  const char* md5;
  const char* md4;
};

// The test suites of RFC 1321 (MD5) and RFC 1320 (MD4).
const DigestCase kDigestCases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"a", "0cc175b9c0f1b6a831c399e269772661", "bde52cb31de33e46245e05fbdbd6fb24"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72", "a448017aaf21d8525fc10ae87aa6729d"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0", "d9130a8164549fe818874806e1c7014b"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b",
     "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f", "043f8582f241db351ce627e153e7f0e4"},
    {"1234567890123456789012345678901234567890"
     "1234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a", "e33b4ddc9c38f2199c3e7b164fcc0536"},
};

TEST(CryptoTest, MD5MatchesRfc1321Suite) {
  for (const auto& c : kDigestCases) {
    EXPECT_EQ(Hex(MD5Digest(c.message, std::strlen(c.message))), c.md5) << '"' << c.message << '"';
  }
}

TEST(CryptoTest, MD5FinalAddsNoPaddingAndUpdateBuffersPartialBlocks) {
  // The caller pads; feeding the padded message in uneven pieces gives the same digest.
  const char* msg = kDigestCases[6].message;
  const Bytes padded = MD5Pad(msg, std::strlen(msg));
  ASSERT_EQ(padded.size() % 64, 0u);
  for (size_t piece : {1u, 7u, 63u, 64u, 65u, 100u}) {
    TMD5Context ctx;
    TMD5::Init(ctx);
    for (size_t at = 0; at < padded.size(); at += piece)
      TMD5::Update(ctx, padded.data() + at, std::min(piece, padded.size() - at));
    TMD5::Final(ctx);
    EXPECT_EQ(Hex(ctx.digest, 16), kDigestCases[6].md5) << "piece " << piece;
  }
  // Without padding, Final hands out the state as it is: for no input the initial state.
  TMD5Context ctx;
  TMD5::Init(ctx);
  TMD5::Update(ctx, "abc", 3);  // an incomplete block stays in the buffer
  TMD5::Final(ctx);
  EXPECT_EQ(Hex(ctx.digest, 16), "0123456789abcdeffedcba9876543210");
}

TEST(CryptoTest, MD4MatchesRfc1320Suite) {
  for (const auto& c : kDigestCases) {
    EXPECT_EQ(Hex(TMD4Hash::Digest(c.message, std::strlen(c.message))), c.md4)
        << '"' << c.message << '"';
  }
  // Fed in pieces that straddle the 64-byte blocks and the padding boundary at 56.
  const char* msg = kDigestCases[6].message;
  for (size_t piece : {1u, 3u, 55u, 56u, 57u, 64u}) {
    TMD4Hash h;
    h.Init();
    for (size_t at = 0; at < std::strlen(msg); at += piece)
      h.Update(msg + at, std::min(piece, std::strlen(msg) - at));
    EXPECT_EQ(Hex(h.Final()), kDigestCases[6].md4) << "piece " << piece;
  }
}

TEST(CryptoTest, MD4RefusesUninitialisedUse) {
  TMD4Hash h;
  try {
    h.Update("x", 1);
    FAIL() << "no exception";
  } catch (const EXLSError& e) {
    EXPECT_STREQ(e.what(), "Hash not initialized");
  }
  EXPECT_THROW(h.Final(), EXLSError);
  h.Init();
  h.Update("abc", 3);
  EXPECT_EQ(Hex(h.Final()), kDigestCases[2].md4);
  // Final ends the hash; it has to be initialised again.
  EXPECT_THROW(h.Update("abc", 3), EXLSError);
}

TEST(CryptoTest, RC4MatchesPublishedVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  } cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const auto& c : cases) {
    Bytes data(c.plain, c.plain + std::strlen(c.plain));
    TRC4 rc4;
    rc4.Init(reinterpret_cast<const uint8_t*>(c.key), std::strlen(c.key));
    rc4.Crypt(data.data(), data.size());
    EXPECT_EQ(Hex(data), c.cipher);
    // Decrypting is the same operation; Skip moves the keystream like Crypt does.
    TRC4 back;
    back.Init(reinterpret_cast<const uint8_t*>(c.key), std::strlen(c.key));
    back.Skip(2);
    back.Crypt(data.data() + 2, data.size() - 2);
    EXPECT_EQ(std::string(data.begin() + 2, data.end()), std::string(c.plain + 2));
  }
}

// The FILEPASS body of the RC4-encrypted corpus workbook password_2002_40_972000.xls (password
// "password"), taken from its workbook stream.
const char kFilePassHex[] =
    "0100010001006e5d9e06b02905033963fde7e9bd05373696e88e3f692c16562962e4b201387db8dc243cfc3d4a"
    "58d7d8ca82ddfce634";

TEST(CryptoTest, PasswordCheckAgainstFilePassOfAnExcelFile) {
  const Bytes filePass = FromHex(kFilePassHex);
  ASSERT_EQ(filePass.size(), kFilePassRC4Size);
  EXPECT_TRUE(XLSCheckPassword(filePass, u"password"));
  EXPECT_FALSE(XLSCheckPassword(filePass, u"Password"));
  EXPECT_FALSE(XLSCheckPassword(filePass, u""));
  EXPECT_FALSE(XLSCheckPassword(filePass, u"password1"));
  // A body that is short or not of the RC4 type is refused without reading past it.
  EXPECT_FALSE(XLSCheckPassword(std::span(filePass).first(53), u"password"));
  Bytes xorType = filePass;
  xorType[0] = 0;
  EXPECT_FALSE(XLSCheckPassword(xorType, u"password"));
}

TEST(CryptoTest, OnlyTheFirst31PasswordCharactersCount) {
  const uint8_t salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const uint8_t verifier[16] = {0xA5, 0, 0x5A, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  const std::u16string pw31 = u"abcdefghijklmnopqrstuvwxyz01234";
  ASSERT_EQ(pw31.size(), 31u);
  const Bytes filePass = XLSMakeFilePass(pw31 + u"5", salt, verifier);
  EXPECT_TRUE(XLSCheckPassword(filePass, pw31));
  EXPECT_TRUE(XLSCheckPassword(filePass, pw31 + u"XYZ"));
  EXPECT_FALSE(XLSCheckPassword(filePass, pw31.substr(0, 30)));
  // Non-Latin passwords are hashed as UTF-16LE.
  const Bytes cjk = XLSMakeFilePass(u"密码", salt, verifier);
  EXPECT_TRUE(XLSCheckPassword(cjk, u"密码"));
  EXPECT_FALSE(XLSCheckPassword(cjk, u"密"));
}

TEST(CryptoTest, StreamCipherRekeysEvery1024BytesAndServesAnyOffset) {
  TXLSRC4 c;
  const uint8_t salt[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  c.SetPassword(u"secret", salt);
  // Reference: byte p is plaintext xor keystream byte (p mod 1024) of the key of block p / 1024.
  const size_t size = 3 * kRC4BlockSize + 100;
  Bytes reference(size, 0);
  for (size_t block = 0; block * kRC4BlockSize < size; ++block) {
    const TMD5Digest key = c.BlockKey(static_cast<uint32_t>(block));
    TRC4 rc4;
    rc4.Init(key.data(), key.size());
    const size_t n = std::min<size_t>(kRC4BlockSize, size - block * kRC4BlockSize);
    rc4.Crypt(reference.data() + block * kRC4BlockSize, n);
  }
  // In one go, and in pieces visited out of order with gaps.
  Bytes whole(size, 0);
  c.Crypt(whole.data(), whole.size(), 0);
  EXPECT_EQ(whole, reference);
  const struct {
    size_t at, n;
  } pieces[] = {{2000, 100}, {5, 1019}, {1024, 1}, {3000, 172}, {1023, 2}, {0, 5}, {3100, 72}};
  for (const auto& piece : pieces) {
    Bytes part(piece.n, 0);
    c.Crypt(part.data(), part.size(), static_cast<int64_t>(piece.at));
    EXPECT_EQ(part, Bytes(reference.begin() + piece.at, reference.begin() + piece.at + piece.n))
        << "at " << piece.at;
  }
}

}  // namespace
}  // namespace xls
