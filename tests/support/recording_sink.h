// In-memory line sink for tests: keeps every line with its channel, in the
// order written.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/line_sink.h"

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

  const std::vector<std::pair<Channel, std::string>>& records() const { return records_; }
  void clear() { records_.clear(); }

 private:
  std::vector<std::pair<Channel, std::string>> records_;
};

}  // namespace kelvorat::testing
