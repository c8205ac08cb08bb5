/* A test fixture, never shipped: a winelib gds32.dll (Linux code that wine loads as a Windows DLL)
 * whose entry points forward to the native Firebird client library of the same architecture, so
 * that the Windows DLLs reach a real database under wine. Each export keeps the Windows calling
 * convention (WINAPI: __stdcall on i686, the Microsoft x64 convention on x86_64) and calls the
 * native function with the System V one. Only basic C types appear here: ibase.h under _WIN32
 * would give the native prototypes __stdcall, and winelib's `long` is 64 bits wide on x86_64 where
 * Windows' is 32. The data themselves match on both sides: ISC_STATUS is pointer-sized, handles
 * and ISC_LONG are 32-bit, and XSQLDA has the same layout. */
#include <dlfcn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <windef.h>

typedef intptr_t Status;
typedef unsigned int Handle;

/* The native function `name` from libfbclient.so.2, looked up once; a missing library or entry
 * point ends the process (a fixture that cannot forward has nothing to test). */
static void* Native(const char* name) {
  static void* library;
  void* handle = __atomic_load_n(&library, __ATOMIC_ACQUIRE);
  if (handle == NULL) {
    handle = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL) {
      fprintf(stderr, "gds32 bridge: %s\n", dlerror());
      abort();
    }
    __atomic_store_n(&library, handle, __ATOMIC_RELEASE);
  }
  void* function = dlsym(handle, name);
  if (function == NULL) {
    fprintf(stderr, "gds32 bridge: no %s in libfbclient.so.2\n", name);
    abort();
  }
  return function;
}

/* Defines Bridge_<name>, the export `name`: forwards `args` to the native `name`. */
#define FORWARD(result, name, params, args)                       \
  typedef result(*name##_native) params;                          \
  result WINAPI Bridge_##name params {                            \
    static name##_native native;                                  \
    name##_native f = __atomic_load_n(&native, __ATOMIC_ACQUIRE); \
    if (f == NULL) {                                              \
      f = (name##_native)Native(#name);                           \
      __atomic_store_n(&native, f, __ATOMIC_RELEASE);             \
    }                                                             \
    return f args;                                                \
  }

FORWARD(Status, isc_attach_database,
        (Status * s, short n, const char* name, Handle* db, short dpb_n, const char* dpb),
        (s, n, name, db, dpb_n, dpb))
FORWARD(Status, isc_detach_database, (Status * s, Handle* db), (s, db))
FORWARD(Status, isc_database_info,
        (Status * s, Handle* db, short n, const char* items, short size, char* buffer),
        (s, db, n, items, size, buffer))
FORWARD(Status, isc_start_multiple, (Status * s, Handle* tr, short n, void* teb), (s, tr, n, teb))
FORWARD(Status, isc_commit_transaction, (Status * s, Handle* tr), (s, tr))
FORWARD(Status, isc_rollback_transaction, (Status * s, Handle* tr), (s, tr))
FORWARD(Status, isc_dsql_allocate_statement, (Status * s, Handle* db, Handle* st), (s, db, st))
FORWARD(Status, isc_dsql_prepare,
        (Status * s, Handle* tr, Handle* st, unsigned short n, const char* sql,
         unsigned short dialect, void* sqlda),
        (s, tr, st, n, sql, dialect, sqlda))
FORWARD(Status, isc_dsql_describe, (Status * s, Handle* st, unsigned short v, void* sqlda),
        (s, st, v, sqlda))
FORWARD(Status, isc_dsql_describe_bind, (Status * s, Handle* st, unsigned short v, void* sqlda),
        (s, st, v, sqlda))
FORWARD(Status, isc_dsql_execute,
        (Status * s, Handle* tr, Handle* st, unsigned short v, const void* sqlda),
        (s, tr, st, v, sqlda))
FORWARD(Status, isc_dsql_execute_immediate,
        (Status * s, Handle* db, Handle* tr, unsigned short n, const char* sql,
         unsigned short dialect, const void* sqlda),
        (s, db, tr, n, sql, dialect, sqlda))
FORWARD(Status, isc_dsql_fetch, (Status * s, Handle* st, unsigned short v, const void* sqlda),
        (s, st, v, sqlda))
FORWARD(Status, isc_dsql_free_statement, (Status * s, Handle* st, unsigned short option),
        (s, st, option))
FORWARD(Status, isc_open_blob2,
        (Status * s, Handle* db, Handle* tr, Handle* blob, void* id, unsigned short n,
         const unsigned char* bpb),
        (s, db, tr, blob, id, n, bpb))
FORWARD(Status, isc_get_segment,
        (Status * s, Handle* blob, unsigned short* got, unsigned short size, char* buffer),
        (s, blob, got, size, buffer))
FORWARD(Status, isc_close_blob, (Status * s, Handle* blob), (s, blob))
FORWARD(int, fb_interpret, (char* buffer, unsigned int size, const Status** vector),
        (buffer, size, vector))
FORWARD(Status, fb_cancel_operation, (Status * s, Handle* db, unsigned short option),
        (s, db, option))
