#include "tests/graphics/counting_sink.h"

#include "graphics/device_state.h"

namespace quelt_test {

namespace {

const quelt::DeviceSink* Inner = nullptr;
DeviceCallCounts* Counts = nullptr;

const quelt::DeviceSink& Next(DeviceCallKind kind) {
  ++Counts->calls[kind];
  return *Inner;
}

const quelt::DeviceSink CountingSink{
    [](void* d, uint32_t state, uint32_t value) { return Next(CallRenderState).setRenderState(d, state, value); },
    [](void* d, uint32_t stage, uint32_t type, uint32_t value) {
      return Next(CallSamplerState).setSamplerState(d, stage, type, value);
    },
    [](void* d, uint32_t stage, uint32_t type, uint32_t value) {
      return Next(CallStageState).setTextureStageState(d, stage, type, value);
    },
    [](void* d, uint32_t stage, void* texture) { return Next(CallTexture).setTexture(d, stage, texture); },
    [](void* d, uint32_t type, const quelt::Matrix4* m) { return Next(CallTransform).setTransform(d, type, m); },
    [](void* d, const quelt::DeviceViewport* v) { return Next(CallViewport).setViewport(d, v); },
    [](void* d, const quelt::IntRect* r) { return Next(CallScissor).setScissorRect(d, r); },
    [](void* d, void* surface) { return Next(CallRenderTarget).setRenderTarget(d, surface); },
    [](void* d, uint32_t fvf) { return Next(CallFvf).setFvf(d, fvf); },
    [](void* d, uint32_t type, uint32_t count, const void* vertices, uint32_t stride) {
      return Next(CallDraw).drawPrimitiveUp(d, type, count, vertices, stride);
    },
    [](void* d, uint32_t type, uint32_t vertexCount, uint32_t primitiveCount, const uint16_t* indices,
       const void* vertices, uint32_t stride) {
      return Next(CallIndexedDraw)
          .drawIndexedPrimitiveUp(d, type, vertexCount, primitiveCount, indices, vertices, stride);
    },
    [](void* d) { return Next(CallBeginScene).beginScene(d); },
    [](void* d) { return Next(CallEndScene).endScene(d); },
    [](void* d, uint32_t index, const quelt::DeviceLight* light) { return Next(CallLight).setLight(d, index, light); },
    [](void* d, uint32_t index, int32_t on) { return Next(CallLightEnable).lightEnable(d, index, on); },
    [](void* d, const quelt::DeviceMaterial* m) { return Next(CallMaterial).setMaterial(d, m); },
    [](void* d) { return Next(CallUnsetShaders).unsetShaders(d); },
    [](void* d, void* surface, const quelt::IntRect* rect, uint32_t argb) {
      return Next(CallColourFill).colourFill(d, surface, rect, argb);
    },
    [](void* d) { return Next(CallClearDepth).clearDepth(d); },
    [](void* surface, int32_t* w, int32_t* h) { return Next(CallSurfaceSize).surfaceSize(surface, w, h); },
};

}  // namespace

const std::array<const char*, DeviceCallKindCount> DeviceCallNames{
    "render state",  "sampler state", "stage state",   "texture",      "transform",   "viewport",    "scissor",
    "render target", "FVF",           "draw",          "indexed draw", "begin scene", "end scene",   "light",
    "light enable",  "material",      "unset shaders", "colour fill",  "depth clear", "surface size"};

int64_t DeviceCallCounts::Total() const {
  int64_t total = 0;
  for (int64_t n : calls) total += n;
  return total;
}

CountingSinkScope::CountingSinkScope(DeviceCallCounts* counts) {
  Inner = quelt::ActiveDeviceSink;
  Counts = counts;
  if (Inner != nullptr) quelt::ActiveDeviceSink = &CountingSink;
}

CountingSinkScope::~CountingSinkScope() {
  if (Inner != nullptr) quelt::ActiveDeviceSink = Inner;
  Inner = nullptr;
  Counts = nullptr;
}

}  // namespace quelt_test
