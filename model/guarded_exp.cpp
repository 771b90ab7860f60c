#include "model/guarded_exp.h"

#include "driver/field_format.h"

namespace kelvorat {

namespace {
constexpr const char kStopText[] = " STOP - MAXIMUM ARGUMENT FOR DEXP WILL BE EXCEEDED, BAR =";
static_assert(sizeof(kStopText) - 1 == 57);
}  // namespace

const char* ExpGuardTrip::what() const noexcept { return kStopText; }

void throw_exp_guard_trip(double bar) { throw ExpGuardTrip(bar); }

std::string exp_guard_record(double bar) {
  std::string record = kStopText;
  record += fmt::format_line("E10.4", {bar});
  return record;
}

}  // namespace kelvorat
