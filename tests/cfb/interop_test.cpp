// Files written here are read by an independent reader (python3-olefile): the same entry names,
// kinds, sizes and bytes, for version 3 and version 4 files and for one large enough to need the
// DIFAT.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "cfb/cfb_internal.h"
#include "cfb/cfb_test_util.h"
#include "cfb/compound_file.h"

namespace xls::cfb {
namespace {

using testing::PatternBytes;
using testing::PutStream;

// SHA-256 (FIPS 180-4), enough to compare stream contents with the other reader.
std::string Sha256Hex(const Bytes& data) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
      0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
      0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
      0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
      0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
      0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
      0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
      0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  Bytes m = data;
  const uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 7; i >= 0; --i) m.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t off = 0; off < m.size(); off += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (uint32_t{m[off + 4 * i]} << 24) | (uint32_t{m[off + 4 * i + 1]} << 16) |
             (uint32_t{m[off + 4 * i + 2]} << 8) | m[off + 4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 =
          hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  std::string out;
  char buf[9];
  for (uint32_t v : h) {
    std::snprintf(buf, sizeof buf, "%08x", v);
    out += buf;
  }
  return out;
}

TEST(CfbInterop, Sha256KnownAnswer) {
  EXPECT_EQ(Sha256Hex(Bytes{'a', 'b', 'c'}),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

std::string Run(const std::string& cmd, int* status) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) {
    *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  *status = pclose(p);
  return out;
}

// The first python3 that can import olefile, or "".
std::string FindPython() {
  for (const char* py : {"python3", "/usr/bin/python3"}) {
    int status = 0;
    Run(std::string(py) + " -c 'import olefile' 2>/dev/null", &status);
    if (status == 0) return py;
  }
  return {};
}

std::string HexName(std::u16string_view name) {
  std::string out;
  char buf[5];
  for (char16_t c : name) {
    std::snprintf(buf, sizeof buf, "%02x%02x", c & 0xFF, c >> 8);  // UTF-16LE
    out += buf;
  }
  return out;
}

// One line per entry: path of hex-encoded names, kind, size, SHA-256 of the bytes.
void Describe(Storage& s, const std::string& prefix, std::set<std::string>& out) {
  for (const auto& e : s.Entries()) {
    const std::string path = prefix + HexName(e.name);
    if (e.kind == EntryKind::Storage) {
      out.insert(path + " storage 0 -");
      Describe(s.OpenStorage(e.name), path + "/", out);
    } else {
      out.insert(path + " stream " + std::to_string(e.size) + " " +
                 Sha256Hex(s.OpenStream(e.name).Data()));
    }
  }
}

const char* kLister = R"PY(
import sys, hashlib, olefile
ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
for path in ole.listdir(streams=True, storages=True):
    hexpath = '/'.join(n.encode('utf-16-le').hex() for n in path)
    if ole.get_type(path) == olefile.STGTY_STORAGE:
        print(hexpath, 'storage 0 -')
    else:
        data = ole.openstream(path).read()
        assert len(data) == ole.get_size(path)
        print(hexpath, 'stream', len(data), hashlib.sha256(data).hexdigest())
)PY";

std::set<std::string> ListWithOlefile(const std::string& python, const std::string& file) {
  const std::string script = testing::TempPath("cfb-olefile") + ".py";
  FILE* f = std::fopen(script.c_str(), "w");
  std::fputs(kLister, f);
  std::fclose(f);
  int status = 0;
  const std::string out = Run(python + " " + script + " " + file + " 2>&1", &status);
  std::filesystem::remove(script);
  EXPECT_EQ(status, 0) << out;
  std::set<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    lines.insert(out.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

void FillSample(Storage& root, bool large) {
  const size_t sizes[] = {0, 1, 4095, 4096, 4097, 100000};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    const std::string n = "Stream" + std::to_string(sizes[i]);
    PutStream(root, std::u16string(n.begin(), n.end()), PatternBytes(sizes[i], 10 + i));
  }
  PutStream(root, u"Workbook", PatternBytes(large ? 8 * 1024 * 1024 + 1 : 30000, 1));
  PutStream(root, u"\x05SummaryInformation", PatternBytes(400, 2));
  PutStream(root, u"Überschrift", PatternBytes(70, 3));
  Storage& vba = root.CreateStorage(u"_VBA_PROJECT_CUR");
  PutStream(vba, u"PROJECT", PatternBytes(600, 4));
  Storage& inner = vba.CreateStorage(u"VBA");
  PutStream(inner, u"dir", PatternBytes(5000, 5));
  PutStream(inner, u"_VBA_PROJECT", PatternBytes(7, 6));
  inner.CreateStorage(u"Empty");
}

TEST(CfbInterop, OlefileReadsWhatWeWrite) {
  const std::string python = FindPython();
  if (python.empty()) GTEST_SKIP() << "python3 with the olefile module is not available";
  const struct {
    const char* what;
    uint16_t version;
    bool large;
  } cases[] = {{"version 3", 3, false}, {"version 4", 4, false}, {"version 3 with DIFAT", 3, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = testing::TempPath("cfb-interop");
    Storage root;
    FillSample(root, c.large);
    if (c.version == 3) {
      auto cf = CompoundFile::Create(path);
      root.CopyTo(cf->Root());
      cf->Commit();
    } else {
      const Bytes bytes = SerializeCompoundFile(root, c.version);
      FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_TRUE(f);
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    std::set<std::string> expected;
    Describe(root, "", expected);
    EXPECT_EQ(ListWithOlefile(python, path), expected);
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace xls::cfb
