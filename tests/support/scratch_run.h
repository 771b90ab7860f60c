// Whole runs of the program in scratch directories of their own: a
// directory that removes itself, the run with its console and error text
// captured, and a deck run with every result file read back as lines.
#pragma once

#include <unistd.h>

#include <atomic>
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

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Exit status and the two streams of one run.
struct Streams {
  int status = -1;
  std::string console, errors;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "scratch") {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kelvorat_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }
  std::string read(const std::string& name) const { return slurp(path_ / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

  // Runs the program in the directory (or in `sub` below it).
  Streams run(const std::string& sub = "") const {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Streams s;
    s.status = run_program(sub.empty() ? path_ : path_ / sub, out, err);
    s.console = take(out);
    s.errors = take(err);
    return s;
  }

 private:
  static std::string take(std::FILE* f) {
    std::rewind(f);
    std::string s;
    for (int ch; (ch = std::fgetc(f)) != EOF;) s.push_back(static_cast<char>(ch));
    std::fclose(f);
    return s;
  }
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;
  std::string console, errors;
  std::vector<std::string> adet, kelvorat, kelvdim, dim2, tromb;
};

inline RunResult run_deck(const std::string& deck) {
  const ScratchDir dir("run");
  dir.write("kelvorat.dat", deck);
  const Streams s = dir.run();
  RunResult r;
  r.status = s.status;
  r.console = s.console;
  r.errors = s.errors;
  r.adet = lines_of(dir.read("adet.res"));
  r.kelvorat = lines_of(dir.read("kelvorat.res"));
  r.kelvdim = lines_of(dir.read("kelvdim.res"));
  r.dim2 = lines_of(dir.read("dim2.res"));
  r.tromb = lines_of(dir.read("tromb.res"));
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
