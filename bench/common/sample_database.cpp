#include "common/sample_database.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "common/run_command.h"

namespace mox::bench {

const char* AccessName(Access access) {
  return access == Access::kEmbedded ? "embedded" : "TCP loopback";
}

bool ServerListening() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(3050);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

std::string ServerSysdbaPassword() {
  if (const char* given = std::getenv("MOX_BENCH_SYSDBA_PASSWORD"); given != nullptr && *given)
    return given;
  std::ifstream file("/etc/firebird/3.0/SYSDBA.password");
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("ISC_PASSWORD=", 0) != 0) continue;
    std::string value = line.substr(13);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return value;
  }
  throw std::runtime_error(
      "no SYSDBA password: set MOX_BENCH_SYSDBA_PASSWORD or make "
      "/etc/firebird/3.0/SYSDBA.password readable");
}

SampleDatabase::SampleDatabase(Access access)
    : access_(access), folder_(access == Access::kTcp), path_(folder_.File("settings.fdb")) {
  password_ = access == Access::kTcp ? ServerSysdbaPassword() : "masterkey";
  RunCommand({"sh", MOX_SOURCE_DIR "/examples/create_sample_db.sh", path_,
              access == Access::kTcp ? "server" : "embedded"},
             {"ISC_PASSWORD=" + password_});
}

std::string SampleDatabase::AttachName() const {
  return access_ == Access::kTcp ? "localhost:" + path_ : path_;
}

void SampleDatabase::DisableForcedWrites() const {
  if (access_ != Access::kEmbedded) throw std::logic_error("forced writes: embedded only");
  RunCommand({"gfix", "-write", "async", "-user", "SYSDBA", path_});
}

}  // namespace mox::bench
