// The error type of the database layer.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace mox {

// An error of the database layer; what() is the message text that goes into log lines, and
// detail() an optional second line that explains it (empty when there is none).
class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  DatabaseError(const std::string& message, std::string detail)
      : std::runtime_error(message),
        detail_(std::make_shared<const std::string>(std::move(detail))) {}

  const std::string& detail() const noexcept {
    static const std::string kNone;
    return detail_ ? *detail_ : kNone;
  }

 private:
  // Shared, so that copying the exception cannot throw.
  std::shared_ptr<const std::string> detail_;
};

}  // namespace mox
