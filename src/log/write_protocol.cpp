#include "log/write_protocol.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "log/program_log.h"

namespace mox {

// Serialises WriteProtocol, and with it the use of gProtocolLines. Both live from library load to
// unload (CreateSettingsUnit / FreeSettingsUnit).
constinit std::unique_ptr<std::mutex> gProtocolLock;
constinit std::unique_ptr<std::vector<std::string>> gProtocolLines;

namespace {

constinit std::atomic<bool> gProtocolOn{true};

bool HasCrLf(std::string_view text) {
  return text.find("\r\n") != std::string_view::npos;
}

// Splits at CR LF, a lone CR or a lone LF; a line end at the very end adds no empty line.
void SplitLines(std::string_view text, std::vector<std::string>& lines) {
  lines.clear();
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

std::string JoinWithEscapedNewlines(const std::vector<std::string>& lines) {
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += "\\n";
    joined += lines[i];
  }
  return joined;
}

void WriteJoined(std::string_view text, std::vector<std::string>& lines) {
  if (!HasCrLf(text)) {
    WriteLog(text);
    return;
  }
  SplitLines(text, lines);
  WriteLog(JoinWithEscapedNewlines(lines));
  lines.clear();
}

}  // namespace

void CreateSettingsUnit() {
  if (!gProtocolLock) gProtocolLock = std::make_unique<std::mutex>();
  if (!gProtocolLines) gProtocolLines = std::make_unique<std::vector<std::string>>();
}

void FreeSettingsUnit() noexcept {
  gProtocolLines.reset();
  gProtocolLock.reset();
}

void SetProtocol(bool on) noexcept {
  gProtocolOn.store(on, std::memory_order_relaxed);
}

bool ProtocolOn() noexcept {
  return gProtocolOn.load(std::memory_order_relaxed);
}

void WriteProtocol(std::string_view text) noexcept {
  if (!ProtocolOn()) return;
  try {
    if (gProtocolLock && gProtocolLines) {
      std::lock_guard lock(*gProtocolLock);
      WriteJoined(text, *gProtocolLines);
    } else {
      // Outside the unit's lifetime (before load finished, after unload began) nothing runs
      // concurrently; a list of our own keeps the line from being lost.
      std::vector<std::string> lines;
      WriteJoined(text, lines);
    }
  } catch (...) {
    // The detail log never fails its caller; a line that could not be built is dropped.
  }
}

}  // namespace mox
