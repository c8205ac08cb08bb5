#include "log/error_text.h"

namespace mox {

std::string ErrorText(const std::exception_ptr& error, const char* unknown) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return unknown;
  }
}

}  // namespace mox
