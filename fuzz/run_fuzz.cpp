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

#include "driver/deck.h"
#include "driver/deck_reader.h"
#include "driver/run.h"

namespace {

// Decks small enough to run thousands of times: at most two wells and two
// output times, few Stehfest terms, a coarse tolerance.  A deck that fails
// to read is cheap: the run stops at the same record.
bool affordable(const std::string& text) {
  kelvorat::deck::DeckReader deck(text, "kelvorat.dat");
  const kelvorat::StartRead read = kelvorat::read_start_records(deck);
  if (read.error) return true;
  const kelvorat::StartRecords& r = read.records;
  return r.NOBS <= 2 && r.NT <= 2 && (r.NTERMS < 6 || r.NTERMS > 20 || r.NTERMS <= 8) &&
         r.ERRMAX >= 1e-4;
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
