// Fixed-field editors, the descriptor-list interpreter and the free-form
// record.  Every number goes through std::to_chars with an explicit precision:
// it rounds the exact stored binary value to the requested digits (ties to
// even, as printf does) and ignores the locale.

#include "driver/field_format.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace kelvorat::fmt {

namespace {

void put_stars(std::string& out, int w) { out.append(static_cast<std::size_t>(w), '*'); }

void check_width(int w, const char* what) {
  if (w < 1) throw std::logic_error(std::string(what) + ": field width must be positive");
}

// Appends `text` right-justified in w columns (the caller has checked it fits).
void put_right(std::string& out, std::string_view text, int w) {
  out.append(static_cast<std::size_t>(w) - text.size(), ' ');
  out.append(text);
}

// Infinity and NaN in a field: the long word when it fits, else the short one,
// else asterisks.
void put_non_finite(std::string& out, double value, int w) {
  std::string_view text;
  if (std::isnan(value)) {
    text = "NaN";
  } else if (std::signbit(value)) {
    text = w >= 9 ? "-Infinity" : "-Inf";
  } else {
    text = w >= 8 ? "Infinity" : "Inf";
  }
  if (static_cast<int>(text.size()) > w) {
    put_stars(out, w);
  } else {
    put_right(out, text, w);
  }
}

// Runs std::to_chars with a precision into `buf`; the large-precision cases
// (fixed form of a huge value, very many digits) fall back to a heap buffer
// held by `spill`.  Returns the characters written, still writable.
template <std::size_t N>
std::span<char> to_chars_prec(char (&buf)[N], std::string& spill, double a, std::chars_format form,
                              int precision) {
  auto r = std::to_chars(buf, buf + N, a, form, precision);
  if (r.ec == std::errc()) return {buf, r.ptr};
  // 309 integer digits at most (DBL_MAX), one point, the fraction digits and
  // an exponent: this always suffices.
  spill.resize(static_cast<std::size_t>(precision) + 330);
  r = std::to_chars(spill.data(), spill.data() + spill.size(), a, form, precision);
  if (r.ec != std::errc()) throw std::logic_error("field_format: number conversion failed");
  return {spill.data(), r.ptr};
}

// Ew.d and Dw.d of a double.
void put_exp_field(std::string& out, double value, int w, int d, char letter) {
  check_width(w, "E/D field");
  if (d < 1) throw std::logic_error("E/D field: at least one significant digit is needed");
  if (!std::isfinite(value)) {
    put_non_finite(out, value, w);
    return;
  }
  const bool negative = std::signbit(value);
  const double a = std::fabs(value);
  if (a == 0.0) {
    // Zero: every digit 0, exponent +00.
    std::string zeros(static_cast<std::size_t>(d), '0');
    put_e_parts(out, negative, zeros, 0, w, letter);
    return;
  }
  // d significant digits in the form d1.d2..dd e+XX; the rounding carry into
  // the next decade (9.99995 -> 1.000e+01) is already in XX.
  char buf[128];
  std::string spill;
  const std::span<char> s = to_chars_prec(buf, spill, a, std::chars_format::scientific, d - 1);
  // Digits d1..dd sit at s[0] and from s[2] on (s[1] is the point unless d is
  // 1); moving d1 over the point makes them contiguous.
  const std::size_t e_pos = static_cast<std::size_t>(d) + (d > 1 ? 1 : 0);
  if (d > 1) s[1] = s[0];
  const std::string_view digits(s.data() + (d > 1 ? 1 : 0), static_cast<std::size_t>(d));
  int x = 0;
  std::from_chars(s.data() + e_pos + (s[e_pos + 1] == '+' ? 2 : 1), s.data() + s.size(), x);
  // 1.235e+02 is 0.1235 times 10^3.
  put_e_parts(out, negative, digits, x + 1, w, letter);
}

// The descriptor list, parsed into a tree.
struct Item {
  enum class Kind { i, f, e, d, x, text, slash, group };
  Kind kind = Kind::x;
  int repeat = 1;
  int w = 0;
  int d = 0;
  std::string text;
  std::vector<Item> children;
};

bool is_data(Item::Kind k) {
  return k == Item::Kind::i || k == Item::Kind::f || k == Item::Kind::e || k == Item::Kind::d;
}

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  std::vector<Item> parse() {
    std::vector<Item> items = parse_list(false);
    return items;
  }

 private:
  [[noreturn]] void fail(const char* why) const {
    throw std::logic_error("descriptor list \"" + std::string(s_) + "\": " + why + " at column " +
                           std::to_string(pos_ + 1));
  }

  void skip_blanks() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }

  bool at_digit() const { return pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9'; }

  // A positive decimal count; blanks are not allowed inside it.
  int number() {
    if (!at_digit()) fail("number expected");
    long n = 0;
    while (at_digit()) {
      n = n * 10 + (s_[pos_] - '0');
      if (n > 1000000) fail("number too large");
      ++pos_;
    }
    return static_cast<int>(n);
  }

  std::string quoted() {
    const char quote = s_[pos_++];
    std::string text;
    for (;;) {
      if (pos_ >= s_.size()) fail("unterminated text");
      const char c = s_[pos_++];
      if (c == quote) {
        // A doubled quote inside a text stands for one quote.
        if (pos_ < s_.size() && s_[pos_] == quote) {
          text.push_back(quote);
          ++pos_;
        } else {
          return text;
        }
      } else {
        text.push_back(c);
      }
    }
  }

  enum class State { start, after_item, after_comma, after_slash };

  std::vector<Item> parse_list(bool nested) {
    std::vector<Item> items;
    State state = State::start;
    for (;;) {
      skip_blanks();
      if (pos_ >= s_.size() || s_[pos_] == ')') {
        const bool close = pos_ < s_.size();
        if (close && !nested) fail("unbalanced ')'");
        if (!close && nested) fail("missing ')'");
        if (state == State::after_comma) fail("descriptor expected after ','");
        if (nested && state == State::start) fail("empty group");
        if (close) ++pos_;
        return items;
      }
      if (s_[pos_] == ',') {
        if (state != State::after_item && state != State::after_slash) fail("misplaced ','");
        ++pos_;
        state = State::after_comma;
        continue;
      }
      const std::size_t item_start = pos_;
      Item item;
      bool counted = false;
      if (at_digit()) {
        item.repeat = number();
        counted = true;
        if (item.repeat == 0) fail("zero count");
        skip_blanks();
      }
      if (pos_ >= s_.size()) fail("descriptor expected");
      const char c = s_[pos_];
      if (c == '/') {
        ++pos_;
        item.kind = Item::Kind::slash;
        items.push_back(std::move(item));
        state = State::after_slash;
        continue;
      }
      if (state == State::after_item) {
        pos_ = item_start;
        fail("',' expected");
      }
      switch (c) {
        case 'X':
        case 'x':
          if (!counted) fail("X needs a count");
          ++pos_;
          item.kind = Item::Kind::x;
          item.w = item.repeat;
          item.repeat = 1;
          break;
        case 'I':
        case 'i':
          ++pos_;
          item.kind = Item::Kind::i;
          item.w = width();
          break;
        case 'F':
        case 'f':
        case 'E':
        case 'e':
        case 'D':
        case 'd': {
          ++pos_;
          const char k = static_cast<char>(c & ~0x20);
          item.kind = k == 'F' ? Item::Kind::f : k == 'E' ? Item::Kind::e : Item::Kind::d;
          item.w = width();
          if (pos_ >= s_.size() || s_[pos_] != '.') fail("'.' expected");
          ++pos_;
          item.d = number();
          if (item.kind != Item::Kind::f && item.d == 0) fail("no significant digits");
          break;
        }
        case '(':
          ++pos_;
          item.kind = Item::Kind::group;
          item.children = parse_list(true);
          break;
        case '\'':
        case '"':
          if (counted) fail("count before a text");
          item.kind = Item::Kind::text;
          item.text = quoted();
          break;
        default:
          fail("unknown descriptor");
      }
      items.push_back(std::move(item));
      state = State::after_item;
    }
  }

  int width() {
    const int w = number();
    if (w == 0) fail("zero field width");
    return w;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

bool has_data(const std::vector<Item>& items, std::size_t from) {
  for (std::size_t k = from; k < items.size(); ++k) {
    const Item& it = items[k];
    if (is_data(it.kind)) return true;
    if (it.kind == Item::Kind::group && has_data(it.children, 0)) return true;
  }
  return false;
}

// Works through the tree, taking values in order; stops at the first data
// descriptor that finds the values used up.
class Runner {
 public:
  explicit Runner(std::span<const Value> values) : values_(values) {}

  std::vector<std::string> run(std::string_view descriptors) {
    const std::vector<Item> items = Parser(descriptors).parse();
    // Format reversion: when the values outlast the list, a new line starts
    // and the list resumes at the last top-level group (with its count).
    std::size_t again = 0;
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (items[k].kind == Item::Kind::group) again = k;
    }
    bool going = run_items(items, 0);
    while (going && next_ < values_.size()) {
      if (!has_data(items, again)) {
        throw std::logic_error("descriptor list \"" + std::string(descriptors) +
                               "\": more values than data descriptors");
      }
      end_line();
      going = run_items(items, again);
    }
    end_line();
    return std::move(lines_);
  }

 private:
  void end_line() {
    lines_.push_back(std::move(line_));
    line_.clear();
  }

  bool run_items(const std::vector<Item>& items, std::size_t from) {
    for (std::size_t k = from; k < items.size(); ++k) {
      const Item& it = items[k];
      for (int r = 0; r < it.repeat; ++r) {
        if (!run_one(it)) return false;
      }
    }
    return true;
  }

  bool run_one(const Item& it) {
    switch (it.kind) {
      case Item::Kind::x:
        put_x(line_, it.w);
        return true;
      case Item::Kind::text:
        line_ += it.text;
        return true;
      case Item::Kind::slash:
        end_line();
        return true;
      case Item::Kind::group:
        return run_items(it.children, 0);
      case Item::Kind::i: {
        if (next_ == values_.size()) return false;
        const auto* v = std::get_if<std::int32_t>(&values_[next_]);
        if (v == nullptr) throw std::logic_error("I descriptor given a real value");
        ++next_;
        put_i(line_, *v, it.w);
        return true;
      }
      case Item::Kind::f:
      case Item::Kind::e:
      case Item::Kind::d: {
        if (next_ == values_.size()) return false;
        const auto* v = std::get_if<double>(&values_[next_]);
        if (v == nullptr) throw std::logic_error("F/E/D descriptor given an integer value");
        ++next_;
        if (it.kind == Item::Kind::f) {
          put_f(line_, *v, it.w, it.d);
        } else if (it.kind == Item::Kind::e) {
          put_e(line_, *v, it.w, it.d);
        } else {
          put_d(line_, *v, it.w, it.d);
        }
        return true;
      }
    }
    return true;
  }

  std::span<const Value> values_;
  std::size_t next_ = 0;
  std::vector<std::string> lines_;
  std::string line_;
};

}  // namespace

void put_i(std::string& out, std::int64_t value, int w) {
  check_width(w, "I field");
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  const std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
  if (static_cast<int>(s.size()) > w) {
    put_stars(out, w);
  } else {
    put_right(out, s, w);
  }
}

void put_f(std::string& out, double value, int w, int d) {
  check_width(w, "F field");
  if (d < 0) throw std::logic_error("F field: negative digit count");
  if (!std::isfinite(value)) {
    put_non_finite(out, value, w);
    return;
  }
  char buf[400];
  std::string spill;
  const std::span<char> chars =
      to_chars_prec(buf, spill, std::fabs(value), std::chars_format::fixed, d);
  std::string_view s(chars.data(), chars.size());
  // The sign is that of the stored value: -0.0 and a negative value that
  // rounds to zero keep their minus sign.
  const bool negative = std::signbit(value);
  // The zero before the point is written only when the field has room.
  const bool lead_zero = s[0] == '0';
  int len = static_cast<int>(s.size()) + (negative ? 1 : 0) + (d == 0 ? 1 : 0);
  if (lead_zero && len > w) {
    s.remove_prefix(1);
    --len;
  }
  if (len > w) {
    put_stars(out, w);
    return;
  }
  out.append(static_cast<std::size_t>(w - len), ' ');
  if (negative) out.push_back('-');
  out.append(s);
  if (d == 0) out.push_back('.');  // Fw.0 still shows the point
}

void put_e(std::string& out, double value, int w, int d) { put_exp_field(out, value, w, d, 'E'); }

void put_d(std::string& out, double value, int w, int d) { put_exp_field(out, value, w, d, 'D'); }

void put_x(std::string& out, int n) {
  if (n < 0) throw std::logic_error("X: negative count");
  out.append(static_cast<std::size_t>(n), ' ');
}

void put_e_parts(std::string& out, bool negative, std::string_view digits, int exponent, int w,
                 char letter) {
  check_width(w, "E/D field");
  const int mag = std::abs(exponent);
  if (mag > 999) {
    put_stars(out, w);
    return;
  }
  // Sign, point, digits and a four-character exponent; the leading zero only
  // when there is room for it.
  const int need = (negative ? 1 : 0) + 1 + static_cast<int>(digits.size()) + 4;
  if (need > w) {
    put_stars(out, w);
    return;
  }
  const bool lead_zero = need < w;
  out.append(static_cast<std::size_t>(w - need - (lead_zero ? 1 : 0)), ' ');
  if (negative) out.push_back('-');
  if (lead_zero) out.push_back('0');
  out.push_back('.');
  out.append(digits);
  if (mag <= 99) out.push_back(letter);
  out.push_back(exponent < 0 ? '-' : '+');
  if (mag > 99) out.push_back(static_cast<char>('0' + mag / 100));
  out.push_back(static_cast<char>('0' + mag / 10 % 10));
  out.push_back(static_cast<char>('0' + mag % 10));
}

std::vector<std::string> format_lines(std::string_view descriptors, std::span<const Value> values) {
  return Runner(values).run(descriptors);
}

std::vector<std::string> format_lines(std::string_view descriptors,
                                      std::initializer_list<Value> values) {
  return format_lines(descriptors, std::span<const Value>(values.begin(), values.size()));
}

std::string format_line(std::string_view descriptors, std::initializer_list<Value> values) {
  std::vector<std::string> lines = format_lines(descriptors, values);
  if (lines.size() != 1) {
    throw std::logic_error("descriptor list \"" + std::string(descriptors) + "\" formed " +
                           std::to_string(lines.size()) + " lines, expected one");
  }
  return std::move(lines.front());
}

// Free-form reals: 16 significant digits, in fixed form when the value
// rounded to those digits lies in [0.1, 1e16), in scientific form otherwise.
// The choice is made on the rounded value, so the digits shown and the form
// always agree; no double changes form by this (the neighbours of 0.1 and 1e16
// keep their side), but the rule holds wherever the rounding would carry.
// Fixed values from 1e15 up have no fraction digits and end in the point.
void append_free_real(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  if (std::isinf(v)) {
    out += v < 0 ? "-Infinity" : "Infinity";
    return;
  }
  if (std::signbit(v)) out.push_back('-');
  const double a = std::fabs(v);
  if (a == 0.0) {
    out += "0.000000000000000E+00";
    return;
  }
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 15);
  const std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
  // s is d.ddddddddddddddde+XX (two or three exponent digits).
  const std::size_t e_pos = 17;
  int x = 0;
  std::from_chars(s.data() + e_pos + (s[e_pos + 1] == '+' ? 2 : 1), s.data() + s.size(), x);
  if (x >= -1 && x <= 15) {
    char digits[16];
    digits[0] = s[0];
    for (int k = 1; k < 16; ++k) digits[k] = s[static_cast<std::size_t>(k) + 1];
    if (x == -1) {
      out += "0.";
      out.append(digits, 16);
    } else {
      out.append(digits, static_cast<std::size_t>(x) + 1);
      out.push_back('.');
      out.append(digits + x + 1, static_cast<std::size_t>(15 - x));
    }
    return;
  }
  out.append(s.substr(0, e_pos));
  out.push_back('E');
  out.append(s.substr(e_pos + 1));
}

std::string free_real(double v) {
  std::string s;
  append_free_real(s, v);
  return s;
}

FreeRecord& FreeRecord::text(std::string_view s) {
  buf_ += s;
  last_was_number_ = false;
  has_items_ = true;
  return *this;
}

FreeRecord& FreeRecord::integer(std::int64_t v) {
  // A number after a text gets one blank; after a number the blank that
  // follows every number already separates them.
  if (has_items_ && !last_was_number_) buf_.push_back(' ');
  char tmp[24];
  const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
  buf_.append(tmp, r.ptr);
  buf_.push_back(' ');
  last_was_number_ = true;
  has_items_ = true;
  return *this;
}

FreeRecord& FreeRecord::real(double v) {
  if (has_items_ && !last_was_number_) buf_.push_back(' ');
  append_free_real(buf_, v);
  buf_.push_back(' ');
  last_was_number_ = true;
  has_items_ = true;
  return *this;
}

std::string FreeRecord::str() const {
  // The blank after the last number is not part of the record.
  if (last_was_number_) return buf_.substr(0, buf_.size() - 1);
  return buf_;
}

}  // namespace kelvorat::fmt
