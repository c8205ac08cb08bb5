/* LogClient.dll under wine: lines sent through its exports arrive at receivers on 127.0.0.1 that
 * this program opens itself, over UDP and over TCP (octet counting), with every field; parameters
 * it cannot serve are refused. Usage: log_client_round_trip.exe <LogClient.dll> */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <winsock2.h> /* with windows.h, after the socket declarations */

typedef int32_t(__stdcall* InitializeFunction)(const char*, int32_t);
typedef int32_t(__stdcall* MessageFunction)(double, const char*, const char*, const char*,
                                            const char*);
typedef void(__stdcall* FinalizeFunction)(void);

static int failures;
static void Check(int ok, const char* what, const char* seen) {
  if (!ok) printf("FAIL: %s [%s]\n", what, seen), ++failures;
}

/* A socket on a free port of 127.0.0.1, listening when it is a stream; its port in *port. */
static SOCKET OpenReceiver(int type, int* port) {
  SOCKET s = socket(AF_INET, type, 0);
  struct sockaddr_in address = {0};
  int size = sizeof address;
  DWORD timeout_ms = 5000;
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, (struct sockaddr*)&address, sizeof address);
  if (type == SOCK_STREAM) listen(s, 1);
  getsockname(s, (struct sockaddr*)&address, &size);
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout_ms, sizeof timeout_ms);
  *port = ntohs(address.sin_port);
  return s;
}

int main(int argc, char** argv) {
  static const struct {
    int type;
    const char* scheme;
    const char* options;
    const char* pri_and_app[2];
  } kCases[] = {{SOCK_DGRAM, "udp", "", {"<14>", "host.exe"}},
                {SOCK_STREAM, "tcp", ";app=mox-test;facility=local0", {"<134>", "mox-test"}}};
  WSADATA wsa;
  char host[256] = "", params[128], expected[512], got[1024];
  HMODULE dll = argc == 2 ? LoadLibraryA(argv[1]) : NULL;
  if (dll == NULL || WSAStartup(MAKEWORD(2, 2), &wsa) != 0 || gethostname(host, sizeof host) != 0) {
    printf("FAIL: cannot load %s or start Winsock\n", argc == 2 ? argv[1] : "(no argument)");
    return 1;
  }
  InitializeFunction initialize =
      (InitializeFunction)(void (*)(void))GetProcAddress(dll, "DLL_Initialize");
  MessageFunction message =
      (MessageFunction)(void (*)(void))GetProcAddress(dll, "DLL_MessageToLogServer");
  FinalizeFunction finalize = (FinalizeFunction)(void (*)(void))GetProcAddress(dll, "DLL_Finalize");
  Check(initialize && message && finalize, "exports by their plain names", argv[1]);
  if (failures) return 1;

  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    int port = 0, length = 0, received = 0, part;
    SOCKET receiver = OpenReceiver(kCases[i].type, &port), peer = receiver;
    snprintf(params, sizeof params, "%s://127.0.0.1:%d%s", kCases[i].scheme, port,
             kCases[i].options);
    Check((initialize(params, 500) & 0xFF) != 0, "DLL_Initialize", params);
    /* 45000.5: 15 March 2023, noon, local time. */
    Check((message(45000.5, "host.exe", "apMoxSettingsManager.dll", "Init: ",
                   "a\x01"
                   "b\r\nc") &
           0xFF) != 0,
          "DLL_MessageToLogServer", params);
    if (kCases[i].type == SOCK_STREAM) peer = accept(receiver, NULL, NULL);
    while ((part = recv(peer, got + received, (int)sizeof got - 1 - received, 0)) > 0) {
      received += part;
      if (kCases[i].type == SOCK_DGRAM || (sscanf(got, "%d ", &length) == 1 &&
                                           received >= length + (int)(strchr(got, ' ') - got) + 1))
        break;
    }
    got[received > 0 ? received : 0] = '\0';
    const char* text =
        kCases[i].type == SOCK_STREAM && strchr(got, ' ') ? strchr(got, ' ') + 1 : got;
    Check(kCases[i].type == SOCK_DGRAM || length == (int)strlen(text), "octet count", got);
    snprintf(expected, sizeof expected, "%s1 2023-03-15T12:00:00.000", kCases[i].pri_and_app[0]);
    Check(strncmp(text, expected, strlen(expected)) == 0, expected, text);
    text += strlen(text) >= strlen(expected) + 6 ? strlen(expected) : 0;
    Check((text[0] == '+' || text[0] == '-') && text[3] == ':', "UTC offset as +HH:MM", text);
    snprintf(expected, sizeof expected, " %s %s %lu apMoxSettingsManager.dll - Init: a\\x01b\\nc",
             host, kCases[i].pri_and_app[1], GetCurrentProcessId());
    Check(strcmp(text + (strlen(text) >= 6 ? 6 : 0), expected) == 0, expected, text);
    finalize();
    if (peer != receiver) closesocket(peer);
    closesocket(receiver);
  }
  /* No Unix-domain sockets on Windows, and unreadable parameters: refused, messages too. */
  Check((initialize("unix:/dev/log", 500) & 0xFF) == 0, "unix: refused", "unix:/dev/log");
  Check((message(45000.5, "host.exe", "m", "", "x") & 0xFF) == 0, "message refused", "unix:");
  Check((initialize("smtp://127.0.0.1", 500) & 0xFF) == 0, "bad parameters refused", "smtp://");
  finalize();
  printf(failures ? "%d check(s) failed\n" : "ok: LogClient.dll round trips passed\n", failures);
  return failures ? 1 : 0;
}
