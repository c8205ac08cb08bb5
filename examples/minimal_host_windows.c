/* The smallest Windows host of the plug-in, in C: load it, start it, send one command, wait for
 * the reply on the callback, stop it, unload it (examples/minimal_host.c does the same on Linux).
 * Build with mingw-w64 from the unpacked .zip and run (the plug-in's settings file lies beside
 * the DLL; its Logs folder appears beside this program):
 *
 *   x86_64-w64-mingw32-gcc -std=c99 -Wall -Wextra -Iinclude examples/minimal_host_windows.c
 *       -o minimal_host_windows.exe
 *   minimal_host_windows.exe apMoxSettingsManager.dll ABC
 *
 * That loads the DLL at run time (LoadLibraryA). Built with -DMOX_LINK_IMPORT_LIBRARY and linked
 * against an import library made from lib/apMoxSettingsManager.def, it calls the exports directly
 * and Windows loads the DLL with the program (then give only the record ID):
 *
 *   x86_64-w64-mingw32-dlltool -k -d lib/apMoxSettingsManager.def -l libapMoxSettingsManager.a
 *   x86_64-w64-mingw32-gcc -std=c99 -Wall -Wextra -Iinclude -DMOX_LINK_IMPORT_LIBRARY
 *       examples/minimal_host_windows.c -o minimal_host_windows.exe libapMoxSettingsManager.a
 *   minimal_host_windows.exe ABC
 *
 * It asks for the modified state of record ABC (code 2) and exits with 0 when that succeeded. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "apMoxSettingsManager.h"

static HANDLE gArrived; /* set by the callback once the reply is stored */
static int32_t gReplyLength = -1;
static unsigned char gReplyState;

/* Runs on the plug-in's worker thread, in the calling convention MOX_CALL (__stdcall on 32-bit
 * Windows). `reply` is valid only during the call: copy what you keep. `user` is the 32-bit value
 * given to Init_Plugin, too small for a pointer on 64-bit Windows. */
static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                             uint32_t user) {
  printf("reply to tag %d from %s (user %u): code %d, %d bytes\n", (int)tag, name, (unsigned)user,
         reply[0], (int)length);
  gReplyState = length > 1 ? (unsigned char)reply[1] : 0;
  gReplyLength = length;
  SetEvent(gArrived); /* the event orders the stores above before the waiter's reads */
}

int main(int argc, char** argv) {
#ifdef MOX_LINK_IMPORT_LIBRARY
  if (argc != 2) {
    fprintf(stderr, "usage: %s RECORD_ID\n", argv[0]);
    return 2;
  }
  const char* record = argv[1];
  MoxInitPluginFunction init = Init_Plugin;
  MoxCommandPluginFunction command = Command_Plugin;
  MoxFinalizePluginFunction finalize = Finalize_Plugin;
#else
  if (argc != 3) {
    fprintf(stderr, "usage: %s PLUGIN_DLL RECORD_ID\n", argv[0]);
    return 2;
  }
  const char* record = argv[2];
  HMODULE library = LoadLibraryA(argv[1]);
  if (library == NULL) {
    fprintf(stderr, "%s: LoadLibraryA failed, error %lu\n", argv[1], GetLastError());
    return 3;
  }
  /* Cast through a function pointer type without arguments: GetProcAddress returns FARPROC. */
  MoxInitPluginFunction init =
      (MoxInitPluginFunction)(void (*)(void))GetProcAddress(library, "Init_Plugin");
  MoxCommandPluginFunction command =
      (MoxCommandPluginFunction)(void (*)(void))GetProcAddress(library, "Command_Plugin");
  MoxFinalizePluginFunction finalize =
      (MoxFinalizePluginFunction)(void (*)(void))GetProcAddress(library, "Finalize_Plugin");
  if (init == NULL || command == NULL || finalize == NULL) {
    fprintf(stderr, "%s is not the plug-in\n", argv[1]);
    FreeLibrary(library);
    return 3;
  }
#endif
  gArrived = CreateEventA(NULL, TRUE, FALSE, NULL);

  const char* name = NULL;
  init(&name, OnReply, 7); /* returns nothing: a failure shows only in the plug-in's log */

  char payload[256];
  payload[0] = MSG_GETMODIFIEDSTATEBYID; /* code byte, then the command text */
  size_t id_length = strlen(record);
  if (id_length > sizeof payload - 1) id_length = sizeof payload - 1;
  memcpy(payload + 1, record, id_length);
  command(1, payload, (uint32_t)(1 + id_length)); /* copied and queued; answered later */

  const int32_t length = WaitForSingleObject(gArrived, 10000) == WAIT_OBJECT_0 ? gReplyLength : -1;
  if (length < 0) printf("%s: no reply within 10 s; see the plug-in's log\n", name);
  if (length == 1) printf("%s: the command failed; see the plug-in's log\n", name);
  if (length == 2) printf("%s: record %s has state %d\n", name, record, gReplyState);

  finalize(); /* no reply comes after it returns */
#ifndef MOX_LINK_IMPORT_LIBRARY
  FreeLibrary(library); /* `name` points into the DLL: not to be used from here on */
#endif
  CloseHandle(gArrived);
  return length == 2 ? 0 : 1;
}
