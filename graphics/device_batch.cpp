#include "graphics/device_state.h"

#include "core/core_state.h"
#include "graphics/device_calls.h"

namespace quelt {

using namespace d3d;
using namespace device_calls;

// --- Scene and batch ----------------------------------------------------------------------------

int BeginSceneIfNeeded() {
  if (!HasDevice()) return -1;
  if (DeviceStateCache.sceneOpen) return 0;
  DeviceStateCache.sceneOpen = 1;
  return Result(Sink().beginScene(Dev()));
}

int EndSceneIfOpen() {
  if (!HasDevice()) return -1;
  if (!DeviceStateCache.sceneOpen) return 0;
  FlushVertexBatch();
  DeviceStateCache.sceneOpen = 0;
  return Result(Sink().endScene(Dev()));
}

namespace {
uint32_t PrimitiveCount(uint32_t type, int32_t n) {
  switch (type) {
    case PointList: return static_cast<uint32_t>(n);
    case LineList: return static_cast<uint32_t>(n / 2);
    case LineStrip: return n > 0 ? static_cast<uint32_t>(n - 1) : 0;
    case TriangleList: return static_cast<uint32_t>(n / 3);
    case TriangleStrip:
    case TriangleFan: return n > 1 ? static_cast<uint32_t>(n - 2) : 0;
    default: return 0;
  }
}
}  // namespace

void device_calls::ResetWritePosition() {
  VertexBatch.pendingCount = 0;
  VertexBatch.writePosition = VertexBatch.arrays[VertexBatch.formatIndex];
}

int FlushVertexBatch() {
  if (!HasDevice()) return -1;
  VertexBatchRecord& b = VertexBatch;
  if (b.pendingCount > 0 && QuitFlag == 0) {
    BeginSceneIfNeeded();
    if (!DeviceStateCache.skipDraw) {
      const VertexFormatInfo& format = VertexFormats[b.formatIndex];
      const uint32_t count = PrimitiveCount(b.primitiveType, b.pendingCount);
      if (DeviceStateCache.fvf != format.fvf) {
        Sink().setFvf(Dev(), format.fvf);
        DeviceStateCache.fvf = format.fvf;
      }
      Sink().drawPrimitiveUp(Dev(), b.primitiveType, count, b.arrays[b.formatIndex], format.stride);
      ++b.drawCalls;
      b.verticesDrawn += b.pendingCount;
    }
  }
  ResetWritePosition();
  return 0;
}

void* QueueQuadVertices() {
  VertexBatchRecord& b = VertexBatch;
  if (b.arrays[0] == nullptr) return nullptr;
  if ((b.pendingCount > 0 && b.primitiveType != TriangleList) ||
      b.pendingCount + 6 >= VertexFormats[b.formatIndex].capacity)
    FlushVertexBatch();
  b.primitiveType = TriangleList;
  void* at = b.writePosition;
  b.writePosition += 6 * VertexFormats[b.formatIndex].stride;
  b.pendingCount += 6;
  return at;
}

}  // namespace quelt
