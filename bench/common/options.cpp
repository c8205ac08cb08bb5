#include "common/options.h"

#include <stdexcept>

namespace mox::bench {

Options::Options(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) throw std::invalid_argument("unexpected argument: " + arg);
    const auto equals = arg.find('=');
    if (equals == std::string::npos)
      values_[arg.substr(2)] = "";
    else
      values_[arg.substr(2, equals - 2)] = arg.substr(equals + 1);
  }
}

std::string Options::Text(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

int64_t Options::Integer(const std::string& name, int64_t fallback) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return fallback;
  std::size_t used = 0;
  const int64_t value = std::stoll(it->second, &used);
  if (used != it->second.size()) throw std::invalid_argument("--" + name + " needs a number");
  return value;
}

std::vector<std::string> Options::List(const std::string& name, const std::string& fallback) const {
  const std::string text = Text(name, fallback);
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty()) items.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

}  // namespace mox::bench
