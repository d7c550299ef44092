#include "base/text.h"

namespace kry {

void upcase(std::string& text, int count) {
  for (int i = 0; i < count && i < static_cast<int>(text.size()); ++i) {
    char& c = text[static_cast<std::size_t>(i)];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
}

std::string outputName(const std::string& base, const std::string& kind) {
  return base + (!base.empty() && base.back() == '.' ? "" : ".") + kind;
}

std::string fixedField(std::string_view text, std::size_t width) {
  std::string field(text.substr(0, width));
  field.resize(width, ' ');
  return field;
}

}  // namespace kry
