#include "common/run_command.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace mox::bench {

void RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* equals = std::strchr(*e, '=');
    bool replaced = false;
    for (const std::string& extra : extra_env) {
      const auto name_length = extra.find('=');
      if (equals != nullptr && static_cast<std::size_t>(equals - *e) == name_length &&
          std::strncmp(*e, extra.c_str(), name_length) == 0)
        replaced = true;
    }
    if (!replaced) env.push_back(*e);
  }
  for (const std::string& extra : extra_env) env.push_back(const_cast<char*>(extra.c_str()));
  env.push_back(nullptr);

  pid_t pid = 0;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), env.data()) != 0)
    throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(argv[0] + " failed (status " + std::to_string(status) + ")");
}

}  // namespace mox::bench
