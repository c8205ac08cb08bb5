#include "platform/path.h"

namespace mox::platform {

char PathSeparator() {
  return '/';
}

bool IsPathSeparator(char c) {
  return c == '/';
}

}  // namespace mox::platform
