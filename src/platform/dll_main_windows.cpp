// The DLL's entry point. The C runtime runs the static constructors before it on attach and the
// exit table (static destructors, module exit handlers) after it on detach.
#include <windows.h>

#include "platform/process.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
    // The process exits: Windows has ended the other threads, ours included, wherever they were.
    // The exit table that runs next must neither wait for them nor take their locks.
    mox::platform::MarkOtherThreadsEndedByProcessExit();
  }
  return TRUE;
}
