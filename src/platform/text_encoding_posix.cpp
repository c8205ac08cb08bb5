#include "platform/text_encoding.h"

namespace mox::platform {

// Paths are bytes here, and the log shows them as they are.
std::optional<std::string> InSystemCodePage(std::string_view text) {
  return std::string(text);
}

std::string PathForLog(std::string_view path) {
  return std::string(path);
}

}  // namespace mox::platform
