// A syslog server for the tests: Debian's rsyslogd on loopback, with a configuration of its own in
// a temporary folder, receiving on free UDP and TCP ports and writing each message's fields to a
// file. It runs as a child of the test, in the foreground (-n), and is ended by its id.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mox::test {

class RsyslogServer {
 public:
  explicit RsyslogServer(std::filesystem::path dir);
  ~RsyslogServer();
  RsyslogServer(const RsyslogServer&) = delete;
  RsyslogServer& operator=(const RsyslogServer&) = delete;

  static bool Available();

  // Starts rsyslogd; true once it accepts TCP connections (within 10 s).
  bool Start();
  // Ends it and reaps it.
  void Stop();

  int udp_port() const { return udp_port_; }
  int tcp_port() const { return tcp_port_; }

  // The first received message that contains `marker`, split into PRI, TIMESTAMP, HOSTNAME,
  // APP-NAME, PROCID, MSGID, STRUCTURED-DATA and MSG; empty when none came within 5 s.
  std::vector<std::string> WaitForMessage(const std::string& marker) const;
  // Everything received so far, one message a line.
  std::string Received() const;

 private:
  std::filesystem::path dir_;
  int udp_port_ = 0;
  int tcp_port_ = 0;
  long pid_ = 0;
};

}  // namespace mox::test
