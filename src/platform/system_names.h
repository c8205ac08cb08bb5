// Names and conventions that differ between the systems the plug-in is built for.
#pragma once

#include <array>
#include <string_view>

#if defined(_WIN32)
// The calling convention of functions exported by DLLs (__stdcall on 32-bit Windows; the only
// convention on 64-bit Windows).
#define MOX_SYSTEM_CALL __stdcall
// Marks one of the plug-in's exported functions.
#define MOX_EXPORT extern "C" __declspec(dllexport)
#else
#define MOX_SYSTEM_CALL
#define MOX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace mox::platform {

#if defined(_WIN32)
// The Firebird/InterBase client library: its classic name first, then the name current client
// installations use.
inline constexpr std::array<std::string_view, 2> kClientLibraryNames = {"gds32.dll",
                                                                        "fbclient.dll"};
// The log-server client library.
inline constexpr char kLogClientLibraryName[] = "LogClient.dll";
#else
inline constexpr std::array<std::string_view, 2> kClientLibraryNames = {"libfbclient.so.2",
                                                                        "libfbclient.so"};
inline constexpr char kLogClientLibraryName[] = "libLogClient.so";
#endif

}  // namespace mox::platform
