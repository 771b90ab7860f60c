// Output records: fixed-field editing (Iw, Fw.d, Ew.d, Dw.d, nX, texts,
// slashes, repeat counts) and the free-form record.  Pure functions of the
// stored binary values; exact decimal rounding, independent of the locale.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvorat::fmt {

// Single-field editors; each appends exactly w characters (w asterisks when
// the value does not fit the field).
void put_i(std::string& out, std::int64_t value, int w);
void put_f(std::string& out, double value, int w, int d);
void put_e(std::string& out, double value, int w, int d);  // Ew.d
void put_d(std::string& out, double value, int w, int d);  // Dw.d
void put_x(std::string& out, int n);

// Writes an Ew.d or Dw.d field (`letter` 'E' or 'D') from parts already
// rounded: `digits` are the d significant digits d1..dd, `exponent` the decimal exponent of
// 0.d1..dd.  The exponent is written as letter, sign and two digits up to +-99, as sign and three
// digits up to +-999, and the field is all asterisks beyond that. Exposed so the exponent ranges
// that no double reaches can be checked.
void put_e_parts(std::string& out, bool negative, std::string_view digits, int exponent, int w,
                 char letter);

// A value of an output list.
using Value = std::variant<std::int32_t, double>;

// Works through a descriptor list such as "3X,I4,2X,10(10D10.4,/)" or
// "' LOCATION OF THE OBS WELL: ',2F10.4" with the given values and returns
// the lines it forms (without line terminators).  Texts are written between
// single quotes in `descriptors`.  The list stops at the first descriptor
// that needs a value once the values have run out.
std::vector<std::string> format_lines(std::string_view descriptors, std::span<const Value> values);
std::vector<std::string> format_lines(std::string_view descriptors,
                                      std::initializer_list<Value> values);
// The same for lists that always form exactly one line.
std::string format_line(std::string_view descriptors, std::initializer_list<Value> values);

// The free-form record: column 1 blank, texts copied, numbers in the
// program's own forms.
class FreeRecord {
 public:
  // Room for the longest trace record, so a record allocates once.
  FreeRecord() { buf_.reserve(160); }
  FreeRecord& text(std::string_view s);
  FreeRecord& integer(std::int64_t v);
  FreeRecord& real(double v);
  // The finished record, without a line terminator.
  std::string str() const;

 private:
  std::string buf_ = " ";
  bool last_was_number_ = false;
  bool has_items_ = false;  // a number first in the record gets no blank before it
};

// Free-form form of one real, as it appears inside a record:
// 0.2500000000000000, 1.000000000000000E-02, Infinity, NaN.
std::string free_real(double v);
// The same, appended to `out` without a temporary string.
void append_free_real(std::string& out, double v);

}  // namespace kelvorat::fmt
