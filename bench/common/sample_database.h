// Copies of the sample settings database (examples/settings_db.sql) made for one benchmark, reached
// embedded (a local path) or through the local Firebird server over TCP loopback.
#pragma once

#include <string>

#include "common/temp_folder.h"

namespace mox::bench {

enum class Access { kEmbedded, kTcp };
const char* AccessName(Access access);

// True when a Firebird server accepts connections on 127.0.0.1:3050.
bool ServerListening();
// The server's SYSDBA password: MOX_BENCH_SYSDBA_PASSWORD, else ISC_PASSWORD of
// /etc/firebird/3.0/SYSDBA.password. Throws std::runtime_error when neither is readable.
std::string ServerSysdbaPassword();

class SampleDatabase {
 public:
  // Creates a fresh database through examples/create_sample_db.sh.
  explicit SampleDatabase(Access access);

  Access GetAccess() const { return access_; }
  const std::string& Path() const { return path_; }
  // The path, or localhost:path through the server.
  std::string AttachName() const;
  std::string User() const { return "SYSDBA"; }
  // Embedded access takes any password.
  std::string Password() const { return password_; }

  // Forced writes off: the engine no longer waits for the disk at each commit. Embedded only.
  void DisableForcedWrites() const;

 private:
  Access access_;
  TempFolder folder_;
  std::string path_;
  std::string password_;
};

}  // namespace mox::bench
