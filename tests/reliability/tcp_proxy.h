// A TCP proxy on loopback between the plug-in and the database server, for network-fault tests:
// it forwards bytes both ways and, on request, stalls every connection (nothing is read or
// accepted any more; the peers see a silent network), cuts them (orderly close) or resets them
// (RST). It listens on 127.0.0.1 only and connects only to 127.0.0.1.
//
// Thread safety: every public function may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace mox::test {

class TcpProxy {
 public:
  // Listens on an ephemeral port of 127.0.0.1 and forwards to 127.0.0.1:`target_port`.
  // Throws std::system_error when the socket cannot be set up.
  explicit TcpProxy(uint16_t target_port);
  // Closes every connection and ends the proxy's thread.
  ~TcpProxy();

  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  uint16_t port() const { return port_; }

  // While stalled, no byte moves and no new connection is accepted (the kernel still completes
  // the TCP handshake, so a client's connect succeeds and its first read then waits).
  void SetStalled(bool stalled);
  // Closes both sides of every open connection in an orderly way (FIN); returns once done.
  void CutAll();
  // Aborts both sides of every open connection (RST); returns once done.
  void ResetAll();

  // Connections accepted so far, and open now.
  int Accepted();
  int Open();

 private:
  enum class Request { kNone, kCut, kReset };
  struct Link {
    int client = -1;
    int server = -1;
  };

  void Run();
  void Wake();
  void CloseLink(Link& link, bool reset);
  // Moves what is readable on `from` to `to`; false when the link should close.
  static bool Pump(int from, int to);

  uint16_t port_ = 0;
  uint16_t target_port_;
  int listener_ = -1;
  int wake_read_ = -1;
  int wake_write_ = -1;

  void Ask(Request request);

  std::mutex lock_;
  std::condition_variable done_;
  bool stalled_ = false;              // guarded by lock_
  bool stopping_ = false;             // guarded by lock_
  Request request_ = Request::kNone;  // guarded by lock_: the one being carried out
  int accepted_ = 0;                  // guarded by lock_
  int open_ = 0;                      // guarded by lock_

  std::vector<Link> links_;  // proxy thread only
  std::thread thread_;       // last: Run reads everything above
};

}  // namespace mox::test
