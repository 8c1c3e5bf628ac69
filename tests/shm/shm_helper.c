/* shm_helper: the second process of the shared-memory tests, written in C against the client
 * library (tarvel_shm.h) so the tests also prove the C interface.
 *
 *   shm_helper read RECORD SUFFIX CODE INDEX TYPE         prints the value; exit = -error code
 *   shm_helper write RECORD SUFFIX CODE INDEX TYPE VALUE
 *   shm_helper hold RECORD SUFFIX MS                      takes the mutex, prints "held", keeps it
 * MS ms shm_helper hold-forever RECORD SUFFIX                 takes the mutex, prints "held", waits
 * to be killed shm_helper acquire SUFFIX NAME                        prints the owner ID (or -1)
 *   shm_helper own SUFFIX NAME                            acquires, prints the ID, waits to be
 * killed shm_helper race SUFFIX NAME                           waits for EOF on stdin, acquires,
 * prints the ID, waits to be killed shm_helper release SUFFIX ID shm_helper owner SUFFIX prints
 * "<id> <name>" shm_helper field RECORD FIELD                         prints "code index type width
 * offset"
 *
 * Raw peers, which use pthread directly on a mutex object ("/Name_MUT") the way a hand-written
 * client following the header might, including its mistakes:
 *   shm_helper raw-hold-forever OBJECT    locks, prints "held", waits to be killed
 *   shm_helper raw-abandon OBJECT         locks, prints "held" and the lock result, waits for EOF
 *                                         on stdin, then unlocks without making the mutex
 *                                         consistent (an abandoned one becomes unrecoverable)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>

#include "tarvel_shm.h"

/* The mutex of a mutex object, mapped straight from /dev/shm. */
static pthread_mutex_t* RawMutex(const char* object) {
  int fd = shm_open(object, O_RDWR, 0);
  void* p;
  if (fd < 0) return NULL;
  p = mmap(NULL, 128, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  return p == MAP_FAILED ? NULL : (pthread_mutex_t*)((char*)p + 64);
}

static int RawPeer(const char* cmd, const char* object) {
  pthread_mutex_t* m = RawMutex(object);
  int rc;
  char c;
  if (!m) {
    fprintf(stderr, "shm_helper: cannot map %s\n", object);
    return 2;
  }
  rc = pthread_mutex_lock(m);
  if (rc != 0 && rc != EOWNERDEAD) {
    fprintf(stderr, "shm_helper: lock %s: %d\n", object, rc);
    return 3;
  }
  printf("held %s\n", rc == EOWNERDEAD ? "EOWNERDEAD" : "0");
  fflush(stdout);
  if (!strcmp(cmd, "raw-hold-forever")) {
    for (;;) pause();
  }
  while (read(0, &c, 1) > 0) {
  }
  /* The mistake under test: no pthread_mutex_consistent before the unlock. */
  rc = pthread_mutex_unlock(m);
  printf("unlocked %d\n", rc);
  return 0;
}

static int Open(const char* record, const char* suffix, tarvel_shm** h) {
  int rc = tarvel_shm_open(record, suffix, 0, h);
  if (rc != TARVEL_SHM_OK)
    fprintf(stderr, "shm_helper: open %s%s failed: %d\n", record, suffix, rc);
  return rc;
}

static int Fail(tarvel_shm* h, int rc) {
  fprintf(stderr, "shm_helper: error %d: %s\n", rc, tarvel_shm_last_error(h));
  tarvel_shm_close(h);
  return -rc;
}

static int HoldFor(unsigned char* data, size_t size, void* ctx) {
  long ms = *(long*)ctx;
  struct timespec t;
  (void)data;
  (void)size;
  printf("held\n");
  fflush(stdout);
  if (ms < 0) {
    for (;;) pause();
  }
  t.tv_sec = ms / 1000;
  t.tv_nsec = (ms % 1000) * 1000000L;
  nanosleep(&t, NULL);
  return TARVEL_SHM_OK;
}

static int Read(const char* record, const char* suffix, int code, int index, int type) {
  tarvel_shm* h = NULL;
  int rc = Open(record, suffix, &h);
  if (rc != TARVEL_SHM_OK) return -rc;
  switch (type) {
    case TARVEL_SHM_BYTE: {
      uint8_t v = 0;
      rc = tarvel_shm_read_u8(h, code, index, &v);
      if (rc == TARVEL_SHM_OK) printf("%u\n", v);
      break;
    }
    case TARVEL_SHM_INT16: {
      int16_t v = 0;
      rc = tarvel_shm_read_i16(h, code, index, &v);
      if (rc == TARVEL_SHM_OK) printf("%d\n", v);
      break;
    }
    case TARVEL_SHM_INT32: {
      int32_t v = 0;
      rc = tarvel_shm_read_i32(h, code, index, &v);
      if (rc == TARVEL_SHM_OK) printf("%d\n", v);
      break;
    }
    case TARVEL_SHM_DOUBLE:
    case TARVEL_SHM_EXTENDED: {
      double v = 0;
      rc = type == TARVEL_SHM_DOUBLE ? tarvel_shm_read_f64(h, code, index, &v)
                                     : tarvel_shm_read_ext(h, code, index, &v);
      if (rc == TARVEL_SHM_OK) printf("%.17g\n", v);
      break;
    }
    default:
      rc = TARVEL_SHM_ERR_ARG;
  }
  if (rc != TARVEL_SHM_OK) return Fail(h, rc);
  tarvel_shm_close(h);
  return 0;
}

static int Write(const char* record, const char* suffix, int code, int index, int type,
                 const char* value) {
  tarvel_shm* h = NULL;
  int rc = Open(record, suffix, &h);
  if (rc != TARVEL_SHM_OK) return -rc;
  switch (type) {
    case TARVEL_SHM_BYTE:
      rc = tarvel_shm_write_u8(h, code, index, (uint8_t)strtol(value, NULL, 0));
      break;
    case TARVEL_SHM_INT16:
      rc = tarvel_shm_write_i16(h, code, index, (int16_t)strtol(value, NULL, 0));
      break;
    case TARVEL_SHM_INT32:
      rc = tarvel_shm_write_i32(h, code, index, (int32_t)strtol(value, NULL, 0));
      break;
    case TARVEL_SHM_DOUBLE:
      rc = tarvel_shm_write_f64(h, code, index, strtod(value, NULL));
      break;
    case TARVEL_SHM_EXTENDED:
      rc = tarvel_shm_write_ext(h, code, index, strtod(value, NULL));
      break;
    default:
      rc = TARVEL_SHM_ERR_ARG;
  }
  if (rc != TARVEL_SHM_OK) return Fail(h, rc);
  tarvel_shm_close(h);
  return 0;
}

int main(int argc, char** argv) {
  const char* cmd = argc > 1 ? argv[1] : "";
  if (!strcmp(cmd, "read") && argc == 7) {
    return Read(argv[2], argv[3], atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
  }
  if (!strcmp(cmd, "write") && argc == 8) {
    return Write(argv[2], argv[3], atoi(argv[4]), atoi(argv[5]), atoi(argv[6]), argv[7]);
  }
  if ((!strcmp(cmd, "hold") && argc == 5) || (!strcmp(cmd, "hold-forever") && argc == 4)) {
    tarvel_shm* h = NULL;
    long ms = argc == 5 ? atol(argv[4]) : -1;
    int rc = Open(argv[2], argv[3], &h);
    if (rc != TARVEL_SHM_OK) return -rc;
    rc = tarvel_shm_access(h, HoldFor, &ms);
    if (rc != TARVEL_SHM_OK) return Fail(h, rc);
    tarvel_shm_close(h);
    return 0;
  }
  if ((!strcmp(cmd, "acquire") || !strcmp(cmd, "race")) && argc == 4) {
    tarvel_shm* h = NULL;
    int32_t id = 0;
    int rc = Open("OrvoStageData", argv[2], &h);
    if (rc != TARVEL_SHM_OK) return -rc;
    if (!strcmp(cmd, "race")) {
      char c;
      while (read(0, &c, 1) > 0) {
      }
    }
    rc = tarvel_shm_acquire_stage_owner(h, argv[3], &id);
    if (rc != TARVEL_SHM_OK) return Fail(h, rc);
    printf("%d\n", id);
    if (!strcmp(cmd, "race")) {
      /* A winner that ended would be a dead owner, whom the next racer may replace. */
      fflush(stdout);
      for (;;) pause();
    }
    tarvel_shm_close(h);
    return 0;
  }
  if (!strcmp(cmd, "own") && argc == 4) {
    tarvel_shm* h = NULL;
    int32_t id = 0;
    int rc = Open("OrvoStageData", argv[2], &h);
    if (rc != TARVEL_SHM_OK) return -rc;
    rc = tarvel_shm_acquire_stage_owner(h, argv[3], &id);
    if (rc != TARVEL_SHM_OK) return Fail(h, rc);
    printf("%d\n", id);
    fflush(stdout);
    for (;;) pause();
  }
  if (!strcmp(cmd, "release") && argc == 4) {
    tarvel_shm* h = NULL;
    int rc = Open("OrvoStageData", argv[2], &h);
    if (rc != TARVEL_SHM_OK) return -rc;
    rc = tarvel_shm_release_stage_owner(h, (int32_t)atoi(argv[3]));
    if (rc != TARVEL_SHM_OK) return Fail(h, rc);
    tarvel_shm_close(h);
    return 0;
  }
  if (!strcmp(cmd, "owner") && argc == 3) {
    tarvel_shm* h = NULL;
    char name[128];
    int32_t id = 0;
    int rc = Open("OrvoStageData", argv[2], &h);
    if (rc != TARVEL_SHM_OK) return -rc;
    rc = tarvel_shm_stage_owner_name(h, name, sizeof name);
    if (rc == TARVEL_SHM_OK) rc = tarvel_shm_read_i32(h, 4, 23, &id);
    if (rc != TARVEL_SHM_OK) return Fail(h, rc);
    printf("%d %s\n", id, name);
    tarvel_shm_close(h);
    return 0;
  }
  if (!strcmp(cmd, "field") && argc == 4) {
    tarvel_shm_field f;
    int index = 0;
    int rc = tarvel_shm_find_field(argv[2], argv[3], &f, &index);
    if (rc != TARVEL_SHM_OK) return -rc;
    printf("%d %d %d %d %ld\n", f.code, index, f.type, f.width, tarvel_shm_offset(f.code, index));
    return 0;
  }
  if ((!strcmp(cmd, "raw-hold-forever") || !strcmp(cmd, "raw-abandon")) && argc == 3) {
    return RawPeer(cmd, argv[2]);
  }
  fprintf(stderr, "shm_helper: bad arguments\n");
  return 100;
}
