/*
 * apMoxSettingsManager: the host's interface to the settings-database plug-in.
 *
 * ABI rules:
 *  - The host calls Init_Plugin once, then Command_Plugin and GetName_Plugin any number of times
 *    (Command_Plugin from several threads at once if it likes), then Finalize_Plugin once before it
 *    unloads the library. Init_Plugin and Finalize_Plugin must not run concurrently with any other
 *    export.
 *  - Command_Plugin only copies and queues the command; the host may reuse its buffer at once.
 *    Every command with a known message code is answered later, exactly once, on the plug-in's
 *    worker thread, through the reply callback handed to Init_Plugin. Never after Finalize_Plugin
 *    has returned.
 *  - The plug-in name (name argument of Init_Plugin, GetName_Plugin and of every reply) belongs to
 *    the plug-in and stays valid until the library is unloaded.
 *  - The reply bytes are valid only during the callback; a NUL byte follows them but is not
 *    counted, and the reply itself may hold NUL bytes: take its length from the length argument.
 *  - No export ever lets an exception or a crash through; failures are written to the plug-in's
 *    log.
 *  - Windows: the DLL exports the four functions under their plain names (no "_Init_Plugin@12"),
 *    in the calling convention MOX_CALL (__stdcall on 32-bit Windows), and the reply callback must
 *    use it too. A host that calls FreeLibrary without Finalize_Plugin leaves the DLL loaded (its
 *    worker thread holds a reference) until the process ends.
 *
 * The header is valid C99 and C++.
 */
#ifndef APMOXSETTINGSMANAGER_H
#define APMOXSETTINGSMANAGER_H

#include <stdint.h>

/* The calling convention of the exports and of the reply callback. */
#if defined(_WIN32)
#define MOX_CALL __stdcall
#else
#define MOX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Message codes: the first byte of a payload and of its reply. */
enum {
  MSG_GETDATABYID = 1,          /* text: record ID; reply: code, state byte, data text */
  MSG_GETMODIFIEDSTATEBYID = 2, /* text: record ID; reply: code, state byte */
  MSG_SETMODIFIEDSTATEBYID = 3, /* text: one state byte, then record ID; reply: code, state byte */
  MSG_BLOCKINGS_GETDATA = 10,   /* text and reply: name=value entries as comma text */
  MSG_BLOCKINGS_SETPWD = 11,
  MSG_BLOCKINGS_SETLINK = 12
};

/* Called on the plug-in's worker thread with the tag of the command answered, the plug-in name,
 * the reply (length >= 1; a reply of the code byte alone means the command failed) and the user
 * value given to Init_Plugin. */
typedef void(MOX_CALL* MoxReplyCallback)(int32_t tag, const char* name, const char* reply,
                                         int32_t length, uint32_t user);

/* Starts the plug-in: *name receives the plug-in name. Calling it again without Finalize_Plugin
 * replaces the running worker (its queued commands are dropped without reply). */
void MOX_CALL Init_Plugin(const char** name, MoxReplyCallback callback, uint32_t user);

/* *name receives the plug-in name; works at any time while the library is loaded. */
void MOX_CALL GetName_Plugin(const char** name);

/* Queues a command: payload[0] is the message code, the rest the command text. Always returns 0;
 * a length of 0 is ignored. */
int32_t MOX_CALL Command_Plugin(int32_t tag, const void* payload, uint32_t length);

/* Stops the worker: a command in progress is finished and answered, queued ones are dropped. */
void MOX_CALL Finalize_Plugin(void);

/* The four functions as a host that loads the library at run time holds them (dlsym,
 * GetProcAddress): the same prototypes, with the calling convention. */
typedef void(MOX_CALL* MoxInitPluginFunction)(const char** name, MoxReplyCallback callback,
                                              uint32_t user);
typedef void(MOX_CALL* MoxGetNamePluginFunction)(const char** name);
typedef int32_t(MOX_CALL* MoxCommandPluginFunction)(int32_t tag, const void* payload,
                                                    uint32_t length);
typedef void(MOX_CALL* MoxFinalizePluginFunction)(void);

#ifdef __cplusplus
}
#endif

#endif /* APMOXSETTINGSMANAGER_H */
