#include "platform/paper_size.h"

#include <dlfcn.h>

#include <cctype>
#include <string>

namespace xls {

namespace {

constexpr uint8_t kA4 = 9;

struct TCupsOption {
  char* name;
  char* value;
};
struct TCupsDest {
  char* name;
  char* instance;
  int isDefault;
  int numOptions;
  TCupsOption* options;
};

// Asks CUPS through its shared library when it is installed; the engine does not link it.
uint8_t PaperSizeFromCups() {
  // The library stays loaded: it keeps state of its own for the life of the process.
  void* lib = dlopen("libcups.so.2", RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
  if (!lib) return 0;
  using GetDests = int (*)(TCupsDest**);
  using GetDest = TCupsDest* (*)(const char*, const char*, int, TCupsDest*);
  using GetOption = const char* (*)(const char*, int, TCupsOption*);
  using FreeDests = void (*)(int, TCupsDest*);
  auto getDests = reinterpret_cast<GetDests>(dlsym(lib, "cupsGetDests"));
  auto getDest = reinterpret_cast<GetDest>(dlsym(lib, "cupsGetDest"));
  auto getOption = reinterpret_cast<GetOption>(dlsym(lib, "cupsGetOption"));
  auto freeDests = reinterpret_cast<FreeDests>(dlsym(lib, "cupsFreeDests"));
  uint8_t code = 0;
  if (getDests && getDest && getOption && freeDests) {
    TCupsDest* dests = nullptr;
    const int n = getDests(&dests);
    if (TCupsDest* dest = getDest(nullptr, nullptr, n, dests)) {
      if (const char* media = getOption("media", dest->numOptions, dest->options))
        code = PaperSizeFromMediaName(media);
    }
    freeDests(n, dests);
  }
  return code;
}

}  // namespace

uint8_t PaperSizeFromMediaName(std::string_view media) {
  std::string m;
  for (char c : media) m += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct TName {
    const char* name;
    uint8_t code;
  } static const kNames[] = {
      {"letter", 1},       {"na_letter", 1}, {"legal", 5},  {"na_legal", 5},  {"executive", 7},
      {"na_executive", 7}, {"a3", 8},        {"iso_a3", 8}, {"a4", 9},        {"iso_a4", 9},
      {"a5", 11},          {"iso_a5", 11},   {"b4", 12},    {"jis_b4", 12},   {"b5", 13},
      {"jis_b5", 13},      {"tabloid", 3},   {"ledger", 4}, {"na_ledger", 4}, {"env10", 20},
  };
  // "iso_a4_210x297mm" and "A4.Transverse" name A4 too: compare up to the size suffix.
  const size_t cut = m.find_first_of(".");
  std::string base = m.substr(0, cut);
  for (const TName& n : kNames) {
    const std::string name = n.name;
    if (base == name || base.rfind(name + "_", 0) == 0) return n.code;
  }
  return 0;
}

uint8_t DefaultPrinterPaperSize() {
  // Asked once per process: every new workbook wants it, and the answer rarely changes.
  static const uint8_t code = [] {
    const uint8_t c = PaperSizeFromCups();
    return c ? c : kA4;
  }();
  return code;
}

}  // namespace xls
