// Runs a program and waits for it.
#pragma once

#include <string>
#include <vector>

namespace mox::bench {

// Runs argv[0] (found through PATH) with this process's environment plus `extra_env`
// ("NAME=value" entries). Throws std::runtime_error when it cannot start or exits non-zero.
void RunCommand(const std::vector<std::string>& argv,
                const std::vector<std::string>& extra_env = {});

}  // namespace mox::bench
