// The entry layer's forwarding entry into input.
#include "core/entry/api_entry.h"
#include "input/input_devices.h"

namespace quelt {

int ApiReadAllKeys(uint8_t* keys) { return ReadAllKeys(keys); }

}  // namespace quelt
