#include "log/custom_log.h"

namespace mox {

// Defined here so that the class's virtual table has one home.
tCustomLog::~tCustomLog() = default;

}  // namespace mox
