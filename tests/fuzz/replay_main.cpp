// The main of a fuzz target built without libFuzzer (a compiler other than clang): runs the target
// once on every file named on the command line or found in a folder named there, in name order, so
// that every build replays the corpus. Options (arguments starting with "-") are libFuzzer's and
// are ignored.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool ReadInput(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.starts_with("-")) continue;
    std::error_code error;
    if (std::filesystem::is_directory(argument, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      if (error) {
        std::fprintf(stderr, "cannot list %s: %s\n", argument.c_str(), error.message().c_str());
        return 1;
      }
      std::sort(files.begin(), files.end());
      inputs.insert(inputs.end(), files.begin(), files.end());
    } else {
      inputs.emplace_back(argument);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s [-option...] corpus-folder-or-file...\n", argv[0]);
    return 1;
  }

  // libFuzzer also runs the empty input first.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::vector<uint8_t> bytes;
  for (const auto& path : inputs) {
    if (!ReadInput(path, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
