#include "fixup/fixit.h"

#include "fixup/fixup.h"
#include "run/messages.h"
#include "run/prompt.h"
#include "run/stop.h"

namespace kry {

void fixit(Platform& platform, std::ostream& out) {
  std::unique_ptr<LineSource> in = platform.openRead(kConvertedTune);
  if (!in) throw Stop::ioError(std::string("cannot open ") + kConvertedTune);
  if (platform.exists(kFinalTune)) uhoh(kFinalTunePrompt, platform, out);
  std::unique_ptr<LineSink> final = platform.create(kFinalTune);
  if (!final) throw Stop::ioError(std::string("cannot create ") + kFinalTune);
  FixUp fixUp;
  std::string_view line;
  while (in->next(line)) final->put(fixUp.line(line));
  final->close();
}

}  // namespace kry
