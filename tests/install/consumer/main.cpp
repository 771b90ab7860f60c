// Computes the first observation well of a deck through the installed
// engine and prints its drawdowns, one line per output time.
//   consumer <deck>
#include <kelvorat/engine.h>
#include <kelvorat/version.h>

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer <deck>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  namespace engine = kelvorat::engine;
  try {
    const engine::Deck d = engine::parse_deck(text.str());
    const engine::Settings s = engine::check_settings(d.NTERMS, d.ERRMAX).settings;
    const auto [xo, yo] = d.observations.at(0);
    engine::Carry carry;
    const engine::Series w = engine::well_series(d.aquifer, d.well, d.test, s, xo, yo, &carry);
    std::printf("kelvorat %s: %zu output times\n", kelvorat::kVersion, w.TIME.size());
    for (std::size_t i = 0; i < w.TIME.size(); ++i) {
      std::printf("%.6e %.10e\n", w.TIME[i], w.DRAW[i]);
    }
    return w.TIME.empty() ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "consumer: %s\n", e.what());
    return 1;
  }
}
