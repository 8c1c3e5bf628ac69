/* tarvel_shm.h: client library for the Tarvel server's shared records (libtarvel_shm.so).
 *
 * The server publishes machine state in five named shared-memory sections, each guarded by a
 * named mutex that every reader and writer must hold around each access:
 *
 *   record              size   field codes
 *   "OrvoMonitorData"   3872   all codes but 4, 8, 20, 21, 26
 *   "OrvoIonData"        172   8
 *   "OrvoStageData"      228   4
 *   "MonitoringSEMData"  600   20, 21
 *   "CanDialData"         44   26
 *
 * Protocol (Linux): section "Name" is the POSIX shared-memory object "/Name" (/dev/shm/Name),
 * little-endian, "extended" values in the 10-byte x87 format. Its mutex "Name_MUT" is the
 * object "/Name_MUT" of 128 bytes: an 8-byte initialisation word at offset 0 (low 32 bits 0
 * fresh, 1 being initialised, 2 ready; high 32 bits the initialiser's pid) and a process-shared,
 * robust, recursive pthread_mutex_t at offset 64. Whoever moves the word from 0 to 1 initialises
 * the mutex and stores 2. A wait is bounded (100 ms by default); a holder that died is taken over
 * (EOWNERDEAD, then pthread_mutex_consistent). This library implements exactly that protocol
 * with the server's own code, so using it is the simplest way to stay compatible.
 *
 * A field is addressed by (code, index) as in the server's record layouts; tarvel_shm_offset
 * gives its byte offset. Indexes outside a field's area take the area's default offset where it
 * has one and are refused otherwise, so no access reaches a neighbouring field or passes the end
 * of the section. Every read or write below is one access under the mutex.
 *
 * Names: with a non-NULL `suffix` (or, when it is NULL, the environment variable
 * TARVEL_SHM_SUFFIX) the objects are "/<record><suffix>" and "/<record><suffix>_MUT", so tests
 * can run private copies. Production uses no suffix.
 *
 * Errors: every int-returning call gives TARVEL_SHM_OK (0) or a negative code; after a failure
 * nothing was transferred and output arguments are unchanged. tarvel_shm_last_error tells why.
 * A handle is not thread-safe: use one per thread. Nothing is ever unlinked.
 */
#ifndef TARVEL_SHM_H
#define TARVEL_SHM_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define TARVEL_SHM_API __attribute__((visibility("default")))
#else
#define TARVEL_SHM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define TARVEL_SHM_OK 0
#define TARVEL_SHM_ERR_TIMEOUT (-1)  /* the mutex was not obtained in time; access skipped */
#define TARVEL_SHM_ERR_RANGE (-2)    /* index refused, code of another record, or past the end */
#define TARVEL_SHM_ERR_NOTFOUND (-3) /* the section does not exist (server not started) */
#define TARVEL_SHM_ERR_ARG (-4)      /* bad argument: NULL, unknown record or field, bad type */
#define TARVEL_SHM_ERR_SYSTEM (-5)   /* an operating-system call failed */

/* Value types of the records. */
#define TARVEL_SHM_BYTE 0
#define TARVEL_SHM_INT16 1
#define TARVEL_SHM_INT32 2
#define TARVEL_SHM_WORD32 3
#define TARVEL_SHM_DOUBLE 4
#define TARVEL_SHM_EXTENDED 5
#define TARVEL_SHM_BLOCK 6

/* Open flags. */
#define TARVEL_SHM_CREATE 1 /* create the section (zero-filled) when it does not exist */

typedef struct tarvel_shm tarvel_shm;

/* Opens one of the five records. On success *out is a handle to free with tarvel_shm_close. */
TARVEL_SHM_API int tarvel_shm_open(const char* record, const char* suffix, int flags,
                                   tarvel_shm** out);
TARVEL_SHM_API void tarvel_shm_close(tarvel_shm* h);

/* The section's object name ("OrvoStageData" plus suffix) and its usable size in bytes. */
TARVEL_SHM_API const char* tarvel_shm_section_name(const tarvel_shm* h);
TARVEL_SHM_API size_t tarvel_shm_size(const tarvel_shm* h);
/* The message of the last failure on this handle ("" if none). Valid until the next call. */
TARVEL_SHM_API const char* tarvel_shm_last_error(const tarvel_shm* h);
/* The mutex wait bound in milliseconds (default 100). */
TARVEL_SHM_API void tarvel_shm_set_timeout(tarvel_shm* h, int timeout_ms);

/* The byte offset of (code, index) in its record, or -1 when the access is refused. */
TARVEL_SHM_API long tarvel_shm_offset(int code, int index);

/* n bytes at (code, index). */
TARVEL_SHM_API int tarvel_shm_read(tarvel_shm* h, int code, int index, void* dst, size_t n);
TARVEL_SHM_API int tarvel_shm_write(tarvel_shm* h, int code, int index, const void* src, size_t n);

/* Typed fields. Extended fields travel as doubles and are converted by the library. */
TARVEL_SHM_API int tarvel_shm_read_u8(tarvel_shm* h, int code, int index, uint8_t* v);
TARVEL_SHM_API int tarvel_shm_read_i16(tarvel_shm* h, int code, int index, int16_t* v);
TARVEL_SHM_API int tarvel_shm_read_i32(tarvel_shm* h, int code, int index, int32_t* v);
TARVEL_SHM_API int tarvel_shm_read_f64(tarvel_shm* h, int code, int index, double* v);
TARVEL_SHM_API int tarvel_shm_read_ext(tarvel_shm* h, int code, int index, double* v);
TARVEL_SHM_API int tarvel_shm_write_u8(tarvel_shm* h, int code, int index, uint8_t v);
TARVEL_SHM_API int tarvel_shm_write_i16(tarvel_shm* h, int code, int index, int16_t v);
TARVEL_SHM_API int tarvel_shm_write_i32(tarvel_shm* h, int code, int index, int32_t v);
TARVEL_SHM_API int tarvel_shm_write_f64(tarvel_shm* h, int code, int index, double v);
TARVEL_SHM_API int tarvel_shm_write_ext(tarvel_shm* h, int code, int index, double v);

/* Runs fn with the mutex held: `data` is the section, `size` its usable size. fn must not keep
 * the pointer. Returns fn's result, or an error code when the mutex was not obtained (fn then
 * does not run). */
typedef int (*tarvel_shm_access_fn)(unsigned char* data, size_t size, void* context);
TARVEL_SHM_API int tarvel_shm_access(tarvel_shm* h, tarvel_shm_access_fn fn, void* context);

/* Stage ownership on an "OrvoStageData" handle, each one access. acquire: *id = the new owner ID
 * 1..999, or -1 when someone owns the stage already; `name` is CP932 text, at most 99 bytes are
 * stored. release: frees the slot when `id` is the stored ID. */
TARVEL_SHM_API int tarvel_shm_acquire_stage_owner(tarvel_shm* h, const char* name, int32_t* id);
TARVEL_SHM_API int tarvel_shm_release_stage_owner(tarvel_shm* h, int32_t id);
/* Copies the owner name (up to its NUL within the 100-byte field) with a terminator. */
TARVEL_SHM_API int tarvel_shm_stage_owner_name(tarvel_shm* h, char* buf, size_t size);

/* The 10-byte x87 extended format. */
TARVEL_SHM_API void tarvel_shm_ext_encode(double v, unsigned char out[10]);
TARVEL_SHM_API double tarvel_shm_ext_decode(const unsigned char in[10]);

/* Field catalogue: named fields of a record, as tarvel-shm prints them. */
typedef struct tarvel_shm_field {
  const char* name; /* "Position" */
  int code;
  int index;   /* record index of the first element */
  int count;   /* elements; 1 for a single field */
  int type;    /* TARVEL_SHM_BYTE .. TARVEL_SHM_BLOCK */
  int width;   /* bytes of one element */
  int is_text; /* a block of NUL-terminated CP932 text */
} tarvel_shm_field;

/* The number of fields of a record (0 for an unknown record) and field i of it. */
TARVEL_SHM_API int tarvel_shm_field_count(const char* record);
TARVEL_SHM_API int tarvel_shm_field_at(const char* record, int i, tarvel_shm_field* out);
/* Key name of element k of field i ("ROT_CENTER_X"), or NULL when it has none. */
TARVEL_SHM_API const char* tarvel_shm_element_name(const char* record, int i, int k);
/* Resolves "Name", "Name[index]" or "Name[KEY]" to its field and record index. */
TARVEL_SHM_API int tarvel_shm_find_field(const char* record, const char* text,
                                         tarvel_shm_field* out, int* index);

#ifdef __cplusplus
}
#endif

#endif /* TARVEL_SHM_H */
