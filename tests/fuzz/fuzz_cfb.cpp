// libFuzzer target: open bytes as a compound file, read every stream below the root, and write
// what was read back out; a damaged file may only end in EXLSError.
#include <cstddef>
#include <cstdint>
#include <span>

#include "cfb/compound_file.h"
#include "platform/error.h"

namespace {

using xls::cfb::CompoundFile;
using xls::cfb::EntryKind;
using xls::cfb::SeekOrigin;
using xls::cfb::Storage;

void ReadAll(Storage& s) {
  for (const auto& e : s.Entries()) {
    if (e.kind == EntryKind::Storage) {
      ReadAll(s.OpenStorage(e.name));
      continue;
    }
    auto& st = s.OpenStream(e.name);
    if (st.Size() != e.size) __builtin_trap();
    uint8_t buf[512];
    uint64_t total = 0;
    st.Seek(0, SeekOrigin::Begin);
    for (size_t n; (n = st.Read(buf, sizeof buf)) > 0;) total += n;
    if (total != e.size) __builtin_trap();
    st.Seek(-static_cast<int64_t>(e.size / 2), SeekOrigin::End);
    st.Seek(0, SeekOrigin::Begin);
  }
}

bool SameTree(Storage& a, Storage& b) {
  const auto ea = a.Entries();
  if (ea.size() != b.Entries().size()) return false;
  for (const auto& e : ea) {
    if (e.kind == EntryKind::Storage) {
      if (!SameTree(a.OpenStorage(e.name), b.OpenStorage(e.name))) return false;
    } else if (a.OpenStream(e.name).Data() != b.OpenStream(e.name).Data()) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<CompoundFile> cf;
  try {
    cf = CompoundFile::OpenRead(std::span<const uint8_t>(data, size));
    ReadAll(cf->Root());
  } catch (const xls::EXLSError&) {
    return 0;
  }
  // What was read must survive a write and a second read. Copying may refuse a name the writer
  // does not allow (such as one holding '/'); nothing else may fail.
  auto copy = CompoundFile::CreateInMemory();
  try {
    cf->Root().CopyTo(copy->Root());
  } catch (const xls::EXLSError&) {
    return 0;
  }
  try {
    auto again = CompoundFile::OpenRead(copy->GetBytes());
    if (!SameTree(cf->Root(), again->Root())) __builtin_trap();
  } catch (const xls::EXLSError&) {
    __builtin_trap();
  }
  return 0;
}
