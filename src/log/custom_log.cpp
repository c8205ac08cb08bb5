#include "log/custom_log.h"

namespace mox {

// Defined here so that the class's virtual table has one home.
CustomLog::~CustomLog() = default;

}  // namespace mox
