// Reading the input deck: free-form records (blanks, commas, null values,
// slash, r*c repeats, E and D exponents) and the fixed four-column integer
// record.  Works on the deck's text held in memory, record by record, so the
// run can echo each record before the next one is read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace kelvorat::deck {

// A deck that cannot be read as required.  what() is the whole message
// for stderr, e.g.
//   kelvorat.dat:3: record 3 (XW, YW): expected a real number, found "1O0.0"
class DeckError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A variable of a record.  A null value or a slash leaves it as it was.
using Target = std::variant<std::int32_t*, double*>;

class DeckReader {
 public:
  // `text` is the whole file; `file_name` is used in messages.
  DeckReader(std::string text, std::string file_name);

  // Reads one free-form record starting at the next unread line into
  // `targets`, in order.  `record_no` and `names` (e.g. "XW, YW") are used in
  // messages only.  Throws DeckError.
  void read_free(int record_no, std::string_view names, std::initializer_list<Target> targets);

  // Reads one line as integer fields of four columns each (I4): columns
  // 1-4 into `first`, 5-8 into `second`; the rest of the line is ignored.
  // Blank fields, and columns beyond the end of the line, read as 0.
  void read_i4_pair(int record_no, std::string_view names, std::int32_t& first,
                    std::int32_t& second);

  // 1-based number of the last line consumed (0 before the first read).
  int line_number() const { return line_no_; }

 private:
  // Takes the next unread line (without its LF, or CR LF) and advances past
  // it; false at the end of the text.
  bool take_line(std::string_view& line);

  // Throws the DeckError for `line`, e.g. `expected` = "a real number" and
  // `found` = the offending text (made printable here), or nullptr for the
  // end of the file.
  [[noreturn]] void fail(long long line, int record_no, std::string_view names,
                         std::string_view expected, const std::string_view* found) const;

  std::string text_;
  std::string file_name_;
  std::size_t pos_ = 0;  // start of the next unread line
  int line_no_ = 0;
};

}  // namespace kelvorat::deck
