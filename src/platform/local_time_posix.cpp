#include <ctime>

#include "platform/system_detail.h"

namespace mox::platform::detail {

std::tm LocalCalendar(std::time_t t) {
  std::tm parts{};
  localtime_r(&t, &parts);
  return parts;
}

}  // namespace mox::platform::detail
