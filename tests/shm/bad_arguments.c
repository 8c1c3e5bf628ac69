/* bad_arguments: a C program that calls every entry point of the client library with bad
 * arguments (NULLs, unknown records, codes and indexes out of range, byte counts far past the
 * section) and checks that each returns its error code, changes nothing and aborts nothing.
 * Before, a read of (size_t)-1 bytes let std::length_error out of the library and killed the
 * caller. Runs on private objects ("_cargs<pid>") and removes them. Exit 0 when all hold. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "tarvel_shm.h"

static int failures = 0;

#define EXPECT_RC(call, want)                                                                 \
  do {                                                                                        \
    int rc_ = (call);                                                                         \
    if (rc_ != (want)) {                                                                      \
      fprintf(stderr, "%s:%d: %s gave %d, not %d\n", __FILE__, __LINE__, #call, rc_, (want)); \
      ++failures;                                                                             \
    }                                                                                         \
  } while (0)

#define EXPECT_TRUE(cond)                                                      \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

int main(void) {
  char suffix[32];
  char object[96];
  const char* records[] = {"OrvoMonitorData", "OrvoIonData", "OrvoStageData", "MonitoringSEMData",
                           "CanDialData"};
  tarvel_shm* h = NULL;
  tarvel_shm* stage = NULL;
  tarvel_shm_field f;
  unsigned char buf[16];
  unsigned char* big;
  int32_t i32 = 7;
  int16_t i16 = 7;
  double d = 7;
  int index = 0;
  size_t r;

  snprintf(suffix, sizeof suffix, "_cargs%d", (int)getpid());

  /* Versions: the header this was compiled with and the library agree. */
  EXPECT_TRUE(tarvel_shm_version() == TARVEL_SHM_VERSION);
  EXPECT_TRUE(tarvel_shm_layout_id() == TARVEL_SHM_LAYOUT_ID);

  /* Opening. */
  EXPECT_RC(tarvel_shm_open(NULL, suffix, 0, &h), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_open("CanDialData", suffix, 0, NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_open("NoSuchRecord", suffix, 0, &h), TARVEL_SHM_ERR_ARG);
  EXPECT_TRUE(strstr(tarvel_shm_open_error(), "NoSuchRecord") != NULL);
  EXPECT_RC(tarvel_shm_open("CanDialData", suffix, 0x100, &h), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_open("CanDialData", suffix, 0, &h), TARVEL_SHM_ERR_NOTFOUND);
  EXPECT_TRUE(h == NULL);
  EXPECT_TRUE(tarvel_shm_open_error()[0] != '\0');
  EXPECT_RC(tarvel_shm_open("CanDialData", suffix, TARVEL_SHM_CREATE, &h), TARVEL_SHM_OK);
  if (!h) return 1;
  EXPECT_TRUE(tarvel_shm_size(h) == 44);

  /* Byte counts and indexes are checked before anything is copied. */
  memset(buf, 0x5A, sizeof buf);
  EXPECT_RC(tarvel_shm_read(h, 26, 2, buf, (size_t)-1), TARVEL_SHM_ERR_RANGE);
  EXPECT_RC(tarvel_shm_write(h, 26, 2, buf, (size_t)-1), TARVEL_SHM_ERR_RANGE);
  EXPECT_RC(tarvel_shm_read(h, 26, 2, buf, (size_t)1 << 40), TARVEL_SHM_ERR_RANGE);
  EXPECT_RC(tarvel_shm_write(h, 26, 10, buf, 8), TARVEL_SHM_ERR_RANGE); /* 40 + 8 > 44 */
  EXPECT_RC(tarvel_shm_read(h, 26, 0, buf, 45), TARVEL_SHM_ERR_RANGE);
  EXPECT_TRUE(buf[0] == 0x5A && buf[15] == 0x5A);
  big = malloc(4096);
  EXPECT_RC(tarvel_shm_read(h, 26, 0, big, 4096), TARVEL_SHM_ERR_RANGE);
  free(big);
  EXPECT_RC(tarvel_shm_read(h, 26, 0, NULL, 4), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_write(h, 26, 0, NULL, 4), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_read(h, -1, 0, buf, 4), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_read(h, 256, 0, buf, 4), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_read(h, 99, 0, buf, 4), TARVEL_SHM_ERR_RANGE);
  EXPECT_RC(tarvel_shm_read_i32(h, 4, 0, &i32), TARVEL_SHM_ERR_RANGE); /* another record's code */
  EXPECT_RC(tarvel_shm_read_i32(h, 26, 2, NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_read_i32(h, 26, 0x7FFFFFFF, &i32), TARVEL_SHM_OK); /* the default index */
  EXPECT_RC(tarvel_shm_read_i16(h, 26, 2, &i16), TARVEL_SHM_ERR_RANGE);   /* a 32-bit field */
  EXPECT_TRUE(i16 == 7);
  EXPECT_RC(tarvel_shm_read_f64(h, 26, 10, &d), TARVEL_SHM_ERR_RANGE); /* 8 bytes at 40 */
  EXPECT_TRUE(d == 7);
  EXPECT_RC(tarvel_shm_read_ext(h, 26, 2, NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_read_u8(NULL, 26, 2, buf), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_write_i32(NULL, 26, 2, 1), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_access(h, NULL, NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_access(NULL, NULL, NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_TRUE(tarvel_shm_last_error(h)[0] != '\0');
  EXPECT_TRUE(tarvel_shm_offset(-5, 0) == -1 && tarvel_shm_offset(1000, 0) == -1);
  EXPECT_TRUE(tarvel_shm_offset(19, -1) == -1 && tarvel_shm_offset(19, 151) == -1);
  EXPECT_TRUE(tarvel_shm_size(NULL) == 0 && tarvel_shm_section_name(NULL)[0] == '\0');
  tarvel_shm_set_timeout(NULL, 5);
  tarvel_shm_set_timeout(h, -100);

  /* Stage calls on another record, and bad arguments on the stage record. */
  EXPECT_RC(tarvel_shm_acquire_stage_owner(h, "x", &i32), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_release_stage_owner(h, 1), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_stage_owner_name(h, (char*)buf, sizeof buf), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_open("OrvoStageData", suffix, TARVEL_SHM_CREATE, &stage), TARVEL_SHM_OK);
  EXPECT_RC(tarvel_shm_acquire_stage_owner(stage, NULL, &i32), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_acquire_stage_owner(stage, "x", NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_stage_owner_name(stage, NULL, 10), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_stage_owner_name(stage, (char*)buf, 0), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_release_stage_owner(NULL, 1), TARVEL_SHM_ERR_ARG);

  /* The catalogue. */
  EXPECT_TRUE(tarvel_shm_field_count(NULL) == 0 && tarvel_shm_field_count("x") == 0);
  EXPECT_TRUE(tarvel_shm_record_at(-1) == NULL && tarvel_shm_record_at(5) == NULL);
  EXPECT_TRUE(strcmp(tarvel_shm_record_at(4), "CanDialData") == 0);
  EXPECT_RC(tarvel_shm_field_at("OrvoStageData", -1, &f), TARVEL_SHM_ERR_RANGE);
  EXPECT_RC(tarvel_shm_field_at("OrvoStageData", 1000, &f), TARVEL_SHM_ERR_RANGE);
  EXPECT_RC(tarvel_shm_field_at("OrvoStageData", 0, NULL), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_field_at(NULL, 0, &f), TARVEL_SHM_ERR_ARG);
  EXPECT_TRUE(tarvel_shm_element_name("OrvoStageData", 99, 0) == NULL);
  EXPECT_TRUE(tarvel_shm_element_name("OrvoStageData", 2, -1) == NULL);
  EXPECT_TRUE(tarvel_shm_element_name(NULL, 0, 0) == NULL);
  EXPECT_RC(tarvel_shm_find_field("OrvoStageData", "Position[", &f, &index), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_find_field("OrvoStageData", "Position[99999999999]", &f, &index),
            TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_find_field("OrvoStageData", "]", &f, &index), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_find_field("OrvoStageData", "", &f, &index), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_find_field(NULL, "Moving", &f, &index), TARVEL_SHM_ERR_ARG);
  EXPECT_RC(tarvel_shm_find_field("OrvoStageData", "Moving", NULL, &index), TARVEL_SHM_ERR_ARG);
  tarvel_shm_ext_encode(1.0, NULL);
  EXPECT_TRUE(tarvel_shm_ext_decode(NULL) == 0.0);
  tarvel_shm_close(NULL);

  tarvel_shm_close(stage);
  tarvel_shm_close(h);
  for (r = 0; r < sizeof records / sizeof records[0]; ++r) {
    snprintf(object, sizeof object, "/%s%s", records[r], suffix);
    shm_unlink(object);
    strncat(object, "_MUT", sizeof object - strlen(object) - 1);
    shm_unlink(object);
  }
  snprintf(object, sizeof object, "/OrvoStageData%s_OWNER", suffix);
  shm_unlink(object);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  return failures ? 1 : 0;
}
