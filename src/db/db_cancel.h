// Cancelling the database call that the worker thread is making, from another thread: the way
// out for a stop request that meets a statement running for long or a server gone silent.
#pragma once

#include <chrono>

namespace mox {

class Connection;

enum class CancelKind {
  kRaise,  // the server stops the running statement; the call fails with "operation cancelled"
  kAbort,  // the client drops the connection itself: the only help when the network is silent
};

// Asks the client library to cancel the call running on `connection`. Called while the worker
// may be inside a call on it, so it takes no lock and reads only what Connection publishes for
// other threads. An abort also refuses every later connect of `connection`. Waits at most `wait`
// for the client library to take the request: a request that has not returned by then goes on on
// a thread of its own, and the library is kept loaded for it. False when there is no connection,
// the client cannot cancel, or the request failed or is still running. Never throws.
bool CancelRunningCall(Connection& connection, CancelKind kind,
                       std::chrono::milliseconds wait) noexcept;

// The error text of a connect refused for that reason.
inline constexpr char kConnectStoppedMessage[] =
    "The connection was dropped to stop the plug-in; no new connection is made";

}  // namespace mox
