#include "base/stop.h"

namespace kry {

Stop::Stop(std::string text, int status, std::string said)
    : std::runtime_error("STOP " + text), text_(std::move(text)), status_(status), said_(std::move(said)) {}

Stop Stop::ioError(const std::string& report) {
  Stop stop(report, kExitIoError);
  stop.ioError_ = true;
  return stop;
}

std::string Stop::errorLine() const { return ioError_ ? "kry: " + text_ : "STOP " + text_; }

}  // namespace kry
