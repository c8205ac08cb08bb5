/* Reads cases.txt and runs it step by step; the format is described at the top of that file. */
#include "e2e/case_runner.h"

#include <ibase.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "apMoxSettingsManager.h"
#include "e2e/case_runner_system.h"

enum { kMaxReplies = 256, kReplyWaitMs = 20000, kLogWaitMs = 5000 };
static const uint32_t kUser = 0xC0FFEE01u;

/* A byte string that may hold NULs. */
typedef struct {
  char* data;
  size_t size;
  size_t capacity;
} Bytes;

static void Append(Bytes* bytes, const char* data, size_t size) {
  if (bytes->size + size + 1 > bytes->capacity) {
    bytes->capacity = (bytes->size + size + 1) * 2;
    bytes->data = realloc(bytes->data, bytes->capacity);
    if (bytes->data == NULL) abort();
  }
  memcpy(bytes->data + bytes->size, data, size);
  bytes->size += size;
  bytes->data[bytes->size] = '\0';
}

typedef struct {
  int32_t tag;
  uint32_t user;
  int nul_after;
  char name[64];
  Bytes bytes;
} Reply;

/* Filled by the plug-in's worker thread, one reply after the other; `reply_count` publishes them.
 */
static Reply replies[kMaxReplies];
static atomic_int reply_count;

static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                             uint32_t user) {
  const int index = atomic_load(&reply_count);
  if (index >= kMaxReplies) return;
  Reply* slot = &replies[index];
  slot->tag = tag;
  slot->user = user;
  slot->nul_after = length >= 0 && reply[length] == '\0';
  snprintf(slot->name, sizeof slot->name, "%s", name != NULL ? name : "(null)");
  slot->bytes.size = 0;
  Append(&slot->bytes, reply, length > 0 ? (size_t)length : 0);
  atomic_store(&reply_count, index + 1);
}

typedef ISC_STATUS(ISC_EXPORT* AttachFunction)(ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*,
                                               short, const ISC_SCHAR*);
typedef ISC_STATUS(ISC_EXPORT* HandleFunction)(ISC_STATUS*, isc_db_handle*);
typedef ISC_STATUS(ISC_EXPORT* StartFunction)(ISC_STATUS*, isc_tr_handle*, short, void*);
typedef ISC_STATUS(ISC_EXPORT* ExecuteFunction)(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                                unsigned short, const ISC_SCHAR*, unsigned short,
                                                const XSQLDA*);
typedef ISC_LONG(ISC_EXPORT* InterpretFunction)(ISC_SCHAR*, unsigned int, const ISC_STATUS**);

typedef struct {
  const char* table;
  const char* plugin;
  const char* database;
  const char* password;
  const char* log_root;
  int line_number;
  int failures;
  /* The plug-in. */
  void* library;
  MoxInitPluginFunction init;
  MoxCommandPluginFunction command;
  MoxFinalizePluginFunction finalize;
  char name[64];          /* the plug-in name its file name gives */
  char log_suffix[256];   /* "_<library file name>.log" */
  int replies_taken;      /* replies checked so far */
  int lines_before_start; /* log lines written before the last start */
  int log_matched;        /* the line that the last `log` step matched */
  /* The client library, for the steps' own statements. */
  void* client;
} Run;

static void Fail(Run* run, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  printf("%s:%d: FAIL: ", run->table, run->line_number);
  vprintf(format, arguments);
  printf("\n");
  va_end(arguments);
  ++run->failures;
}

/* The bytes as the table writes them: printable ASCII as is, the rest as \xHH. */
static void PrintBytes(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const unsigned char c = (unsigned char)data[i];
    if (c >= 0x20 && c < 0x7F && c != '\\')
      putchar(c);
    else
      printf("\\x%02X", c);
  }
}

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

/* Decodes the table's text: \\, \xHH, \{N:c} (N times c), $DB (the database), $NAME (the plug-in
 * name). Returns 0 on a malformed escape. */
static int Decode(Run* run, const char* text, Bytes* out) {
  out->size = 0;
  Append(out, "", 0);
  for (const char* p = text; *p != '\0'; ++p) {
    if (strncmp(p, "$DB", 3) == 0) {
      Append(out, run->database, strlen(run->database));
      p += 2;
    } else if (strncmp(p, "$NAME", 5) == 0) {
      Append(out, run->name, strlen(run->name));
      p += 4;
    } else if (*p != '\\') {
      Append(out, p, 1);
    } else if (p[1] == '\\') {
      Append(out, p, 1);
      ++p;
    } else if (p[1] == 'x' && HexDigit(p[2]) >= 0 && HexDigit(p[3]) >= 0) {
      const char c = (char)(HexDigit(p[2]) * 16 + HexDigit(p[3]));
      Append(out, &c, 1);
      p += 3;
    } else if (p[1] == '{') {
      char* end = NULL;
      const long count = strtol(p + 2, &end, 10);
      if (end == NULL || end[0] != ':' || end[1] == '\0' || end[2] != '}' || count < 0) return 0;
      for (long i = 0; i < count; ++i) Append(out, end + 1, 1);
      p = end + 2;
    } else {
      return 0;
    }
  }
  return 1;
}

/* --- the plug-in -------------------------------------------------------------------------- */

static int WriteSettings(Run* run, int missing_database, int protocol) {
  char path[4096];
  snprintf(path, sizeof path, "%s", run->plugin);
  char* dot = strrchr(path, '.');
  if (dot == NULL) return 0;
  strcpy(dot, ".ini");
  FILE* file = fopen(path, "wb");
  if (file == NULL) return 0;
  fprintf(file,
          "[DB]\r\nDBFile=%s%s\r\nDBUser=SYSDBA\r\nDBPass=%s\r\nDBLang=WIN1251\r\n"
          "DBTime=1200000\r\nProtocol=%d\r\n",
          run->database, missing_database ? ".missing" : "", run->password, protocol);
  return fclose(file) == 0;
}

static int LoadPlugin(Run* run) {
  run->library = CaseLoadLibrary(run->plugin);
  if (run->library == NULL) return 0;
  run->init = (MoxInitPluginFunction)(uintptr_t)CaseSymbol(run->library, "Init_Plugin");
  run->command = (MoxCommandPluginFunction)(uintptr_t)CaseSymbol(run->library, "Command_Plugin");
  run->finalize = (MoxFinalizePluginFunction)(uintptr_t)CaseSymbol(run->library, "Finalize_Plugin");
  /* apMoxSettingsManager_Xyz.ext is MoxSettingsManager_Xyz; without '_' MoxSettingsManager. */
  const char* file = run->plugin;
  for (const char* p = run->plugin; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') file = p + 1;
  snprintf(run->log_suffix, sizeof run->log_suffix, "_%s.log", file);
  const char* underscore = strchr(file, '_');
  const char* dot = strchr(file, '.');
  if (underscore != NULL && dot != NULL && underscore < dot)
    snprintf(run->name, sizeof run->name, "MoxSettingsManager_%.*s", (int)(dot - underscore - 1),
             underscore + 1);
  else
    snprintf(run->name, sizeof run->name, "MoxSettingsManager");
  return run->init != NULL && run->command != NULL && run->finalize != NULL;
}

/* --- the log ------------------------------------------------------------------------------ */

typedef struct {
  char paths[64][4096];
  int count;
} LogFiles;

static void AddLogFile(const char* path, void* context) {
  LogFiles* files = context;
  if (files->count < 64) snprintf(files->paths[files->count++], sizeof files->paths[0], "%s", path);
}

static int ComparePaths(const void* a, const void* b) {
  return strcmp(a, b);
}

/* Every line of the plug-in's log files in order, without the time stamp, the elapsed-time field
 * ("<     5> ") and the line end; the lines are NUL-separated in `out`. Returns the line count. */
static int ReadLog(Run* run, Bytes* out, const char*** lines) {
  static LogFiles files;
  files.count = 0;
  char folder[4096];
  snprintf(folder, sizeof folder, "%s/Logs", run->log_root);
  CaseListFiles(folder, run->log_suffix, AddLogFile, &files);
  qsort(files.paths, (size_t)files.count, sizeof files.paths[0], ComparePaths);
  out->size = 0;
  int count = 0;
  for (int i = 0; i < files.count; ++i) {
    FILE* file = fopen(files.paths[i], "rb");
    if (file == NULL) continue;
    char buffer[16384];
    while (fgets(buffer, sizeof buffer, file) != NULL) {
      size_t length = strlen(buffer);
      while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
      const char* text = buffer;
      if (length >= 13 && buffer[2] == ':' && buffer[12] == ' ') text += 13, length -= 13;
      const char* close = length > 9 && text[0] == '<' ? strstr(text, "> ") : NULL;
      if (close != NULL && close - text >= 8)
        length -= (size_t)(close + 2 - text), text = close + 2;
      Append(out, text, length);
      Append(out, "", 1);
      ++count;
    }
    fclose(file);
  }
  *lines = realloc((void*)*lines, sizeof(char*) * (size_t)(count + 1));
  const char* p = out->data;
  for (int i = 0; i < count; ++i) {
    (*lines)[i] = p;
    p += strlen(p) + 1;
  }
  return count;
}

/* --- the client library, for statements on an attachment of the runner's own ---------------- */

static int RunSql(Run* run, const char* sql) {
  if (run->client == NULL) run->client = CaseLoadLibrary(CaseClientLibraryName());
  if (run->client == NULL) {
    Fail(run, "cannot load the client library %s", CaseClientLibraryName());
    return 0;
  }
  const AttachFunction attach =
      (AttachFunction)(uintptr_t)CaseSymbol(run->client, "isc_attach_database");
  const HandleFunction detach =
      (HandleFunction)(uintptr_t)CaseSymbol(run->client, "isc_detach_database");
  const StartFunction start =
      (StartFunction)(uintptr_t)CaseSymbol(run->client, "isc_start_multiple");
  const HandleFunction commit =
      (HandleFunction)(uintptr_t)CaseSymbol(run->client, "isc_commit_transaction");
  const ExecuteFunction execute =
      (ExecuteFunction)(uintptr_t)CaseSymbol(run->client, "isc_dsql_execute_immediate");
  const InterpretFunction interpret =
      (InterpretFunction)(uintptr_t)CaseSymbol(run->client, "fb_interpret");
  if (!attach || !detach || !start || !commit || !execute || !interpret) {
    Fail(run, "the client library lacks an entry point");
    return 0;
  }
  Bytes dpb = {0};
  const char header[] = {isc_dpb_version1};
  Append(&dpb, header, 1);
  const struct {
    char item;
    const char* value;
  } items[] = {{isc_dpb_user_name, "SYSDBA"},
               {isc_dpb_password, run->password},
               {isc_dpb_lc_ctype, "WIN1251"}};
  for (size_t i = 0; i < sizeof items / sizeof items[0]; ++i) {
    const char item[2] = {items[i].item, (char)strlen(items[i].value)};
    Append(&dpb, item, 2);
    Append(&dpb, items[i].value, strlen(items[i].value));
  }
  ISC_STATUS_ARRAY status;
  isc_db_handle db = 0;
  isc_tr_handle transaction = 0;
  struct {
    isc_db_handle* database;
    int tpb_length;
    const char* tpb;
  } block = {&db, 0, NULL};
  const int ok = attach(status, 0, run->database, &db, (short)dpb.size, dpb.data) == 0 &&
                 start(status, &transaction, 1, &block) == 0 &&
                 execute(status, &db, &transaction, 0, sql, 3, NULL) == 0 &&
                 commit(status, &transaction) == 0;
  if (!ok) {
    char text[512];
    const ISC_STATUS* vector = status;
    interpret(text, sizeof text, &vector);
    Fail(run, "statement failed: %s", text);
  }
  free(dpb.data);
  if (db != 0) detach(status, &db);
  return ok;
}

/* --- the steps ---------------------------------------------------------------------------- */

static int WaitForReply(Run* run, int timeout_ms) {
  const long long until = CaseNowMs() + timeout_ms;
  while (atomic_load(&reply_count) <= run->replies_taken) {
    if (CaseNowMs() >= until) return 0;
    CaseSleep(5);
  }
  return 1;
}

static void StepReply(Run* run, int32_t tag, const Bytes* expected) {
  if (!WaitForReply(run, kReplyWaitMs)) {
    Fail(run, "no reply to tag %d within %d ms", (int)tag, kReplyWaitMs);
    return;
  }
  const Reply* reply = &replies[run->replies_taken++];
  if (reply->tag != tag || reply->bytes.size != expected->size ||
      memcmp(reply->bytes.data, expected->data, expected->size) != 0) {
    printf("%s:%d: FAIL: reply tag %d [", run->table, run->line_number, (int)reply->tag);
    PrintBytes(reply->bytes.data, reply->bytes.size);
    printf("], expected tag %d [", (int)tag);
    PrintBytes(expected->data, expected->size);
    printf("]\n");
    ++run->failures;
  }
  if (!reply->nul_after) Fail(run, "no NUL after the reply to tag %d", (int)tag);
  if (reply->user != kUser)
    Fail(run, "user value %u in the reply to tag %d", reply->user, (int)tag);
  if (strcmp(reply->name, run->name) != 0)
    Fail(run, "name [%s] in the reply to tag %d, expected [%s]", reply->name, (int)tag, run->name);
}

/* `log`: a line equal to `expected` after the last one matched since the last start, waited for. */
static void StepLog(Run* run, const Bytes* expected, const char* text) {
  Bytes log = {0};
  const char** lines = NULL;
  const long long until = CaseNowMs() + kLogWaitMs;
  for (;;) {
    const int count = ReadLog(run, &log, &lines);
    const int from =
        run->log_matched > run->lines_before_start ? run->log_matched : run->lines_before_start;
    for (int i = from; i < count; ++i) {
      if (strlen(lines[i]) == expected->size &&
          memcmp(lines[i], expected->data, expected->size) == 0) {
        run->log_matched = i + 1;
        free(log.data);
        free((void*)lines);
        return;
      }
    }
    if (CaseNowMs() >= until) {
      Fail(run, "no log line [%s] after line %d; the lines since the start:", text, from);
      for (int i = run->lines_before_start; i < count; ++i) {
        printf("  %4d ", i);
        PrintBytes(lines[i], strlen(lines[i]));
        printf("\n");
      }
      break;
    }
    CaseSleep(20);
  }
  free(log.data);
  free((void*)lines);
}

/* `nolog`: no line since the last start contains `unwanted`. */
static void StepNoLog(Run* run, const Bytes* unwanted) {
  Bytes log = {0};
  const char** lines = NULL;
  const int count = ReadLog(run, &log, &lines);
  for (int i = run->lines_before_start; i < count; ++i) {
    if (strstr(lines[i], unwanted->data) != NULL)
      Fail(run, "log line %d has [%s]: %s", i, unwanted->data, lines[i]);
  }
  free(log.data);
  free((void*)lines);
}

static void StepStart(Run* run, const char* options) {
  if (!WriteSettings(run, strstr(options, "missing-db") != NULL,
                     strstr(options, "protocol-off") == NULL)) {
    Fail(run, "cannot write the settings file beside %s", run->plugin);
    return;
  }
  Bytes log = {0};
  const char** lines = NULL;
  run->lines_before_start = ReadLog(run, &log, &lines);
  run->log_matched = run->lines_before_start;
  free(log.data);
  free((void*)lines);
  const char* name = NULL;
  run->init(&name, &OnReply, kUser);
  if (name == NULL || strcmp(name, run->name) != 0)
    Fail(run, "Init_Plugin gave the name [%s], expected [%s]", name ? name : "(null)", run->name);
}

static void RunStep(Run* run, char* line) {
  char* rest = strchr(line, ' ');
  if (rest != NULL)
    *rest++ = '\0';
  else
    rest = line + strlen(line);
  Bytes text = {0};
  if (strcmp(line, "start") == 0) {
    StepStart(run, rest);
  } else if (strcmp(line, "finalize") == 0) {
    run->finalize();
  } else if (strcmp(line, "sleep") == 0) {
    CaseSleep(atoi(rest));
  } else if (strcmp(line, "quiet") == 0) {
    if (WaitForReply(run, atoi(rest))) {
      const Reply* reply = &replies[run->replies_taken++];
      Fail(run, "an unexpected reply, tag %d", (int)reply->tag);
    }
  } else if (strcmp(line, "send") == 0 || strcmp(line, "reply") == 0) {
    char* payload = strchr(rest, ' ');
    const int32_t tag = (int32_t)atoi(rest);
    if (payload == NULL || !Decode(run, payload + 1, &text)) {
      Fail(run, "malformed step");
    } else if (line[0] == 's') {
      const int32_t result = run->command(tag, text.data, (uint32_t)text.size);
      if (result != 0) Fail(run, "Command_Plugin(%d) returned %d", (int)tag, (int)result);
    } else {
      StepReply(run, tag, &text);
    }
  } else if (strcmp(line, "log") == 0 || strcmp(line, "nolog") == 0 || strcmp(line, "sql") == 0) {
    if (!Decode(run, rest, &text))
      Fail(run, "malformed text");
    else if (line[0] == 'l')
      StepLog(run, &text, rest);
    else if (line[0] == 'n')
      StepNoLog(run, &text);
    else
      RunSql(run, text.data);
  } else {
    Fail(run, "unknown step [%s]", line);
  }
  free(text.data);
}

int MoxRunCaseTable(const char* table, const char* plugin, const char* database,
                    const char* password, const char* log_root) {
  Run run = {.table = table,
             .plugin = plugin,
             .database = database,
             .password = password,
             .log_root = log_root};
  FILE* file = fopen(table, "rb");
  if (file == NULL) {
    Fail(&run, "cannot read the table");
    return run.failures;
  }
  if (!LoadPlugin(&run)) {
    Fail(&run, "cannot load %s with its four exports", plugin);
    fclose(file);
    return run.failures;
  }
  atomic_store(&reply_count, 0);
  static char line[65536];
  while (fgets(line, sizeof line, file) != NULL) {
    ++run.line_number;
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
      line[--length] = '\0';
    if (length == 0 || line[0] == '#') continue;
    RunStep(&run, line);
  }
  fclose(file);
  ++run.line_number;
  if (atomic_load(&reply_count) >= kMaxReplies) Fail(&run, "more than %d replies", kMaxReplies);
  if (CaseUnloadLibrary(run.library) != 0) Fail(&run, "unloading the plug-in failed");
  if (run.client != NULL) CaseUnloadLibrary(run.client);
  for (int i = 0; i < kMaxReplies; ++i) free(replies[i].bytes.data), replies[i].bytes = (Bytes){0};
  return run.failures;
}
