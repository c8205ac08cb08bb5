// The program log's lines as a test reads them back from the hourly files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mox::test {

// Every line of the hourly files below `logs_folder` (the host's Logs folder), in the order
// written, each without its "HH:NN:SS.ZZZ " time stamp. A last line without its CR LF comes back
// as "<unterminated>" and its bytes. Empty when the folder is missing.
std::vector<std::string> ProgramLogLines(const std::filesystem::path& logs_folder);

}  // namespace mox::test
