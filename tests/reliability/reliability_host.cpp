// A small host process for the tests that need a host directory of their own (its ini file, its
// log-server client library, its Logs folder): the test copies this program into a temporary
// folder, arranges that folder and runs it there.
//
//   reliability_host <database path> <commands> [--exit-without-finalize]
//
// Loads a copy of the plug-in as apMoxSettingsManager_child.so (Protocol off), sends <commands>
// commands of code 2 for the record ABC, waits up to 60 s for their replies, finalizes and
// unloads. Prints "sent=<n> answered=<n> correct=<n> slowest_post_ms=<n>" and exits with 0 when
// the plug-in could be loaded. With --exit-without-finalize it prints "sent=<n>" and ends the
// process with exit(0) at once, the worker busy and the plug-in loaded, as a careless host does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "plugin/plugin_host.h"

int main(int argc, char** argv) {
  using namespace mox::test;
  using namespace std::chrono;
  const bool exit_without_finalize = argc == 4 && std::string(argv[3]) == "--exit-without-finalize";
  if (argc != 3 && !exit_without_finalize) {
    std::fprintf(stderr, "usage: %s <database path> <commands> [--exit-without-finalize]\n",
                 argv[0]);
    return 2;
  }
  try {
    PluginSettings settings;
    settings.db_file = argv[1];
    settings.protocol = false;
    const int commands = std::atoi(argv[2]);
    PluginHost host("apMoxSettingsManager_child.so", &settings);
    host.Load();
    host.Init();
    long long slowest_post_ms = 0;
    const std::string payload(
        "\x02"
        "ABC");
    for (int tag = 0; tag < commands; ++tag) {
      const auto start = steady_clock::now();
      host.Command(tag, payload);
      slowest_post_ms = std::max<long long>(
          slowest_post_ms, duration_cast<milliseconds>(steady_clock::now() - start).count());
    }
    if (exit_without_finalize) {
      std::printf("sent=%d\n", commands);
      std::fflush(stdout);
      std::exit(0);  // leaves the host object and the plug-in as they are
    }
    host.WaitForReplies(static_cast<std::size_t>(commands), seconds(60));
    host.Finalize();
    int correct = 0;
    for (const Reply& reply : host.Replies()) correct += reply.bytes == std::string("\x02\x00", 2);
    std::printf("sent=%d answered=%zu correct=%d slowest_post_ms=%lld\n", commands,
                host.ReplyCount(), correct, slowest_post_ms);
    host.Unload();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "reliability_host: %s\n", error.what());
    return 1;
  }
}
