// libFuzzer target: whole runs on arbitrary decks, in a scratch directory.
// Decks whose run would take long (many steps, wells or terms, or a tight
// integration tolerance) are skipped after a first read of their records, so
// that each input costs at most a few seconds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/deck_reader.h"
#include "driver/run.h"

namespace {

bool affordable(const std::string& text) {
  using kelvorat::deck::DeckReader;
  DeckReader deck(text, "kelvorat.dat");
  std::int32_t nobs = 0, nt = 0, iprt = 0, nterms = 20;
  double v[16] = {};
  try {
    deck.read_free(1, "NOBS", {&nobs});
    deck.read_free(2, "XO, YO", {&v[0], &v[1]});
    deck.read_free(3, "XW, YW", {&v[0], &v[1]});
    deck.read_free(4, "RW", {&v[0]});
    for (int r = 5; r <= 8; ++r) deck.read_free(r, "", {&v[0], &v[1]});
    deck.read_free(9, "DN", {&v[0]});
    deck.read_free(10, "", {&v[0], &v[1]});
    deck.read_free(11, "", {&v[0], &v[1], &v[2], &v[3], &v[4]});
    deck.read_i4_pair(12, "NT, IPRT", nt, iprt);
    deck.read_free(13, "NTERMS", {&nterms});
    double errmax = 0;
    deck.read_free(14, "ERRMAX", {&errmax});
    return nobs <= 2 && nt <= 2 && (nterms < 6 || nterms > 20 || nterms <= 8) && errmax >= 1e-4;
  } catch (const kelvorat::deck::DeckError&) {
    return true;  // the run stops at the same record
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kelvorat_fuzz_" + std::to_string(::getpid()));
  static std::FILE* sink = std::fopen("/dev/null", "w");
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!affordable(text)) return 0;
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "kelvorat.dat", std::ios::binary | std::ios::trunc) << text;
  const int status = kelvorat::run_program(dir, sink, sink);
  if (status != 0 && status != 2 && status != 3) __builtin_trap();
  return 0;
}
