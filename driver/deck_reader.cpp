#include "driver/deck_reader.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstddef>
#include <system_error>
#include <utility>

namespace kelvorat::deck {

namespace {

// Offending text longer than this is shortened in messages.
constexpr std::size_t kShownBytes = 40;

constexpr std::string_view kInteger = "an integer";
constexpr std::string_view kIntegerRange = "an integer from -2147483648 to 2147483647";
constexpr std::string_view kReal = "a real number";
constexpr std::string_view kRealRange = "a real number within the double range";
constexpr std::string_view kRepeat = "a repeat count from 1 to 2147483647";

// Tabs read as blanks.
bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A value ends at a blank, a comma, a slash or the end of its line.
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view s) { return std::all_of(s.begin(), s.end(), is_digit); }

bool is_sign(char c) { return c == '+' || c == '-'; }

// The offending text, quoted, safe for a terminal: bytes outside printable
// ASCII as \xNN, long text cut with "...".
std::string printable(std::string_view raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const bool cut = raw.size() > kShownBytes;
  if (cut) raw = raw.substr(0, kShownBytes);
  std::string out = "\"";
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c >= 0x20 && c < 0x7f) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    }
  }
  if (cut) out += "...";
  out += '"';
  return out;
}

enum class Parsed { ok, bad_form, out_of_range };

// Optional sign, then digits only.
Parsed parse_integer(std::string_view s, std::int32_t& value) {
  const std::size_t digits_from = (!s.empty() && is_sign(s.front())) ? 1 : 0;
  if (s.size() == digits_from || !all_digits(s.substr(digits_from))) return Parsed::bad_form;
  // from_chars takes a minus sign but no plus sign.
  if (s.front() == '+') s.remove_prefix(1);
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range) return Parsed::out_of_range;
  if (ec != std::errc() || end != s.data() + s.size()) return Parsed::bad_form;
  value = v;
  return Parsed::ok;
}

// [sign] digits [. [digits]] | [sign] . digits, then optionally an exponent:
// E, e, D or d with an optional sign, or a bare sign, then digits.  The value
// is the correctly rounded double; a value below the smallest denormal reads
// as a zero of its sign, one beyond the largest double is out of range.
Parsed parse_real(std::string_view s, double& value) {
  const std::size_t n = s.size();
  std::size_t i = 0;
  const bool negative = n > 0 && s[0] == '-';
  if (i < n && is_sign(s[i])) ++i;
  std::size_t from = i;
  while (i < n && is_digit(s[i])) ++i;
  const std::string_view whole = s.substr(from, i - from);
  std::string_view fraction;
  if (i < n && s[i] == '.') {
    from = ++i;
    while (i < n && is_digit(s[i])) ++i;
    fraction = s.substr(from, i - from);
  }
  if (whole.empty() && fraction.empty()) return Parsed::bad_form;

  bool negative_exponent = false;
  std::string_view exponent_digits;
  if (i < n) {
    const char c = s[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
      if (i < n && is_sign(s[i])) negative_exponent = s[i++] == '-';
    } else if (is_sign(c)) {  // 1.0-3 is 1.0E-3
      negative_exponent = c == '-';
      ++i;
    } else {
      return Parsed::bad_form;
    }
    from = i;
    while (i < n && is_digit(s[i])) ++i;
    exponent_digits = s.substr(from, i - from);
    if (exponent_digits.empty()) return Parsed::bad_form;
  }
  if (i != n) return Parsed::bad_form;

  // An exponent of ten digits or more puts any non-zero value far outside
  // the double range; clamping it keeps the conversion's arithmetic small.
  const std::size_t first_nonzero = exponent_digits.find_first_not_of('0');
  if (first_nonzero == std::string_view::npos) {
    exponent_digits = {};
  } else {
    exponent_digits.remove_prefix(first_nonzero);
  }
  long long exponent = 0;
  if (exponent_digits.size() > 9) {
    exponent = 999999999;
  } else {
    for (const char c : exponent_digits) exponent = exponent * 10 + (c - '0');
  }
  if (negative_exponent) exponent = -exponent;

  // Normalised copy in the form from_chars reads: -ddd.ddde-dd.
  std::string normal;
  normal.reserve(whole.size() + fraction.size() + 16);
  if (negative) normal += '-';
  normal += whole.empty() ? std::string_view("0") : whole;
  normal += '.';
  normal += fraction.empty() ? std::string_view("0") : fraction;
  normal += 'e';
  char buffer[24];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, exponent);
  normal.append(buffer, written.ptr);

  double v = 0.0;
  const char* const last = normal.data() + normal.size();
  const auto [end, ec] = std::from_chars(normal.data(), last, v, std::chars_format::general);
  if (end != last) return Parsed::bad_form;
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small: the decimal position of the leading
    // significant digit tells which (the value is not zero here).
    long long magnitude = exponent;
    const std::size_t lead = whole.find_first_not_of('0');
    if (lead != std::string_view::npos) {
      magnitude += static_cast<long long>(whole.size() - lead);
    } else {
      magnitude -= static_cast<long long>(fraction.find_first_not_of('0'));
    }
    if (magnitude > 0) return Parsed::out_of_range;
    v = negative ? -0.0 : 0.0;
  } else if (ec != std::errc()) {
    return Parsed::bad_form;
  }
  value = v;
  return Parsed::ok;
}

// What a variable of this kind needs, for messages.
std::string_view expected_for(const Target& target) {
  return std::holds_alternative<std::int32_t*>(target) ? kInteger : kReal;
}

// Stores `text` into `target`; on failure returns what was expected.
std::string_view store(std::string_view text, const Target& target) {
  if (auto* const integer = std::get_if<std::int32_t*>(&target)) {
    switch (parse_integer(text, **integer)) {
      case Parsed::ok:
        return {};
      case Parsed::bad_form:
        return kInteger;
      case Parsed::out_of_range:
        return kIntegerRange;
    }
    return kInteger;
  }
  switch (parse_real(text, *std::get<double*>(target))) {
    case Parsed::ok:
      return {};
    case Parsed::bad_form:
      return kReal;
    case Parsed::out_of_range:
      return kRealRange;
  }
  return kReal;
}

// One I4 field starting at column `from` (0-based): blanks anywhere are
// ignored, an optional sign, digits; a blank field is 0.
bool read_i4_field(std::string_view line, std::size_t from, std::int32_t& value,
                   std::string_view& shown) {
  const std::string_view field = line.substr(std::min(from, line.size()), 4);
  std::int32_t v = 0;
  bool negative = false;
  bool sign_allowed = true;
  bool any_digit = false;
  bool good = true;
  for (const char c : field) {
    if (is_blank(c)) continue;
    if (sign_allowed && is_sign(c)) {
      negative = c == '-';
    } else if (is_digit(c)) {
      v = v * 10 + (c - '0');
      any_digit = true;
    } else {
      good = false;
    }
    sign_allowed = false;
  }
  // A sign with no digits is not a number.
  if (good && !any_digit && !sign_allowed) good = false;
  if (!good) {
    const std::size_t first = field.find_first_not_of(" \t");
    const std::size_t past = field.find_last_not_of(" \t") + 1;
    shown = field.substr(first, past - first);
    return false;
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

DeckReader::DeckReader(std::string text, std::string file_name)
    : text_(std::move(text)), file_name_(std::move(file_name)) {
  // A UTF-8 byte-order mark at the very start is not part of the deck.
  if (std::string_view(text_).substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
}

bool DeckReader::take_line(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  const std::size_t newline = text_.find('\n', pos_);
  const std::size_t stop = newline == std::string::npos ? text_.size() : newline;
  line = std::string_view(text_).substr(pos_, stop - pos_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos_ = newline == std::string::npos ? text_.size() : newline + 1;
  if (line_no_ < INT_MAX) ++line_no_;
  return true;
}

void DeckReader::fail(long long line, int record_no, std::string_view names,
                      std::string_view expected, const std::string_view* found) const {
  std::string message = file_name_;
  message += ':';
  message += std::to_string(line);
  message += ": record ";
  message += std::to_string(record_no);
  if (!names.empty()) {
    message += " (";
    message += names;
    message += ')';
  }
  message += ": expected ";
  message += expected;
  message += ", found ";
  message += found != nullptr ? printable(*found) : std::string("end of file");
  throw DeckError(message);
}

void DeckReader::read_free(int record_no, std::string_view names,
                           std::initializer_list<Target> targets) {
  const Target* next = targets.begin();
  const Target* const end = targets.end();
  std::string_view line;
  if (!take_line(line)) {
    if (next == end) return;
    fail(line_no_ + 1LL, record_no, names, expected_for(*next), nullptr);
  }
  std::size_t i = 0;
  // After a value the next comma (blanks and line ends around it allowed)
  // is only its separator; any other comma stands for a null value.
  bool after_value = false;
  while (next != end) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) {  // too few values on this line: go on with the next
      if (!take_line(line)) fail(line_no_ + 1LL, record_no, names, expected_for(*next), nullptr);
      i = 0;
      continue;
    }
    if (line[i] == '/') break;  // the remaining variables keep their values
    if (line[i] == ',') {
      ++i;
      if (after_value) {
        after_value = false;
      } else {
        ++next;  // null value
      }
      continue;
    }

    const std::size_t from = i;
    while (i < line.size() && !ends_value(line[i])) ++i;
    const std::string_view token = line.substr(from, i - from);
    after_value = true;

    // r*c: r copies of c; r*: r null values.  Copies beyond the record's
    // variables are dropped.
    std::string_view constant = token;
    std::size_t copies = 1;
    const std::size_t star = token.find('*');
    if (star != std::string_view::npos && star > 0 && all_digits(token.substr(0, star))) {
      std::int32_t count = 0;
      if (parse_integer(token.substr(0, star), count) != Parsed::ok || count < 1) {
        fail(line_no_, record_no, names, kRepeat, &token);
      }
      copies = static_cast<std::size_t>(count);
      constant = token.substr(star + 1);
      if (constant.empty()) {
        next += std::min(copies, static_cast<std::size_t>(end - next));
        continue;
      }
    }
    for (std::size_t k = 0; k < copies && next != end; ++k, ++next) {
      const std::string_view expected = store(constant, *next);
      if (!expected.empty()) fail(line_no_, record_no, names, expected, &token);
    }
  }
}

void DeckReader::read_i4_pair(int record_no, std::string_view names, std::int32_t& first,
                              std::int32_t& second) {
  std::string_view line;
  if (!take_line(line)) {
    fail(line_no_ + 1LL, record_no, names, "an integer in columns 1-4", nullptr);
  }
  std::int32_t a = 0;
  std::int32_t b = 0;
  std::string_view shown;
  if (!read_i4_field(line, 0, a, shown)) {
    fail(line_no_, record_no, names, "an integer in columns 1-4", &shown);
  }
  if (!read_i4_field(line, 4, b, shown)) {
    fail(line_no_, record_no, names, "an integer in columns 5-8", &shown);
  }
  first = a;
  second = b;
}

}  // namespace kelvorat::deck
