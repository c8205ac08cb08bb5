// The text of an exception for a log line.
#pragma once

#include <exception>
#include <string>

namespace mox {

// what() of a std::exception, `unknown` for anything else.
std::string ErrorText(const std::exception_ptr& error, const char* unknown);

}  // namespace mox
