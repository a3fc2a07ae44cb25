/* The table of device-file calls and USB library entry points through which hardware
   targets reach their devices. A device shim library (ZIM_DEVICE_SHIM) receives the real
   table and fills a replacement, so tests can stand between the program and the devices.
   Plain C so that a shim can be written in either language. */
#ifndef ZIM_PLATFORM_DEVICECALLS_H
#define ZIM_PLATFORM_DEVICECALLS_H

#include <libusb.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever a member is added, removed or changes its type. */
#define ZIM_DEVICE_CALLS_VERSION 2u

/* The libusb-1.0 entry points a bulk-transfer driver needs, one row each:
   X(return type, name, (parameters), (arguments)). The table's members, the symbols loaded
   and the shim's forwarders all come from this list. */
#define ZIM_USB_CALLS(X) \
    X(int, libusb_init, (libusb_context **context), (context)) \
    X(void, libusb_exit, (libusb_context *context), (context)) \
    X(ssize_t, libusb_get_device_list, (libusb_context *context, libusb_device ***list), (context, list)) \
    X(void, libusb_free_device_list, (libusb_device **list, int unrefDevices), (list, unrefDevices)) \
    X(int, libusb_get_device_descriptor, (libusb_device *device, struct libusb_device_descriptor *descriptor), \
      (device, descriptor)) \
    X(int, libusb_get_active_config_descriptor, (libusb_device *device, struct libusb_config_descriptor **config), \
      (device, config)) \
    X(void, libusb_free_config_descriptor, (struct libusb_config_descriptor *config), (config)) \
    X(uint8_t, libusb_get_bus_number, (libusb_device *device), (device)) \
    X(uint8_t, libusb_get_device_address, (libusb_device *device), (device)) \
    X(int, libusb_get_port_numbers, (libusb_device *device, uint8_t *ports, int length), (device, ports, length)) \
    X(int, libusb_open, (libusb_device *device, libusb_device_handle **handle), (device, handle)) \
    X(void, libusb_close, (libusb_device_handle *handle), (handle)) \
    X(int, libusb_get_string_descriptor_ascii, \
      (libusb_device_handle *handle, uint8_t index, unsigned char *data, int length), (handle, index, data, length)) \
    X(int, libusb_set_auto_detach_kernel_driver, (libusb_device_handle *handle, int enable), (handle, enable)) \
    X(int, libusb_claim_interface, (libusb_device_handle *handle, int interfaceNumber), (handle, interfaceNumber)) \
    X(int, libusb_release_interface, (libusb_device_handle *handle, int interfaceNumber), (handle, interfaceNumber)) \
    X(int, libusb_clear_halt, (libusb_device_handle *handle, unsigned char endpoint), (handle, endpoint)) \
    X(int, libusb_control_transfer, \
      (libusb_device_handle *handle, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, \
       unsigned char *data, uint16_t length, unsigned int timeout), \
      (handle, requestType, request, value, index, data, length, timeout)) \
    X(int, libusb_bulk_transfer, \
      (libusb_device_handle *handle, unsigned char endpoint, unsigned char *data, int length, int *transferred, \
       unsigned int timeout), \
      (handle, endpoint, data, length, transferred, timeout)) \
    X(const char *, libusb_error_name, (int errorCode), (errorCode))

typedef struct ZimDeviceCalls
{
    uint32_t version; /* ZIM_DEVICE_CALLS_VERSION */
    uint32_t size;    /* sizeof(ZimDeviceCalls) */

    /* Device files, as the C library's calls of the same names (open and ioctl take their
       third argument always). */
    int (*open)(const char *path, int flags, mode_t mode);
    int (*ioctl)(int fd, unsigned long request, void *argument);
    ssize_t (*read)(int fd, void *buffer, size_t size);
    ssize_t (*write)(int fd, const void *buffer, size_t size);
    int (*close)(int fd);

    /* libusb-1.0, as declared in libusb.h. Null until the USB library is loaded. */
#define ZIM_X(ret, name, params, args) ret(*name) params;
    ZIM_USB_CALLS(ZIM_X)
#undef ZIM_X
} ZimDeviceCalls;

/* The entry point a device shim exports: fill replacement (already a copy of real) with the
   shim's own calls, which may forward to real; real stays valid and may gain its USB
   entries later, so read it at call time. Return 0, or nonzero with a text in error. */
typedef int (*ZimDeviceShimInstall)(const ZimDeviceCalls *real, ZimDeviceCalls *replacement, char *error,
                                    size_t errorSize);
#define ZIM_DEVICE_SHIM_INSTALL "zim_device_shim_install"

#ifdef __cplusplus
}
#endif

#endif
