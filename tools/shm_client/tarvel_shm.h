/* tarvel_shm.h: client library for the Tarvel server's shared records (libtarvel_shm.so.1).
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
 * mode 0660 (the server's user and group may open it; every object is opened read-write),
 * little-endian, "extended" values in the 10-byte x87 format. Its mutex "Name_MUT" is the
 * object "/Name_MUT" of 128 bytes: an 8-byte initialisation word at offset 0 (low 32 bits 0
 * fresh, 1 being initialised, 2 ready; high 32 bits the initialiser's pid while 1, a generation
 * while 2) and a process-shared, robust, recursive pthread_mutex_t at offset 64. Whoever moves
 * the word from 0 to 1 initialises the mutex and stores 2. A wait is bounded (100 ms by default)
 * on CLOCK_MONOTONIC; a holder that died is taken over (EOWNERDEAD, then
 * pthread_mutex_consistent); a mutex a peer left unrecoverable (ENOTRECOVERABLE) is initialised
 * afresh by whoever moves the word from the generation it failed on to 1; a word left at 1 by a
 * dead pid, or for more than a second, is taken over the same way.
 *
 * The pthread_mutex_t is glibc's in-memory object: a peer must use the same C library and word
 * size as the server (64-bit glibc on Linux). Use this library rather than the raw protocol; it
 * implements exactly that protocol with the server's own code.
 *
 * An object that exists already is adopted only when it has mode 0660 (or narrower) and at least
 * the record's size; a mismatch is an error naming the object (TARVEL_SHM_ERR_UNFIT), and nothing
 * is written into it. The server adopts only objects of its own user with mode exactly 0660: a
 * client that creates records (TARVEL_SHM_CREATE) before the server starts must run as the
 * server's user, or the server refuses them until they are removed.
 *
 * A field is addressed by (code, index) as in the field list below; tarvel_shm_offset gives its
 * byte offset. Indexes outside a field's area take the area's default offset where it has one
 * and are refused otherwise, so no access reaches past the end of the section. A typed access
 * (tarvel_shm_read_i16 and the like) must match the width of the field's type and is refused
 * otherwise (TARVEL_SHM_ERR_RANGE); EXTENDED fields are read and written with _ext. A block access
 * of n bytes may cover several consecutive fields; n is checked against the section before
 * anything is copied. Every read or write below is one access under the mutex.
 *
 * Names: with a non-NULL `suffix` (or, when it is NULL, the environment variable
 * TARVEL_SHM_SUFFIX) the objects are "/<record><suffix>" and "/<record><suffix>_MUT", so tests
 * can run private copies. Production uses no suffix.
 *
 * Errors: every int-returning call gives TARVEL_SHM_OK (0) or a negative code; after a failure
 * nothing was transferred and output arguments are unchanged. tarvel_shm_last_error tells why
 * (tarvel_shm_open_error for a failed open). No call lets a C++ exception out, and none aborts on
 * a bad argument. A handle is not thread-safe: use one per thread. Nothing is ever unlinked.
 *
 * Versions: the library's soname changes with TARVEL_SHM_VERSION_MAJOR. tarvel_shm_version()
 * and tarvel_shm_layout_id() tell what the loaded library implements; a client compiled with
 * another TARVEL_SHM_LAYOUT_ID than the library returns sees other field codes or offsets.
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
#define TARVEL_SHM_ERR_SYSTEM (-5)   /* an operating-system call failed, or no memory */
/* The mutex object is being initialised by another process right now; access skipped, retry. */
#define TARVEL_SHM_ERR_BUSY (-6)
/* An existing object has the wrong owner, mode or size and was refused (the open error names
 * it). */
#define TARVEL_SHM_ERR_UNFIT (-7)

/* Version of this interface: major.minor.patch, and as one number. */
#define TARVEL_SHM_VERSION_MAJOR 1
#define TARVEL_SHM_VERSION_MINOR 1
#define TARVEL_SHM_VERSION_PATCH 0
#define TARVEL_SHM_VERSION \
  ((TARVEL_SHM_VERSION_MAJOR << 16) | (TARVEL_SHM_VERSION_MINOR << 8) | TARVEL_SHM_VERSION_PATCH)
/* Identifies the field list below (a hash of it); changes with any name, code, index, type or
 * offset. */
#define TARVEL_SHM_LAYOUT_ID 0xede4a73au

/* Field codes (the field list below gives their indexes, types and offsets). */
#define TARVEL_SHM_CODE_POWER_MODE 0       /* OrvoMonitorData */
#define TARVEL_SHM_CODE_STAGE_CONSTANT 1   /* OrvoMonitorData */
#define TARVEL_SHM_CODE_APERTURE 3         /* OrvoMonitorData */
#define TARVEL_SHM_CODE_STAGE 4            /* OrvoStageData */
#define TARVEL_SHM_CODE_VACUUM 5           /* OrvoMonitorData */
#define TARVEL_SHM_CODE_DEVICE_STATE 6     /* OrvoMonitorData */
#define TARVEL_SHM_CODE_VALVE_STATE 7      /* OrvoMonitorData */
#define TARVEL_SHM_CODE_ION 8              /* OrvoIonData */
#define TARVEL_SHM_CODE_OPTICS 9           /* OrvoMonitorData */
#define TARVEL_SHM_CODE_MONITOR_WORDS 10   /* OrvoMonitorData */
#define TARVEL_SHM_CODE_NOTIFY_FLAG 11     /* OrvoMonitorData */
#define TARVEL_SHM_CODE_UNIT_REPORT 12     /* OrvoMonitorData */
#define TARVEL_SHM_CODE_RESERVED13 13      /* OrvoMonitorData */
#define TARVEL_SHM_CODE_SCAN 14            /* OrvoMonitorData */
#define TARVEL_SHM_CODE_HARD3_CONST 15     /* OrvoMonitorData */
#define TARVEL_SHM_CODE_TRACK_BALL_X 16    /* OrvoMonitorData */
#define TARVEL_SHM_CODE_TRACK_BALL_Y 17    /* OrvoMonitorData */
#define TARVEL_SHM_CODE_ALARM_SUMMARY 18   /* OrvoMonitorData */
#define TARVEL_SHM_CODE_ALARM_FLAG 19      /* OrvoMonitorData */
#define TARVEL_SHM_CODE_MONIT_SEM 20       /* MonitoringSEMData */
#define TARVEL_SHM_CODE_MONIT_SEM_COEFF 21 /* MonitoringSEMData */
#define TARVEL_SHM_CODE_DEVICE_CHANGED 22  /* OrvoMonitorData */
#define TARVEL_SHM_CODE_VALVE_CHANGED 23   /* OrvoMonitorData */
#define TARVEL_SHM_CODE_DEVICE_STATE3 24   /* OrvoMonitorData */
#define TARVEL_SHM_CODE_DEVICE3_CHANGED 25 /* OrvoMonitorData */
#define TARVEL_SHM_CODE_CAN_DIAL 26        /* CanDialData */

/* Field list: per record, each field's name (as tarvel_shm_find_field and tarvel-shm take it),
 * code, record index or index range, value type, and the byte offset of its elements ("3134+10i":
 * the i-th element, counted from 0 at the first index, at 3134 + 10 i). Columns: name, code,
 * index or index range, type, offsets. BLOCK and TEXT fields are accessed with
 * tarvel_shm_read/_write; TEXT holds NUL-terminated CP932. The names say what each field holds;
 * the list is checked against the server's record tables by a test.
BEGIN FIELDS
OrvoMonitorData (3872 bytes)
  StageConstant         1  0..22    EXTENDED 0+10i
  TrackBallX           16  0..15    INT32    232+4i
  TrackBallY           17  0..15    INT32    316+4i
  PowerMode             0  0..8     INT32    400+4i
  ApertureNo            3  0        INT32    436
  ApertureX             3  1        INT32    440
  ApertureY             3  2        INT32    444
  ApertureState1        3  3        INT32    448
  ApertureState2        3  4        INT32    452
  ApertureMoving        3  5        INT16    456
  ReservedText1         5  0        TEXT     460 (51 bytes)
  ReservedText2         5  1        TEXT     511 (53 bytes)
  VacuumValue1          5  2        INT32    564
  VacuumValue2          5  7        INT32    568
  VacuumReserved3       5  3        INT32    572
  VacuumReserved4       5  4        INT32    576
  VacuumReserved5       5  5        INT32    580
  VacuumReserved6       5  6        INT32    584
  VacuumReserved8       5  8        INT32    588
  DeviceState           6  0..200   INT16    592+2i
  ValveState            7  0..200   INT16    994+2i
  DeviceState3         24  0..200   INT16    1396+2i
  DeviceChanged        22  0..200   INT16    1798+2i
  ValveChanged         23  0..200   INT16    2200+2i
  Device3Changed       25  0..200   INT16    2602+2i
  CondenserLens         9  0        EXTENDED 3008
  ObjectiveCoarse       9  1        EXTENDED 3018
  ObjectiveFine         9  2        EXTENDED 3028
  ObjectiveSuperFine    9  3        EXTENDED 3038
  StigmatorX            9  4        EXTENDED 3048
  StigmatorY            9  5        EXTENDED 3058
  AlignX                9  6        EXTENDED 3068
  AlignY                9  7        EXTENDED 3078
  FineBeamShiftX        9  8        EXTENDED 3088
  FineBeamShiftY        9  9        EXTENDED 3098
  MagCode               9  10       INT32    3108
  Brightness            9  11       EXTENDED 3112
  Contrast              9  12       EXTENDED 3122
  OpticsWord13          9  13       INT16    3132
  OpticsValue           9  14..19   EXTENDED 3134+10i
  OpticsWord20          9  20       INT16    3194
  OpticsValue21         9  21       EXTENDED 3196
  OpticsWord22          9  22       INT16    3206
  ScanLinkWord         10  0        INT16    3208
  MonitorWord          10  1        INT16    3210
  FieldValue           10  2        EXTENDED 3212
  MagLock              10  3        INT16    3222
  CLType               10  4        INT32    3224
  NotifyFlag           11  0..101   INT16    3228+2i
  UnitReport           12  0..5     DOUBLE   3432+8i
  UnitReportWord       12  6        INT32    3480
  Reserved13           13  0..1     INT32    3484+8i
  Reserved13           13  2..3     INT32    3500+4i
  ScanState            14  0        INT32    3508
  ScanRunning          14  1        INT16    3512
  ScanState2           14  2        INT32    3516
  Hard3Const           15  0..4     DOUBLE   3520+8i
  AlarmPresent         18  0        INT32    3560
  LowestAlarm          18  1        INT32    3564
  AlarmFlag            19  0..150   INT16    3568+2i
OrvoIonData (172 bytes)
  IonWord0              8  0        INT32    0
  IonValue              8  1..7     EXTENDED 4+10i
  IonWord               8  8..15    INT32    76+4i
  IonPair               8  16..17   EXTENDED 108+10i
  IonWord18             8  18       INT16    128
  IonTail               8  19..22   EXTENDED 130+10i
OrvoStageData (228 bytes)
  Moving                4  0        INT16    0
  Status                4  1        INT32    4
  Position              4  2..6     INT32    8+4i
  RealX                 4  7        EXTENDED 28
  RealY                 4  8        EXTENDED 38
  Reserved              4  9..11    EXTENDED 48+10i
  Detail                4  12..21   INT32    80+4i
  OwnerName             4  22       TEXT     120 (100 bytes)
  OwnerID               4  23       INT32    220
  JogState              4  24       INT16    224
MonitoringSEMData (600 bytes)
  Value                20  0..22    DOUBLE   0+8i
  Reserved23           20  23       INT32    240
  Reserved24           20  24       INT32    244
  Word                 20  25       INT16    272
  Coefficient          21  0..38    DOUBLE   288+8i
CanDialData (44 bytes)
  DialWord             26  0..10    INT32    0+4i
END FIELDS
 */

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

/* TARVEL_SHM_VERSION and TARVEL_SHM_LAYOUT_ID of the loaded library. */
TARVEL_SHM_API int tarvel_shm_version(void);
TARVEL_SHM_API uint32_t tarvel_shm_layout_id(void);

/* Opens one of the five records. On success *out is a handle to free with tarvel_shm_close; on
 * failure *out is unchanged and tarvel_shm_open_error tells why. */
TARVEL_SHM_API int tarvel_shm_open(const char* record, const char* suffix, int flags,
                                   tarvel_shm** out);
/* The message of the last failed tarvel_shm_open in this thread ("" if none). */
TARVEL_SHM_API const char* tarvel_shm_open_error(void);
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
 * stored. release: frees the slot when `id` is the stored ID.
 *
 * An owner that acquired through this library and whose process ended without releasing is
 * released by the next acquire through this library: the owning handle holds an open-file-
 * description lock (F_OFD_SETLK) on the object "/OrvoStageData<suffix>_OWNER", which records the
 * ID it covers and which the kernel releases when the process goes. An ID that the object does
 * not cover (an owner that did not use this library) is never taken away, since nothing tells
 * whether its owner still lives. Keep the handle open while owning: closing it releases the
 * liveness lock (the slot stays owned, and is then freed by the next acquire). */
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

/* Record i (0..4) of the five ("OrvoMonitorData", ...), or NULL past the last. */
TARVEL_SHM_API const char* tarvel_shm_record_at(int i);
/* The number of fields of a record (0 for an unknown record) and field i of it. A name may stand
 * for several fields of consecutive indexes (Reserved13). */
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
