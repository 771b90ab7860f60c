// In-memory recorders for tests: a line sink that keeps every line with its
// channel, and a trace that keeps every event of the computation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/line_sink.h"
#include "simulation/trace.h"

namespace kelvorat::testing {

class RecordingSink : public LineSink {
 public:
  void line(Channel channel, std::string_view text) override {
    records_.emplace_back(channel, std::string(text));
  }

  // The lines of one channel, in order.
  std::vector<std::string> lines(Channel channel) const {
    std::vector<std::string> out;
    for (const auto& [ch, text] : records_) {
      if (ch == channel) out.push_back(text);
    }
    return out;
  }
  std::vector<std::string> console() const { return lines(Channel::console); }
  std::vector<std::string> adet() const { return lines(Channel::adet); }
  std::vector<std::string> kelvorat() const { return lines(Channel::kelvorat); }
  std::vector<std::string> kelvdim() const { return lines(Channel::kelvdim); }
  std::vector<std::string> dim2() const { return lines(Channel::dim2); }
  std::vector<std::string> tromb() const { return lines(Channel::tromb); }

  const std::vector<std::pair<Channel, std::string>>& records() const { return records_; }
  void clear() { records_.clear(); }

 private:
  std::vector<std::pair<Channel, std::string>> records_;
};

// One event of a RunTrace: its name and its arguments as doubles, in order.
struct TraceEvent {
  std::string name;
  std::vector<double> values;
  bool operator==(const TraceEvent&) const = default;
};

class RecordingTrace : public RunTrace {
 public:
  void on_integral_start() override { add("integral_start", {}); }
  void on_romberg_end(int IR, double D, const RombergResult& r, double final_diff, double A,
                      double B) override {
    add("romberg_end", {static_cast<double>(IR), D, r.value, static_cast<double>(r.status),
                        static_cast<double>(r.levels), final_diff, A, B});
  }
  void on_interval(int IR, double A, double ENDG, double TPS, double C) override {
    add("interval", {static_cast<double>(IR), A, ENDG, TPS, C});
  }
  void on_integral_stop(IntegralEnding ending, int IR, double ERR, double TPS, double C,
                        double ENDG) override {
    add("integral_stop", {static_cast<double>(ending), static_cast<double>(IR), ERR, TPS, C, ENDG});
  }
  void on_integral_summary(double ENDG, double C, double TPS, double ERR, double reltol) override {
    add("integral_summary", {ENDG, C, TPS, ERR, reltol});
  }
  void on_term(double DP, double XP) override { add("term", {DP, XP}); }
  void on_zone_and_case(std::int32_t IZONE, CaseCode code) override {
    add("zone_and_case", {static_cast<double>(IZONE), static_cast<double>(code)});
  }
  void on_step_setup(std::int32_t step, double step0) override {
    add("step_setup", {static_cast<double>(step), step0});
  }
  void on_recovery_start() override { add("recovery_start", {}); }

  const std::vector<TraceEvent>& events() const { return events_; }
  // The events of one name, in order.
  std::vector<TraceEvent> named(std::string_view name) const {
    std::vector<TraceEvent> out;
    for (const TraceEvent& e : events_) {
      if (e.name == name) out.push_back(e);
    }
    return out;
  }
  void clear() { events_.clear(); }

 private:
  void add(const char* name, std::vector<double> values) {
    events_.push_back({name, std::move(values)});
  }
  std::vector<TraceEvent> events_;
};

}  // namespace kelvorat::testing
