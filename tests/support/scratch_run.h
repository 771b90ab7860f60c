// Whole runs of the program on a deck given as text, in a scratch directory
// of their own, with every result file read back as lines.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.h"

namespace kelvorat::testing {

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

struct RunResult {
  int status = -1;
  std::string console, errors;
  std::vector<std::string> adet, kelvorat, kelvdim, dim2, tromb;
};

inline RunResult run_deck(const std::string& deck) {
  static int serial = 0;
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("kelvorat_scratch_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "kelvorat.dat", std::ios::binary) << deck;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  RunResult r;
  r.status = run_program(dir, out, err);
  auto slurp = [](std::FILE* f) {
    std::rewind(f);
    std::string s;
    for (int ch; (ch = std::fgetc(f)) != EOF;) s.push_back(static_cast<char>(ch));
    std::fclose(f);
    return s;
  };
  r.console = slurp(out);
  r.errors = slurp(err);
  auto read = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return lines_of(s.str());
  };
  r.adet = read("adet.res");
  r.kelvorat = read("kelvorat.res");
  r.kelvdim = read("kelvdim.res");
  r.dim2 = read("dim2.res");
  r.tromb = read("tromb.res");
  std::filesystem::remove_all(dir);
  return r;
}

// One row of a well's result table in adet.res.
struct TableRow {
  double time, drawdown, error, depletion;
};

// The result table of observation well `well` (1-based) in adet.res.
inline std::vector<TableRow> table(const RunResult& r, int well) {
  std::vector<TableRow> rows;
  int seen = 0;
  for (std::size_t i = 0; i < r.adet.size(); ++i) {
    if (r.adet[i] != "   TIME STEP        TIME         DRAWDOWN        ERROR") continue;
    if (++seen != well) continue;
    for (std::size_t j = i + 2; j < r.adet.size() && r.adet[j].size() == 68; ++j) {
      const std::string& l = r.adet[j];
      rows.push_back({std::stod(l.substr(11, 16)), std::stod(l.substr(27, 18)),
                      std::stod(l.substr(45, 11)), std::stod(l.substr(56, 12))});
    }
  }
  return rows;
}

}  // namespace kelvorat::testing
