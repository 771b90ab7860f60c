// The files of a run.  The only place that touches streams: the deck is read
// whole (up to a bound), the five result files are created or truncated in
// order, and every line of the computation arrives here through the LineSink
// interface.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "driver/line_sink.h"
#include "driver/signals.h"

namespace kelvorat {

// A file that cannot be opened, read or written.  what() is the stderr line.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest deck read: a deck holds a few hundred bytes, so anything near
// this is not a deck (a device, a pipe that never ends, a wrong link).
constexpr std::size_t kMaxDeckBytes = std::size_t{64} << 20;

// Reads the whole deck, at most `limit` bytes; throws FileError naming the
// file and the reason, also for a deck longer than `limit`.
std::string read_deck(const std::filesystem::path& path, std::size_t limit = kMaxDeckBytes);

class ResultFiles final : public LineSink {
 public:
  // Creates or truncates adet.res, kelvorat.res, kelvdim.res, dim2.res and
  // tromb.res in `dir`, in this order.  Console lines go to `console`.
  ResultFiles(const std::filesystem::path& dir, std::FILE* console);
  ~ResultFiles() override;
  ResultFiles(const ResultFiles&) = delete;
  ResultFiles& operator=(const ResultFiles&) = delete;

  // Writes one line whole; throws Interrupted instead once a signal has
  // asked the run to stop, so every file ends on a complete line.
  void line(Channel channel, std::string_view text) override;

  // Writes every buffered line out; throws FileError on a failed write.
  void flush();
  // Flushes and closes every file; throws FileError on a failed write.
  void close();

 private:
  struct File {
    std::FILE* fp = nullptr;
    std::string name;
  };
  File& file(Channel channel);
  void check(File& f);

  File adet_, kelvorat_, kelvdim_, dim2_, tromb_, console_;
  RunProgress progress_;
};

}  // namespace kelvorat
