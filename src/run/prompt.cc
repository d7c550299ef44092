#include "run/prompt.h"

#include "run/messages.h"
#include "base/stop.h"
#include "base/text.h"

namespace kry {

void uhoh(const std::string& name, Platform& in, std::ostream& out) {
  out << '\n'
      << " The file " << name << '\n'
      << " already exists.  Enter 'C' to overwrite it \n"
      << " and Continue.  Enter anything else to stop:  ";
  out.flush();  // the question stands on the screen while the user types
  std::optional<std::string> reply = in.readReply();
  if (!reply) throw Stop::ioError("no reply to the overwrite question: standard input is at its end");
  std::string answer = fixedField(*reply, 1);
  upcase(answer, 1);
  if (answer != "C") throw Stop(kHalted, kExitStopped);
}

}  // namespace kry
