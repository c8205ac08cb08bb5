// How long a command may be. A command over its limit is refused before it is copied, queued,
// parsed or logged whole, so that one command cannot take memory out of all proportion to what it
// can do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mox {

// The default of [Queue] MaxCommandBytes: the longest command text of the blocking codes (and of
// unknown codes, which are only logged).
inline constexpr std::size_t kDefaultMaxCommandBytes = 1024 * 1024;

// The most refused commands waiting for their answer (code byte alone) in the queue; about 40
// bytes each. A command refused beyond them is dropped without reply, and counted.
inline constexpr std::size_t kMaxQueuedRefusals = 65536;

// The most bytes of command text a command of `code` may carry. Codes 1 to 3 hand their text to one
// text parameter of the database (code 3 after its state byte), so a longer text can never
// succeed; every other code is held to `max_command_bytes`.
uint64_t MaxCommandTextBytes(uint8_t code, std::size_t max_command_bytes);

// True for the message codes that select a command (and are answered).
bool IsKnownMessageCode(uint8_t code);

// The log line of a command refused for its size.
std::string OversizedCommandLine(uint8_t code, uint64_t text_bytes, uint64_t limit);

}  // namespace mox
