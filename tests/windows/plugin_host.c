/* A Windows host written in C against the public header: it loads the plug-in DLL with
 * LoadLibraryA and runs the steps named on its command line, printing what it sees.
 *
 * Usage: mox_test_host.exe <dll> <step>...
 *   load      LoadLibraryA and GetProcAddress of the four functions
 *   getname   GetName_Plugin                 init      Init_Plugin
 *   command   Command_Plugin(7, MSG_GETDATABYID "42")
 *   reply     waits up to 20 s for the reply and prints it
 *   hold      makes the next reply callback signal, then block forever (a busy worker)
 *   held      waits up to 20 s until the callback blocks
 *   finalize  Finalize_Plugin                free      FreeLibrary
 *   loaded    whether the DLL is still in the process (loaded=NAME: the DLL of that name)
 * After the last step the host returns from main: the process exits with the worker as it is. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "apMoxSettingsManager.h"

static HANDLE reply_event;
static HANDLE held_event;
static volatile LONG hold_next;
static char last_reply[256];

static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                             uint32_t user) {
  snprintf(last_reply, sizeof last_reply, "reply: tag=%d user=%u length=%d code=%d name=%s",
           (int)tag, (unsigned)user, (int)length, length > 0 ? reply[0] : -1, name);
  SetEvent(reply_event);
  if (InterlockedExchange(&hold_next, 0)) {
    SetEvent(held_event);
    Sleep(INFINITE);
  }
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s <dll> <step>...\n", argv[0]);
    return 2;
  }
  const char* dll = argv[1];
  HMODULE module = NULL;
  MoxInitPluginFunction init = NULL;
  MoxGetNamePluginFunction get_name = NULL;
  MoxCommandPluginFunction command = NULL;
  MoxFinalizePluginFunction finalize = NULL;
  reply_event = CreateEventA(NULL, FALSE, FALSE, NULL);
  held_event = CreateEventA(NULL, FALSE, FALSE, NULL);
  setvbuf(stdout, NULL, _IONBF, 0);

  for (int i = 2; i < argc; ++i) {
    const char* step = argv[i];
    const char* name = NULL;
    if (strcmp(step, "load") == 0) {
      module = LoadLibraryA(dll);
      if (module == NULL) {
        printf("load: failed, error %lu\n", GetLastError());
        return 1;
      }
      init = (MoxInitPluginFunction)(void (*)(void))GetProcAddress(module, "Init_Plugin");
      get_name = (MoxGetNamePluginFunction)(void (*)(void))GetProcAddress(module, "GetName_Plugin");
      command = (MoxCommandPluginFunction)(void (*)(void))GetProcAddress(module, "Command_Plugin");
      finalize =
          (MoxFinalizePluginFunction)(void (*)(void))GetProcAddress(module, "Finalize_Plugin");
      printf("load: %s\n", init && get_name && command && finalize ? "ok" : "missing exports");
    } else if (strcmp(step, "getname") == 0) {
      get_name(&name);
      printf("GetName_Plugin: %s\n", name ? name : "(null)");
    } else if (strcmp(step, "init") == 0) {
      init(&name, &OnReply, 99);
      printf("Init_Plugin: %s\n", name ? name : "(null)");
    } else if (strcmp(step, "command") == 0) {
      static const char payload[] = {MSG_GETDATABYID, '4', '2'};
      printf("Command_Plugin: %d\n", (int)command(7, payload, sizeof payload));
    } else if (strcmp(step, "reply") == 0) {
      printf("%s\n",
             WaitForSingleObject(reply_event, 20000) == WAIT_OBJECT_0 ? last_reply : "reply: none");
    } else if (strcmp(step, "hold") == 0) {
      InterlockedExchange(&hold_next, 1);
    } else if (strcmp(step, "held") == 0) {
      printf("held: %s\n", WaitForSingleObject(held_event, 20000) == WAIT_OBJECT_0 ? "yes" : "no");
    } else if (strcmp(step, "finalize") == 0) {
      finalize();
      printf("Finalize_Plugin: done\n");
    } else if (strcmp(step, "free") == 0) {
      printf("FreeLibrary: %s\n", FreeLibrary(module) ? "ok" : "failed");
    } else if (strcmp(step, "loaded") == 0) {
      printf("loaded: %s\n", GetModuleHandleA(dll) != NULL ? "yes" : "no");
    } else if (strncmp(step, "loaded=", 7) == 0) {
      printf("%s loaded: %s\n", step + 7, GetModuleHandleA(step + 7) != NULL ? "yes" : "no");
    } else {
      printf("unknown step %s\n", step);
      return 2;
    }
  }
  printf("exit\n");
  return 0;
}
