#include "graphics/graphics_hooks.h"

namespace quelt {

GraphicsLayerHooksRecord GraphicsLayerHooks{};

}  // namespace quelt
