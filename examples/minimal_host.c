/* The smallest host of the plug-in, in C: load it, start it, send one command, wait for the
 * reply on the callback, stop it, unload it. Build and run (the plug-in's settings file lies
 * beside the library; its Logs folder appears beside this program):
 *
 *   cc -std=c99 -Wall -Wextra -Iinclude examples/minimal_host.c -o minimal_host -ldl -lpthread
 *   ./minimal_host ./apMoxSettingsManager.so ABC
 *
 * It asks for the modified state of record ABC (code 2) and exits with 0 when that succeeded. */
#define _POSIX_C_SOURCE 200809L
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "apMoxSettingsManager.h"

static pthread_mutex_t gLock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t gArrived = PTHREAD_COND_INITIALIZER;
static int32_t gReplyLength = -1; /* -1 until the reply came */
static unsigned char gReplyState;

/* Runs on the plug-in's worker thread. `reply` is valid only during the call: copy what you keep.
 * `user` is the 32-bit value given to Init_Plugin, too small for a pointer. */
static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                             uint32_t user) {
  printf("reply to tag %d from %s (user %u): code %d, %d bytes\n", (int)tag, name, (unsigned)user,
         reply[0], (int)length);
  pthread_mutex_lock(&gLock);
  gReplyState = length > 1 ? (unsigned char)reply[1] : 0;
  gReplyLength = length;
  pthread_cond_signal(&gArrived);
  pthread_mutex_unlock(&gLock);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s PLUGIN RECORD_ID\n", argv[0]);
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 3;
  }
  MoxInitPluginFunction init = (MoxInitPluginFunction)dlsym(library, "Init_Plugin");
  MoxCommandPluginFunction command = (MoxCommandPluginFunction)dlsym(library, "Command_Plugin");
  MoxFinalizePluginFunction finalize = (MoxFinalizePluginFunction)dlsym(library, "Finalize_Plugin");
  if (init == NULL || command == NULL || finalize == NULL) {
    fprintf(stderr, "%s is not the plug-in\n", argv[1]);
    dlclose(library);
    return 3;
  }

  const char* name = NULL;
  init(&name, OnReply, 7); /* returns nothing: a failure shows only in the plug-in's log */

  char payload[256];
  payload[0] = MSG_GETMODIFIEDSTATEBYID; /* code byte, then the command text */
  const size_t id_length = strnlen(argv[2], sizeof payload - 1);
  memcpy(payload + 1, argv[2], id_length);
  command(1, payload, (uint32_t)(1 + id_length)); /* copied and queued; answered later */

  struct timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += 10;
  pthread_mutex_lock(&gLock);
  int waited = 0;
  while (gReplyLength < 0 && waited == 0)
    waited = pthread_cond_timedwait(&gArrived, &gLock, &deadline);
  const int32_t length = gReplyLength;
  pthread_mutex_unlock(&gLock);

  if (length < 0) printf("%s: no reply within 10 s; see the plug-in's log\n", name);
  if (length == 1) printf("%s: the command failed; see the plug-in's log\n", name);
  if (length == 2) printf("%s: record %s has state %d\n", name, argv[2], gReplyState);

  finalize();       /* no reply comes after it returns */
  dlclose(library); /* `name` points into the library: not to be used from here on */
  return length == 2 ? 0 : 1;
}
