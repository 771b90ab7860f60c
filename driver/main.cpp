// kelvorat: drawdown and stream depletion for a well pumping from a strip
// aquifer cut by a leaky stream.  Reads kelvorat.dat in the working
// directory and writes its result files there.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "driver/run.h"
#include "driver/signals.h"

namespace {

#ifndef KELVORAT_VERSION
#define KELVORAT_VERSION "1.1.0"
#endif

std::string version_line() { return std::string("kelvorat ") + KELVORAT_VERSION + "\n"; }

// An argument as it may appear inside one printable stderr line.
std::string printable(std::string_view arg) {
  constexpr std::size_t kMax = 80;
  std::string out;
  for (const char ch : arg.substr(0, kMax)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7f) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  if (arg.size() > kMax) out += "...";
  return out;
}

constexpr const char* kUsage =
    "Usage: kelvorat [--help | --version]\n"
    "\n"
    "Computes the drawdown at observation wells and the depletion of a leaky stream\n"
    "for a well pumping from a three-zone strip aquifer.  Reads the deck kelvorat.dat\n"
    "in the working directory and writes adet.res, kelvorat.res, kelvdim.res,\n"
    "dim2.res and tromb.res there, replacing those of an earlier run.\n"
    "\n"
    "Exit status: 0 normal end; 2 an input or output error; 3 the run was stopped\n"
    "by the exponential guard; 128 + the signal number when interrupted.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

// Descriptors 0 to 2 that are closed at start are opened on /dev/null, so
// that no result file is given one of them and no console or error line can
// land inside a result file.
void protect_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened == -1) _exit(2);  // nowhere to report it safely
    if (opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

// Writes a whole text to stdout; exit status 0, or 2 when it cannot be written.
int print(const char* text) {
  std::fputs(text, stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "kelvorat: cannot write to standard output: %s\n", std::strerror(errno));
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  protect_standard_descriptors();
  if (argc > 1) {
    const std::string_view arg = argv[1];
    if (argc == 2 && arg == "--help") return print(kUsage);
    if (argc == 2 && arg == "--version") return print(version_line().c_str());
    const bool known = arg == "--help" || arg == "--version";
    std::fprintf(stderr,
                 "kelvorat: unexpected argument \"%s\": the program reads kelvorat.dat in the "
                 "working directory and takes no arguments but --help or --version\n",
                 printable(argv[known ? 2 : 1]).c_str());
    return 2;
  }
  try {
    kelvorat::install_interrupt_handlers();
    kelvorat::set_floating_point_mode();
    return kelvorat::run_program(".", stdout, stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelvorat: internal error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "kelvorat: internal error of an unknown kind\n");
  }
  return 2;
}
