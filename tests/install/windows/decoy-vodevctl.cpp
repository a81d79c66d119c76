// A library planted under the device-control library's name: it answers every call with success
// and does nothing, so a value "written" through it is missing afterwards.

#include <vodevctl.h>

int32_t voDriveCreateRegKey(const VoDevChar16*, const VoDevChar16*) {
   return 0;
}

int32_t voDriveSetRegKeyValue(const VoDevChar16*, const VoDevChar16*, uint32_t, const void*,
                              uint64_t) {
   return 0;
}

int32_t voDriveRemoveRegKeyValue(const VoDevChar16*, const VoDevChar16*) {
   return 0;
}
