// libFuzzer target: the deck reader on arbitrary bytes, reading records of
// every shape until the deck runs out or a value is refused.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/deck_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvorat::deck::DeckError;
  using kelvorat::deck::DeckReader;
  DeckReader deck(std::string(reinterpret_cast<const char*>(data), size), "kelvorat.dat");
  std::int32_t n = 0, m = 0;
  double a = 0, b = 0, c = 0, d = 0, e = 0;
  try {
    for (int record = 1; record < 64; ++record) {
      switch (record % 5) {
        case 0:
          deck.read_free(record, "NOBS", {&n});
          break;
        case 1:
          deck.read_free(record, "XO, YO", {&a, &b});
          break;
        case 2:
          deck.read_i4_pair(record, "NT, IPRT", n, m);
          break;
        case 3:
          deck.read_free(record, "Q, STOPT, T0, T0STEP, TA", {&a, &b, &c, &d, &e});
          break;
        case 4:
          deck.read_free(record, "NTERMS, ERRMAX", {&m, &e});
          break;
      }
    }
  } catch (const DeckError& err) {
    // Every refusal is one printable line.
    for (const char ch : std::string(err.what())) {
      if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) > 0x7e)
        __builtin_trap();
    }
  }
  return 0;
}
