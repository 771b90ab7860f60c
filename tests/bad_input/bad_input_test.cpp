// The corpus of malformed decks: each one must end with its exit status and
// one line on stderr that names the file, line, record and value; the lines
// written before the error must be those of the intact deck; nothing outside
// the run's directory may change.  Decks written with CRLF line ends, a
// byte-order mark, tabs or without a final line end give the results of
// their plain twin.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run.h"

namespace kelvorat {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = KELVORAT_BAD_INPUT_DIR;

struct Case {
  std::string name;
  int status;
  std::string stderr_prefix;
  bool prefix_of_plain;
};

std::vector<Case> manifest() {
  std::vector<Case> cases;
  std::ifstream in(kCorpus / "expected.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
      f.push_back(line.substr(start, bar - start));
    }
    f.push_back(line.substr(start));
    if (f.size() != 4) ADD_FAILURE() << "bad manifest line: " << line;
    if (f.size() != 4) continue;
    cases.push_back({f[0], std::stoi(f[1]), f[2], f[3] == "1"});
  }
  return cases;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Outcome {
  int status;
  std::string errors;
  std::map<std::string, std::string> files;  // every file left in the run's directory
};

// Runs one deck in <sandbox>/run, next to a file the run must not touch.
Outcome run_case(const std::string& name) {
  const fs::path sandbox =
      fs::temp_directory_path() / ("kelvorat_bad_input_" + std::to_string(::getpid()));
  fs::remove_all(sandbox);
  fs::create_directories(sandbox / "run");
  std::ofstream(sandbox / "neighbour.res") << "not to be touched\n";
  fs::copy_file(kCorpus / "decks" / (name + ".dat"), sandbox / "run" / "kelvorat.dat");

  std::FILE* out = std::fopen("/dev/null", "w");
  std::FILE* err = std::tmpfile();
  Outcome o;
  o.status = run_program(sandbox / "run", out, err);
  std::fclose(out);
  std::rewind(err);
  for (int ch; (ch = std::fgetc(err)) != EOF;) o.errors.push_back(static_cast<char>(ch));
  std::fclose(err);

  std::set<std::string> outside;
  for (const auto& e : fs::directory_iterator(sandbox)) outside.insert(e.path().filename());
  EXPECT_EQ(outside, (std::set<std::string>{"neighbour.res", "run"})) << name;
  EXPECT_EQ(slurp(sandbox / "neighbour.res"), "not to be touched\n") << name;
  for (const auto& e : fs::directory_iterator(sandbox / "run")) {
    o.files[e.path().filename()] = slurp(e.path());
  }
  fs::remove_all(sandbox);
  return o;
}

TEST(BadInput, EveryDeckEndsAsExpected) {
  const std::vector<Case> cases = manifest();
  ASSERT_GE(cases.size(), 30u);
  const Outcome plain = run_case("plain");
  ASSERT_EQ(plain.status, 0) << plain.errors;
  const std::set<std::string> all_files = {"kelvorat.dat", "adet.res", "kelvorat.res",
                                           "kelvdim.res",  "dim2.res", "tromb.res"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = run_case(c.name);
    EXPECT_EQ(o.status, c.status) << o.errors;
    if (c.stderr_prefix.empty()) {
      EXPECT_EQ(o.errors, "");
    } else {
      EXPECT_EQ(o.errors.rfind(c.stderr_prefix, 0), 0u) << o.errors;
      // One line, printable.
      ASSERT_FALSE(o.errors.empty());
      EXPECT_EQ(o.errors.find('\n'), o.errors.size() - 1);
      for (char ch : o.errors.substr(0, o.errors.size() - 1)) {
        EXPECT_TRUE(ch >= 0x20 && ch < 0x7f) << static_cast<int>(ch);
      }
      EXPECT_LT(o.errors.size(), 400u);
    }
    std::set<std::string> names;
    for (const auto& [n, text] : o.files) names.insert(n);
    EXPECT_EQ(names, all_files);
    if (c.prefix_of_plain) {
      const std::string& adet = o.files.at("adet.res");
      EXPECT_EQ(plain.files.at("adet.res").rfind(adet, 0), 0u) << adet;
      EXPECT_EQ(o.files.at("kelvorat.res"), "");
    }
    if (c.name.rfind("twin_", 0) == 0) {
      for (const char* f : {"adet.res", "kelvorat.res", "kelvdim.res", "dim2.res"}) {
        EXPECT_EQ(o.files.at(f), plain.files.at(f)) << f;
      }
    }
  }
}

TEST(BadInput, WellsReadBeforeAnErrorAreComplete) {
  // The deck announces two wells but holds one: the first is complete in
  // every file, followed by the separator, before the read of the second
  // fails.
  const Outcome plain = run_case("plain");
  const Outcome o = run_case("second_well_missing");
  EXPECT_EQ(o.files.at("kelvorat.res"), plain.files.at("kelvorat.res") + "\n\n");
  EXPECT_EQ(o.files.at("dim2.res"), plain.files.at("dim2.res"));
}

}  // namespace
}  // namespace kelvorat
