#include "platform/path.h"

namespace mox::platform {

char PathSeparator() {
  return '\\';
}

// Windows takes either slash between directories.
bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace mox::platform
