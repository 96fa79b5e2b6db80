/* The Bluetooth adapter library: the vendor Bluetooth stack behind plain
 * exported functions that the program polls. Every result is a 32-bit
 * integer; every buffer belongs to the caller. */
#ifndef BTBRIDGE_H
#define BTBRIDGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BTBRIDGE_DEVICE_RECORD_SIZE 560 /* one device information record */
#define BTBRIDGE_MAX_DEVICES 100        /* later devices of an inquiry are ignored */
#define BTBRIDGE_SERVICE_NAME_SIZE 249  /* a service name and its terminating zero */

int32_t IsWidDeviceReady(void);
int32_t StartWidInquiry(void);
int32_t StopWidInquiry(void);
int32_t WidInquiryComplete(void);
/* Writes one 560-byte record per device found into `records`. */
int32_t GetWidBthDevices(uint8_t* records);
/* `serviceClass`: 16 bytes, or null for a general discovery. */
int32_t StartWidDiscovery(const uint8_t* address, const uint8_t* serviceClass);
int32_t WidDiscoveryComplete(int32_t* count);
/* `name` has room for BTBRIDGE_SERVICE_NAME_SIZE bytes. */
int32_t GetWidSppServiceName(const uint8_t* address, const uint8_t* serviceClass, char* name);
int32_t CreateWidSppConnection(const uint8_t* address, const char* serviceName);
int32_t WidSppConnected(int32_t* comPort, int32_t* status);
int32_t RemoveWidSppConnection(void);
int32_t IsWidRemoteDeviceConnected(const uint8_t* address);
int32_t sdk_init(void);
int32_t sdk_close(void);

#ifdef __cplusplus
}
#endif

#endif
