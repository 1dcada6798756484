#include "tests/graphics/recording_sink.h"

namespace quelt_test {

namespace {
RecordingDevice& R(void* device) { return *static_cast<RecordingDevice*>(device); }

const quelt::DeviceSink Sink{
    [](void* d, uint32_t state, uint32_t value) -> int32_t {
      R(d).renderStates[state].push_back(value);
      return 0;
    },
    [](void* d, uint32_t stage, uint32_t type, uint32_t value) -> int32_t {
      R(d).samplerStates[{stage, type}].push_back(value);
      return 0;
    },
    [](void* d, uint32_t stage, uint32_t type, uint32_t value) -> int32_t {
      R(d).stageStates[{stage, type}].push_back(value);
      return 0;
    },
    [](void* d, uint32_t stage, void* texture) -> int32_t {
      R(d).textures.push_back({stage, texture});
      return 0;
    },
    [](void* d, uint32_t type, const quelt::Matrix4*) -> int32_t {
      R(d).transforms.push_back(type);
      return 0;
    },
    [](void* d, const quelt::DeviceViewport* v) -> int32_t {
      R(d).viewports.push_back(*v);
      return 0;
    },
    [](void* d, const quelt::IntRect* r) -> int32_t {
      R(d).scissors.push_back(*r);
      return 0;
    },
    [](void*, void*) -> int32_t { return 0; },
    [](void* d, uint32_t fvf) -> int32_t {
      R(d).fvfs.push_back(fvf);
      return 0;
    },
    [](void* d, uint32_t type, uint32_t count, const void*, uint32_t stride) -> int32_t {
      R(d).draws.push_back({type, count, stride});
      return 0;
    },
    [](void* d, uint32_t, uint32_t vertexCount, uint32_t primitives, const uint16_t* indices,
       const void* vertices, uint32_t) -> int32_t {
      R(d).indexedDraws.emplace_back(indices, indices + primitives + 2);
      R(d).indexedVertices.push_back(vertices);
      R(d).indexedVertexCounts.push_back(vertexCount);
      return 0;
    },
    [](void* d) -> int32_t {
      ++R(d).beginScenes;
      return 0;
    },
    [](void* d) -> int32_t {
      ++R(d).endScenes;
      return 0;
    },
    [](void* d, uint32_t, const quelt::DeviceLight*) -> int32_t {
      ++R(d).lights;
      return 0;
    },
    [](void* d, uint32_t, int32_t) -> int32_t {
      ++R(d).lightEnables;
      return 0;
    },
    [](void* d, const quelt::DeviceMaterial*) -> int32_t {
      ++R(d).materials;
      return 0;
    },
    [](void*) -> int32_t { return 0; },
    [](void* d, void*, const quelt::IntRect*, uint32_t argb) -> int32_t {
      R(d).fills.push_back(argb);
      return 0;
    },
    [](void* d) -> int32_t {
      ++R(d).depthClears;
      return 0;
    },
    [](void*, int32_t* w, int32_t* h) -> int32_t {
      *w = 640;
      *h = 480;
      return 0;
    },
};
}  // namespace

const quelt::DeviceSink& RecordingSink() { return Sink; }

RecordingDeviceScope::RecordingDeviceScope(RecordingDevice* device) {
  quelt::DeviceStateCache = quelt::DeviceStateCacheRecord{};
  quelt::VertexBatch = quelt::VertexBatchRecord{};
  quelt::ForceStateReapply = 0;
  quelt::GraphicsDevice.device = device;
  quelt::ActiveDeviceSink = &Sink;
}

RecordingDeviceScope::~RecordingDeviceScope() {
  quelt::GraphicsDevice = quelt::GraphicsDeviceRecord{};
  quelt::ActiveDeviceSink = nullptr;
  quelt::DeviceStateCache = quelt::DeviceStateCacheRecord{};
  quelt::VertexBatch = quelt::VertexBatchRecord{};
}

}  // namespace quelt_test
