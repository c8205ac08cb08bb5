// Command-line options of the benchmark programs: --name=value pairs and bare --flags.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mox::bench {

class Options {
 public:
  // Throws std::invalid_argument for an argument that does not start with "--".
  Options(int argc, char** argv);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  std::string Text(const std::string& name, const std::string& fallback) const;
  int64_t Integer(const std::string& name, int64_t fallback) const;
  // A comma-separated list.
  std::vector<std::string> List(const std::string& name, const std::string& fallback) const;

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace mox::bench
