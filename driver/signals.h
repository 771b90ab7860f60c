// Interruption of a run by SIGINT or SIGTERM.  The handler only records the
// signal; the result files look at the record before every line they write
// and end the run there, so every file ends on a complete line.
#pragma once

#include <csignal>
#include <exception>
#include <string>
#include <string_view>

#include "driver/line_sink.h"

namespace kelvorat {

// The number of the signal that asked the run to stop; 0 while none has.
extern volatile std::sig_atomic_t interrupt_signal;

// Installs the handler for SIGINT and SIGTERM.  A second signal of either
// kind ends the process at once with the default action.
void install_interrupt_handlers();

// Where a run stands, followed from the lines it writes to adet.res: the
// placement line of each observation well, the set-up line of each time step,
// the header of a result table and the line that opens a recovery inversion.
class RunProgress {
 public:
  void note(Channel channel, std::string_view text);
  // "at observation well 2, time step 5" and the like.
  std::string where() const;

 private:
  enum class Phase { deck, steps, tables };
  Phase phase_ = Phase::deck;
  int well_ = 0;
  int step_ = 0;
  bool recovery_ = false;
};

// Thrown by the result files at the first line after a signal.
class Interrupted : public std::exception {
 public:
  Interrupted(int signal, const std::string& where);
  int signal() const noexcept { return signal_; }
  int exit_status() const noexcept { return 128 + signal_; }
  // The stderr line.
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  int signal_;
  std::string message_;
};

}  // namespace kelvorat
