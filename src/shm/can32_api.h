/* The C interface of the CAN interface library libcan32.so, as the server calls it.
 * Shared by the dial link and the project's stand-in library. */
#ifndef TARVEL_SHM_CAN32_API_H
#define TARVEL_SHM_CAN32_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One CAN object: identifier, data length, data (only the first dlc bytes are meaningful). */
typedef struct CanObj {
  uint16_t id;
  uint8_t dlc;
  uint8_t data[8];
} CanObj;

typedef void (*CANOpenFn)(void);
typedef void (*CANCloseFn)(void);
typedef uint8_t (*CanSetBaudrateFn)(uint8_t code);
typedef uint8_t (*InitCanFn)(uint8_t channel);
typedef uint8_t (*GetCanIDRcvFn)(void);
typedef uint8_t (*GetCanIDStatusFn)(void);
typedef uint8_t (*SendCanObjFn)(CanObj* obj);

#ifdef __cplusplus
}
#endif

#endif
