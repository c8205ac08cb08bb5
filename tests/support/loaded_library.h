// Whether a library is loaded in this process, asked of the system's loader without loading it.
#pragma once

#include <string>

namespace mox::test {

bool IsLoaded(const std::string& library_path);

}  // namespace mox::test
