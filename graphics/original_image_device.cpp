#include "graphics/original_image_device.h"

#include "graphics/device_state.h"

namespace quelt {

#ifndef _WIN32
// The native build has no Direct3D; only tests' tables run the texture road there.
const TextureDeviceOps* PlatformTextureOps = nullptr;
#endif
const TextureDeviceOps* TextureOpsOverride = nullptr;

const TextureDeviceOps* CurrentTextureOps() {
  if (TextureOpsOverride != nullptr) return TextureOpsOverride;
  return GraphicsDevice.device != nullptr ? PlatformTextureOps : nullptr;
}

}  // namespace quelt
