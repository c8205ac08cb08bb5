// The error type of the database layer.
#pragma once

#include <stdexcept>

namespace mox {

// An error of the database layer; what() is the message text that goes into log lines.
class DBError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace mox
