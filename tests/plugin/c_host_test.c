/* A host written in C: the public header must compile as C, and the four exports must work when
   called through it. Loads a copy of the plug-in (argv[1]) from a folder of its own, so that its
   settings file is made there, and checks the name, one reply and a clean finalize. */
#define _POSIX_C_SOURCE 200809L

#include <dirent.h>
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "apMoxSettingsManager.h"

static atomic_int replies;
static int32_t reply_tag;
static int32_t reply_length;
static char reply_code;
static uint32_t reply_user;

static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                             uint32_t user) {
  (void)name;
  reply_tag = tag;
  reply_length = length;
  reply_code = length > 0 ? reply[0] : 0;
  reply_user = user;
  atomic_fetch_add(&replies, 1);
}

static int Fail(const char* what) {
  fprintf(stderr, "c_host_test: %s\n", what);
  return 1;
}

static int CopyFile(const char* from, const char* to) {
  FILE* in = fopen(from, "rb");
  FILE* out = in != NULL ? fopen(to, "wb") : NULL;
  char buffer[65536];
  size_t n;
  int ok = in != NULL && out != NULL;
  while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, n, out) == n;
  if (in != NULL) fclose(in);
  if (out != NULL && fclose(out) != 0) ok = 0;
  return ok;
}

/* Removes the folder and the files the plug-in made in it. */
static void RemoveFolder(const char* folder) {
  DIR* dir = opendir(folder);
  struct dirent* entry;
  char path[512];
  if (dir == NULL) return;
  while ((entry = readdir(dir)) != NULL) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
    remove(path);
  }
  closedir(dir);
  remove(folder);
}

int main(int argc, char** argv) {
  char folder[] = "/tmp/mox-c-host-XXXXXX";
  char library[256];
  void* module;
  MoxGetNamePluginFunction get_name;
  MoxInitPluginFunction init;
  MoxCommandPluginFunction command;
  MoxFinalizePluginFunction finalize;
  const char* name = NULL;
  const char* init_name = NULL;
  const char set_state_without_text[] = {MSG_SETMODIFIEDSTATEBYID};
  int waited_ms = 0;
  int result = 0;

  if (argc != 2) return Fail("usage: c_host_test <plug-in library>");
  if (mkdtemp(folder) == NULL) return Fail("no temporary folder");
  snprintf(library, sizeof library, "%s/apMoxSettingsManager.so", folder);
  if (!CopyFile(argv[1], library)) return Fail("cannot copy the plug-in");

  module = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (module == NULL) return Fail(dlerror());
  /* POSIX lets a data pointer carry a function's address; the copy avoids the cast warning. */
  {
    void* symbol;
    symbol = dlsym(module, "GetName_Plugin");
    memcpy(&get_name, &symbol, sizeof symbol);
    symbol = dlsym(module, "Init_Plugin");
    memcpy(&init, &symbol, sizeof symbol);
    symbol = dlsym(module, "Command_Plugin");
    memcpy(&command, &symbol, sizeof symbol);
    symbol = dlsym(module, "Finalize_Plugin");
    memcpy(&finalize, &symbol, sizeof symbol);
  }
  if (get_name == NULL || init == NULL || command == NULL || finalize == NULL)
    return Fail("an export is missing");

  get_name(&name);
  if (name == NULL || strcmp(name, "MoxSettingsManager") != 0) result = Fail("wrong name");
  init(&init_name, OnReply, 77u);
  if (init_name != name) result = Fail("Init_Plugin gave another name");

  /* A state change without its state byte is answered at once with the code alone. */
  if (command(5, set_state_without_text, sizeof set_state_without_text) != 0)
    result = Fail("Command_Plugin did not return 0");
  while (atomic_load(&replies) == 0 && waited_ms < 10000) {
    const struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, NULL);
    waited_ms += 10;
  }
  finalize();
  if (atomic_load(&replies) != 1) result = Fail("not exactly one reply");
  if (reply_tag != 5 || reply_length != 1 || reply_code != MSG_SETMODIFIEDSTATEBYID ||
      reply_user != 77u)
    result = Fail("wrong reply");
  if (command(6, set_state_without_text, sizeof set_state_without_text) != 0)
    result = Fail("Command_Plugin after Finalize_Plugin did not return 0");
  if (dlclose(module) != 0) result = Fail("dlclose failed");
  RemoveFolder(folder);
  return result;
}
