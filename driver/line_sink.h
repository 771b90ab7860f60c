// Where the lines of a run go: the run owns the files, while the echo, the
// trace writer and the well tables only see this interface, so they can be
// tested against an in-memory sink.
#pragma once

#include <string_view>

namespace kelvorat {

// The files of a run, numbered by their traditional channel numbers.
enum class Channel : int {
  console = 6,
  adet = 7,      // echo, diagnostics and result table per well
  kelvorat = 9,  // time, drawdown, depletion rate
  kelvdim = 10,  // dimensionless series, strip-width scaling
  dim2 = 11,     // dimensionless series, well-distance scaling
  tromb = 12,    // integration trace
};

class LineSink {
 public:
  virtual ~LineSink() = default;
  // One record: `text` holds no line terminator; the sink ends the line.
  virtual void line(Channel channel, std::string_view text) = 0;
};

}  // namespace kelvorat
