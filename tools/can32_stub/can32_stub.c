/* Stand-in for the CAN interface library: answers every entry point and records each call, so
 * tests (and a machine without the panel) can run the dial link. The journal is kept in memory
 * (read back through can32_stub_*) and, when TARVEL_CAN32_JOURNAL names a file, appended there
 * one line per call. Built without SendCanObj and CANOpen (CAN32_STUB_PARTIAL) it stands for an
 * incomplete library. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "shm/can32_api.h"

#define EXPORT __attribute__((visibility("default")))
#define JOURNAL_MAX 4096

static char journal[JOURNAL_MAX][64];
static int journal_count = 0;

static void record(const char* line) {
  if (journal_count < JOURNAL_MAX) {
    strncpy(journal[journal_count], line, sizeof journal[0] - 1);
    journal[journal_count][sizeof journal[0] - 1] = 0;
    ++journal_count;
  }
  const char* path = getenv("TARVEL_CAN32_JOURNAL");
  if (path && *path) {
    FILE* f = fopen(path, "a");
    if (f) {
      fprintf(f, "%s\n", line);
      fclose(f);
    }
  }
}

#ifndef CAN32_STUB_PARTIAL
EXPORT void CANOpen(void) { record("CANOpen"); }
#endif

EXPORT void CANClose(void) { record("CANClose"); }

EXPORT uint8_t CanSetBaudrate(uint8_t code) {
  char line[64];
  snprintf(line, sizeof line, "CanSetBaudrate %u", code);
  record(line);
  return 0;
}

EXPORT uint8_t InitCan(uint8_t channel) {
  char line[64];
  snprintf(line, sizeof line, "InitCan %u", channel);
  record(line);
  return 0;
}

EXPORT uint8_t GetCanIDRcv(void) { return 0; }
EXPORT uint8_t GetCanIDStatus(void) { return 0; }

#ifndef CAN32_STUB_PARTIAL
/* "SendCanObj 0502 6 34 12 56 00 07 00"; answers TARVEL_CAN32_SEND_STATUS (default 0). */
EXPORT uint8_t SendCanObj(CanObj* obj) {
  char line[64];
  int n = snprintf(line, sizeof line, "SendCanObj %04X %u", obj->id, obj->dlc);
  for (int i = 0; i < obj->dlc && i < 8 && n < (int)sizeof line - 4; ++i)
    n += snprintf(line + n, sizeof line - (size_t)n, " %02X", obj->data[i]);
  record(line);
  const char* status = getenv("TARVEL_CAN32_SEND_STATUS");
  return status ? (uint8_t)atoi(status) : 0;
}
#endif

/* Test access to the journal. */
EXPORT int can32_stub_count(void) { return journal_count; }
EXPORT const char* can32_stub_line(int i) {
  return i >= 0 && i < journal_count ? journal[i] : "";
}
EXPORT void can32_stub_reset(void) { journal_count = 0; }
