// The program under conditions a batch job meets: closed standard
// descriptors, a disk that fills at the final flush, a deck that is not a
// deck, a signal in the middle of a run, arguments, and decks that read well
// but describe no aquifer (warnings on stderr, results unchanged).  Most are
// whole runs of the built executable; the rest go through the run entry.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/result_files.h"
#include "driver/signals.h"
#include "driver/warnings.h"
#include "support/scratch_run.h"

namespace kelvorat {
namespace {

namespace fs = std::filesystem;
using testing::lines_of;
using testing::run_deck;

// One observation well 40 m from the pumping well, two output times.
const std::string kPlain =
    "1\n60 0\n100 0\n0.1\n500 0.001\n200 0.002\n400 0.0005\n300 1000\n5\n0.2 0.5\n"
    "1000 0 1 1 2\n   2   0\n6\n1e-4\n";

// The deck with its line `line` (1-based) replaced.
std::string with_line(std::string deck, int line, const std::string& text) {
  std::vector<std::string> l = lines_of(deck);
  l.at(line - 1) = text;
  std::string out;
  for (const auto& s : l) out += s + "\n";
  return out;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> stderr_lines(const std::string& errors) { return lines_of(errors); }

// A scratch directory of its own, removed at the end of the test.
struct Scratch {
  fs::path dir;
  explicit Scratch(const std::string& tag) {
    static int serial = 0;
    dir = fs::temp_directory_path() / ("kelvorat_rel_" + std::to_string(::getpid()) + "_" + tag +
                                       "_" + std::to_string(serial++));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Scratch() { fs::remove_all(dir); }
  void deck(const std::string& text) const {
    std::ofstream(dir / "kelvorat.dat", std::ios::binary) << text;
  }
  std::map<std::string, std::string> files() const {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.is_regular_file()) out[e.path().filename()] = slurp(e.path());
    }
    return out;
  }
};

// How the program is started: its arguments, the standard descriptors closed
// in the child, where stdout goes (a name in the run's directory or a device)
// and a signal sent once adet.res holds `signal_after` bytes.
struct Exec {
  std::vector<std::string> args;
  std::vector<int> closed;
  std::string out = "out.txt";
  int signal = 0;
  std::uintmax_t signal_after = 0;
};

Exec with_args(std::vector<std::string> args) {
  Exec e;
  e.args = std::move(args);
  return e;
}
Exec with_closed(std::vector<int> closed) {
  Exec e;
  e.closed = std::move(closed);
  return e;
}
Exec with_stdout(std::string out) {
  Exec e;
  e.out = std::move(out);
  return e;
}
Exec with_signal(int signal, std::uintmax_t after) {
  Exec e;
  e.signal = signal;
  e.signal_after = after;
  return e;
}

struct ExecResult {
  int status = -1;  // exit status, or -signal when killed
  std::string out, err;
};

// Runs the built program in `dir`; stderr is kept in err.txt there.
ExecResult run_exe(const fs::path& dir, const Exec& e = {}) {
  const bool own_out = e.out.front() != '/';
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(120);
    const int o = ::open(e.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int r = ::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || r < 0) _exit(121);
    ::dup2(o, 1);
    ::dup2(r, 2);
    ::close(o);
    ::close(r);
    for (int fd : e.closed) ::close(fd);
    std::vector<char*> argv{const_cast<char*>(KELVORAT_EXE)};
    for (const auto& a : e.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(KELVORAT_EXE, argv.data());
    _exit(122);
  }
  if (e.signal != 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto size = fs::file_size(dir / "adet.res", ec);
      if (!ec && size >= e.signal_after) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, e.signal);
  }
  int ws = 0;
  ::waitpid(pid, &ws, 0);
  ExecResult res;
  res.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -WTERMSIG(ws);
  if (own_out) {
    res.out = slurp(dir / e.out);
    fs::remove(dir / e.out);
  }
  res.err = slurp(dir / "err.txt");
  fs::remove(dir / "err.txt");
  return res;
}

const std::vector<std::string> kResultFiles = {"adet.res", "kelvorat.res", "kelvdim.res",
                                               "dim2.res", "tromb.res"};

// ---------------------------------------------------------------------------

TEST(Arguments, HelpAndVersionPrintAndAnyOtherArgumentChangesNothing) {
  Scratch s("args");
  s.deck(kPlain);
  std::ofstream(s.dir / "adet.res") << "of an earlier run\n";

  const ExecResult help = run_exe(s.dir, with_args({"--help"}));
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: kelvorat", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  const ExecResult version = run_exe(s.dir, with_args({"--version"}));
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "kelvorat 1.1.0\n");

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-h"}, {"kelvorat.dat"}, {"--help", "extra"}, {""}}) {
    const ExecResult r = run_exe(s.dir, with_args(args));
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("kelvorat: unexpected argument", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  // Nothing was run: the earlier adet.res stands and no other file appeared.
  const auto files = s.files();
  EXPECT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("adet.res"), "of an earlier run\n");
}

TEST(StandardDescriptors, ClosedOnesNeverLeadLinesIntoTheResultFiles) {
  Scratch s("fds");
  s.deck(kPlain);
  const ExecResult normal = run_exe(s.dir);
  ASSERT_EQ(normal.status, 0) << normal.err;
  EXPECT_EQ(normal.out, " End\n");
  const auto expected = s.files();

  for (const std::vector<int>& closed :
       {std::vector<int>{0}, std::vector<int>{1}, std::vector<int>{2}, std::vector<int>{0, 1, 2}}) {
    const ExecResult r = run_exe(s.dir, with_closed(closed));
    EXPECT_EQ(r.status, 0);
    for (const auto& f : kResultFiles) {
      EXPECT_EQ(s.files().at(f), expected.at(f)) << f << " with descriptor " << closed.back();
    }
  }
  // An error line with stderr closed goes nowhere, not into adet.res.
  s.deck(with_line(kPlain, 3, "1O0 0"));
  const ExecResult bad = run_exe(s.dir, with_closed({2}));
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(slurp(s.dir / "adet.res").find("kelvorat.dat:3"), std::string::npos);
  EXPECT_EQ(slurp(s.dir / "adet.res").back(), '\n');
}

TEST(FinalFlush, AWriteErrorThereEndsWithoutEnd) {
  Scratch s("full");
  s.deck(kPlain);
  // The whole adet.res of this deck fits in its buffer, so the disk "fills"
  // at the final flush.
  fs::create_symlink("/dev/full", s.dir / "adet.res");
  const ExecResult r = run_exe(s.dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("adet.res: cannot write: ", 0), 0u) << r.err;
  fs::remove(s.dir / "adet.res");

  // A console that cannot take " End": every result file is complete.
  const ExecResult console = run_exe(s.dir, with_stdout("/dev/full"));
  EXPECT_EQ(console.status, 2);
  EXPECT_EQ(console.err.rfind("standard output: cannot write: ", 0), 0u) << console.err;
  const std::string adet = slurp(s.dir / "adet.res");
  EXPECT_NE(adet.find("   TIME STEP        TIME"), std::string::npos);
  EXPECT_EQ(lines_of(slurp(s.dir / "kelvorat.res")).size(), 2u);
}

TEST(DeckBound, NoDeviceFileOrPipeIsReadBeyondTheBound) {
  Scratch s("bound");
  // An endless device through the program.
  fs::create_symlink("/dev/zero", s.dir / "kelvorat.dat");
  const ExecResult zero = run_exe(s.dir);
  EXPECT_EQ(zero.status, 2);
  EXPECT_EQ(zero.err,
            "kelvorat.dat: the input deck is longer than 67108864 bytes; a deck holds a few "
            "hundred: is it the deck?\n");
  EXPECT_FALSE(fs::exists(s.dir / "adet.res"));  // ended before any result file
  fs::remove(s.dir / "kelvorat.dat");

  // A file exactly at the bound is read, one byte more is not (sparse files:
  // nothing is written to disk).
  const fs::path big = s.dir / "big.dat";
  for (const std::uintmax_t size : {kMaxDeckBytes, kMaxDeckBytes + 1}) {
    { std::ofstream(big).close(); }
    fs::resize_file(big, size);
    if (size == kMaxDeckBytes) {
      EXPECT_EQ(read_deck(big).size(), kMaxDeckBytes);
    } else {
      EXPECT_THROW(read_deck(big), FileError);
    }
  }

  // A pipe whose writer never stops.
  const fs::path fifo = s.dir / "fifo.dat";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    const std::string chunk(4096, ' ');
    while (::write(fd, chunk.data(), chunk.size()) > 0) {
    }
    ::close(fd);
  });
  struct sigaction ignore {};
  struct sigaction old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &old);
  try {
    read_deck(fifo, 10000);
    ADD_FAILURE() << "no error for an endless pipe";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(),
                 "fifo.dat: the input deck is longer than 10000 bytes; a deck holds a few "
                 "hundred: is it the deck?");
  }
  writer.join();
  ::sigaction(SIGPIPE, &old, nullptr);
}

TEST(Signals, ARunStopsOnWholeLinesAndSaysWhere) {
  Scratch s("signal");
  // Many steps at one well, so that the signal falls inside the time loop.
  s.deck(with_line(with_line(kPlain, 11, "1000 0 1 0.01 1"), 12, "1500   0"));
  ASSERT_EQ(run_exe(s.dir).status, 0);
  const auto complete = s.files();
  for (const int sig : {SIGTERM, SIGINT}) {
    fs::remove(s.dir / "adet.res");
    const ExecResult r = run_exe(s.dir, with_signal(sig, 50000));
    EXPECT_EQ(r.status, 128 + sig) << r.err;
    EXPECT_EQ(r.out, "");
    const auto lines = stderr_lines(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind(std::string("kelvorat: run interrupted by ") +
                                 (sig == SIGINT ? "SIGINT" : "SIGTERM") +
                                 " at observation well 1, time step ",
                             0),
              0u)
        << lines[0];
    // Every file holds the beginning of the complete run's, up to a line end.
    for (const auto& f : kResultFiles) {
      const std::string text = slurp(s.dir / f);
      EXPECT_EQ(complete.at(f).rfind(text, 0), 0u) << f;
      if (!text.empty()) {
        EXPECT_EQ(text.back(), '\n') << f;
      }
    }
    EXPECT_LT(slurp(s.dir / "adet.res").size(), complete.at("adet.res").size());
  }
}

TEST(Signals, ProgressFollowsTheLinesOfTheRun) {
  RunProgress p;
  EXPECT_EQ(p.where(), "while reading the deck, before the first observation well");
  p.note(Channel::adet, " THE OBS. WELL IS LOCATED INSIDE NO.    3 ZONE");
  EXPECT_EQ(p.where(), "at observation well 1, before its first time step");
  const std::string setup7 = "       7       0.100000E-02  0.1000000000E-19 0.1000E+21  0.1000E-02";
  ASSERT_EQ(setup7.size(), 68u);
  p.note(Channel::adet, setup7);
  p.note(Channel::tromb, "    12  not a set-up line of adet.res at all, though of the same size");
  EXPECT_EQ(p.where(), "at observation well 1, time step 7");
  p.note(Channel::adet, "****FOR RESIDUAL DRAWDOWAN AND DEPLETION**");
  p.note(Channel::adet, setup7);
  EXPECT_EQ(p.where(), "at observation well 1, time step 7 (recovery after the stop of pumping)");
  p.note(Channel::adet, "   TIME STEP        TIME         DRAWDOWN        ERROR");
  p.note(Channel::adet, setup7);  // a table row has the set-up line's layout
  EXPECT_EQ(p.where(), "while writing the result tables of observation well 1");
  p.note(Channel::adet, " THE OBS. WELL IS LOCATED INSIDE NO.    2 ZONE");
  EXPECT_EQ(p.where(), "at observation well 2, before its first time step");
}

TEST(Signals, ASignalBeforeTheFirstLineLeavesEmptyFiles) {
  interrupt_signal = SIGTERM;
  const testing::RunResult r = run_deck(kPlain);
  interrupt_signal = 0;
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_EQ(r.errors,
            "kelvorat: run interrupted by SIGTERM while reading the deck, before the first "
            "observation well; the result files hold the lines completed until then\n");
  EXPECT_TRUE(r.adet.empty());
  EXPECT_EQ(r.console, "");
}

// ---------------------------------------------------------------------------

TEST(Warnings, EachMeaninglessOrUnsafeDeckValueGivesOneLineAndChangesNothing) {
  const testing::RunResult plain = run_deck(kPlain);
  ASSERT_EQ(plain.status, 0);
  ASSERT_EQ(plain.errors, "");
  struct Case {
    int line;
    std::string text, warning;
  } cases[] = {
      {5, "0 0.001", "T1 = 0 (record 5): zone 1 needs a positive transmissivity"},
      {6, "200 -0.002", "S2 = -0.002 (record 6): zone 2 needs"},
      {7, "400 0", "S3 = 0 (record 7): zone 3 needs"},
      {11, "0 0 1 1 2", "Q = 0 (record 11): the well does not pump"},
      {3, "-100 0", "XW = -100 (record 3): the pumping well must lie in zone 3"},
      {8, "300 100", "XRB = 100 (record 8): the right boundary must lie beyond the pumping well"},
      {8, "-3 1000", "XLB = 3 (record 8) is less than DN = 5"},
      {11, "1000 0 1 1 -2", "TA = -2 (record 11): the time increment changes sign"},
      {11, "1000 0 1 0 2", "T0STEP = 0 (record 11): every output time equals T0 = 1"},
      {11, "1000 0 3 -1 1", "T0STEP = -1 (record 11): the output times decrease"},
      {13, "16", "NTERMS = 16 (record 13; an empty record keeps 20)"},
      {13, "/", "NTERMS = 20 (record 13; an empty record keeps 20)"},
  };
  for (const Case& c : cases) {
    const testing::RunResult r = run_deck(with_line(kPlain, c.line, c.text));
    const auto lines = stderr_lines(r.errors);
    ASSERT_FALSE(lines.empty()) << c.warning;
    EXPECT_EQ(lines[0], "kelvorat: warning: " + lines[0].substr(19)) << lines[0];
    EXPECT_EQ(lines[0].find(c.warning), 19u) << lines[0];
    // The warnings stay out of the console and the result files.
    if (r.status == 0) {
      ASSERT_FALSE(r.console.empty());
      EXPECT_EQ(lines_of(r.console).back(), " End");
    }
    for (const auto& l : r.adet) EXPECT_EQ(l.find("warning"), std::string::npos) << l;
  }

  // The same deck values without a warning where they are harmless: a single
  // output time needs no growing times, and 14 terms are still safe.
  const auto quiet = {with_line(with_line(kPlain, 12, "   1   0"), 11, "1000 0 1 0 0"),
                      with_line(kPlain, 13, "14")};
  for (const std::string& deck : quiet) EXPECT_EQ(run_deck(deck).errors, "");
}

TEST(Warnings, AWellMovedFarOutOfTheBoreIsNamed) {
  // RW = 5 and the well 1 m from the pumping well: moved 4 m.
  const testing::RunResult far = run_deck(with_line(with_line(kPlain, 2, "99 0"), 4, "5"));
  EXPECT_EQ(far.status, 0);
  EXPECT_EQ(far.errors,
            "kelvorat: warning: observation well 1 at XO = 99 lies inside the pumping well's "
            "radius RW = 5 and is moved 4 m out of the bore, to its rim\n");
  // Moved 0.05 m: no warning.
  EXPECT_EQ(run_deck(with_line(kPlain, 2, "99.95 0")).errors, "");
}

TEST(Warnings, GuardStopNamesTheLikelyCauseFromTheDeck) {
  struct Case {
    std::vector<std::pair<int, std::string>> edits;
    std::string cause;
  } cases[] = {
      {{{5, "0 0.001"}}, "the likely cause: T1 = 0: every zone needs a positive T and S"},
      {{{3, "-100 0"}}, "the likely cause: the pumping well at XW = -100 lies outside zone 3"},
      {{{2, "-2000 0"}},
       "the likely cause: observation well 1 at XO = -2000 lies beyond the left boundary at "
       "x = -300"},
      {{{2, "100 0"}, {4, "5000"}},
       "the likely cause: RW = 5000 moves observation well 1 out of the bore to XO = 5100, "
       "beyond the right boundary XRB = 1000"},
      {{{10, "/"}}, "the likely cause: the streambed leakance K/thickness = NaN is not finite"},
  };
  for (const Case& c : cases) {
    std::string deck = kPlain;
    for (const auto& [line, text] : c.edits) deck = with_line(deck, line, text);
    const testing::RunResult r = run_deck(deck);
    EXPECT_EQ(r.status, 3) << c.cause;
    const auto lines = stderr_lines(r.errors);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("kelvorat: run stopped: an exponential argument of ", 0), 0u);
    EXPECT_NE(lines.back().find("; " + c.cause), std::string::npos) << lines.back();
  }
}

// The summary lines after the run, from series made to order.
TEST(Warnings, SummaryNamesEveryKindOfImplausibleTable) {
  StartUp u;
  u.test.STOPT = 5;
  u.test.T1 = u.test.S1 = u.test.T2 = u.test.S2 = u.test.T3 = u.test.S3 = 1;
  u.test.Q = 1;
  u.test.NT = 4;
  u.test.T0 = 1;
  u.test.T0STEP = 1;
  u.test.TA = 2;
  u.RW = 0.1;
  u.NTERMS = 10;
  ModelState s;
  s.XW = 100;
  s.XRB = 1000;
  s.XLB = 300;
  s.DN = 5;

  std::FILE* err = std::tmpfile();
  RunChecks checks(err);
  checks.start_up(u, s);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  WellSeries sound;
  sound.TIME = {1, 2, 4, 8};
  sound.DRAW = {0.1, 0.2, 0.3, 0.1};
  sound.DEPL = {0.2, 0.5, 1.005, -0.3};  // 1.005 within the slack; -0.3 after the stop
  sound.DERR = {0, 0, 0, 0};
  WellSeries bad = sound;
  bad.DRAW = {-0.5, 0.2, -0.01, -1.0};  // -1.0 after the stop: recovery, not reported
  bad.DEPL = {0.2, 1.5, -0.1, 0.0};
  bad.DERR = {0, nan, 0, 0};
  WellSeries left_out = sound;
  left_out.ILAST = 4;
  checks.well_done(1, sound);
  checks.well_done(2, bad);
  checks.well_done(3, left_out);
  checks.report_summaries();
  std::rewind(err);
  std::string text;
  for (int ch; (ch = std::fgetc(err)) != EOF;) text.push_back(static_cast<char>(ch));
  std::fclose(err);
  EXPECT_EQ(text,
            "kelvorat: warning: observation well 2: NaN or Infinity in the table at 1 of 4 time "
            "steps (first at step 2); negative drawdown during pumping at 2 of 4 time steps "
            "(first at step 1, lowest -0.5 m); depletion ratio outside [0, 1] during pumping at 1 "
            "of 4 time steps (first at step 3, farthest -0.1)\n"
            "kelvorat: warning: observation well 3: every row is left out of kelvorat.res, "
            "kelvdim.res and dim2.res (the drawdown stays below 1e-10 m)\n");
}

}  // namespace
}  // namespace kelvorat
