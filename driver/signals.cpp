#include "driver/signals.h"

#include <signal.h>

#include <charconv>

namespace kelvorat {

volatile std::sig_atomic_t interrupt_signal = 0;

namespace {

extern "C" void on_interrupt(int signal) { interrupt_signal = signal; }

const char* signal_name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "a signal";
  }
}

// The step number of a step's set-up line: four blanks, the step in I4, then
// the integration step in E16.6 and the limits (68 characters in all).
bool setup_step(std::string_view text, int& step) {
  if (text.size() != 68 || text.substr(0, 4) != "    ") return false;
  std::string_view field = text.substr(4, 4);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  const auto r = std::from_chars(field.data(), field.data() + field.size(), step);
  return r.ec == std::errc() && r.ptr == field.data() + field.size() && !field.empty();
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction sa {};
  sa.sa_handler = on_interrupt;
  sigemptyset(&sa.sa_mask);
  // Writes and reads resume after the handler; the handler runs once, so a
  // second signal ends a run that is stuck inside a long computation.
  sa.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void RunProgress::note(Channel channel, std::string_view text) {
  if (channel != Channel::adet) return;
  if (text.rfind(" THE OBS. WELL IS LOCATED INSIDE NO.", 0) == 0) {
    ++well_;
    phase_ = Phase::steps;
    step_ = 0;
    recovery_ = false;
    return;
  }
  if (phase_ == Phase::deck) return;
  if (text == "   TIME STEP        TIME         DRAWDOWN        ERROR") {
    phase_ = Phase::tables;
    return;
  }
  if (phase_ != Phase::steps) return;
  if (text.rfind("****FOR RESIDUAL", 0) == 0) {
    recovery_ = true;
    return;
  }
  int step = 0;
  if (setup_step(text, step) && step != step_) {
    step_ = step;
    recovery_ = false;
  }
}

std::string RunProgress::where() const {
  const std::string well = "observation well " + std::to_string(well_);
  switch (phase_) {
    case Phase::deck:
      return "while reading the deck, before the first observation well";
    case Phase::tables:
      return "while writing the result tables of " + well;
    case Phase::steps:
      break;
  }
  if (step_ == 0) return "at " + well + ", before its first time step";
  std::string w = "at " + well + ", time step " + std::to_string(step_);
  if (recovery_) w += " (recovery after the stop of pumping)";
  return w;
}

Interrupted::Interrupted(int signal, const std::string& where)
    : signal_(signal),
      message_(std::string("kelvorat: run interrupted by ") + signal_name(signal) + " " + where +
               "; the result files hold the lines completed until then") {}

}  // namespace kelvorat
