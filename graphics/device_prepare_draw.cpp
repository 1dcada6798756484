#include "graphics/device_state.h"

#include "graphics/device_calls.h"
#include "graphics/draw_settings.h"
#include "image/color_format.h"

namespace quelt {

using namespace d3d;
using namespace device_calls;

// --- Preparing a draw -------------------------------------------------------------------------

int PrepareDrawState(const ColorFormat* format, int32_t transparent, void* texture, uint32_t flags) {
  if (!HasDevice()) return -1;
  if (DeviceStateCache.vertexShader != nullptr || DeviceStateCache.pixelShader != nullptr ||
      DeviceStateCache.vertexDeclaration != nullptr) {
    FlushVertexBatch();
    Sink().unsetShaders(Dev());
    DeviceStateCache.vertexShader = DeviceStateCache.pixelShader = DeviceStateCache.vertexDeclaration = nullptr;
    DeviceStateCache.fvf = 0;
  }
  DrawSettingsRecord& d = DrawSettings;
  if ((flags & DrawPrepLit3D) != 0 && d.lightingOff == 0) {
    if (d.lightsChanged || d.lightForceResend) {
      ApplyLights();
    } else {
      SetLighting(1);
    }
    if (d.materialChanged) {
      SetMaterial(&d.material);
      d.materialChanged = 0;
    }
    SetDiffuseMaterialSource(d.diffuseFromMaterial ? 0 : 1);
    SetSpecularMaterialSource(d.specularFromMaterial ? 0 : 1);
  } else {
    SetLighting(0);
  }
  SetSpecularEnable((flags & DrawPrepSpecular) != 0 ? 1 : 0);
  if ((flags & DrawPrepKeepMode) == 0) {
    int32_t alphaChannel = 0;
    int32_t alphaTest = 0;
    if (texture != nullptr && format != nullptr && (flags & DrawPrepImageKind) != 0) {
      const bool hasAlpha = format->alphaWidth != 0;
      if (hasAlpha) {
        alphaChannel = 1;
      } else if (transparent) {
        const bool edgesBlend = (d.BlendMode != BlendCopy && d.BlendMode != BlendKeepDest) ||
                                (d.filterMode == 1 && (flags & DrawPrepExactTexel) == 0);
        (edgesBlend ? alphaChannel : alphaTest) = 1;
      }
    }
    const int32_t colourModulate =
        (flags & DrawPrepColourModulate) != 0 || HoldColourModulation != 0 || (d.BrightColour & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    const int32_t alphaModulate = (flags & DrawPrepAlphaModulate) != 0 || d.BlendMode != BlendCopy ? 1 : 0;
    if (colourModulate != DeviceStateCache.colourModulate || alphaModulate != DeviceStateCache.alphaModulate) {
      FlushVertexBatch();
      DeviceStateCache.colourModulate = colourModulate;
      DeviceStateCache.alphaModulate = alphaModulate;
      DeviceStateCache.modeChanged = 1;
    }
    SetDrawTexture(texture);
    SetDrawModeParams(d.BlendMode, alphaChannel, alphaTest);
    if (DeviceStateCache.modeChanged || DeviceStateCache.textureChanged) ApplyDrawMode(1, nullptr, 0);
  }
  SetShadeMode((flags & DrawPrepGouraud) != 0 ? ShadeGouraud : ShadeFlat);
  SetTextureFilter(d.filterMode);
  SetMaxAnisotropy(d.maxAnisotropy);
  SetCullMode(d.cullMode);
  if ((flags & DrawPrepStageAddress) != 0) {
    for (int32_t s = 0; s < SamplerStageCount; ++s) {
      SetAddressU(static_cast<uint32_t>(d.addressU[s]), s);
      SetAddressV(static_cast<uint32_t>(d.addressV[s]), s);
    }
  } else {
    for (int32_t s = 0; s < 4; ++s) {
      SetAddressU(AddressClamp, s);
      SetAddressV(AddressClamp, s);
    }
  }
  const std::array<int32_t, 4>& depth = (flags & DrawPrepDepth3D) != 0 ? d.depth3D : d.depth2D;
  SetZEnable(depth[0]);
  if (depth[0] != 0) {
    SetZWriteEnable(depth[1]);
    SetZFunc(depth[2]);
    SetDepthBias(depth[3]);
  }
  SetFogEnable((flags & DrawPrepFog) != 0 ? d.fogEnable : 0);
  return 0;
}

}  // namespace quelt
