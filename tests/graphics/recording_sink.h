#pragma once
// A device call table that records what the engine sends, for tests of the state cache,
// the batch and the draw settings without a device.
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "graphics/device_sink.h"
#include "graphics/device_state.h"

namespace quelt_test {

struct DrawCall {
  uint32_t type, count, stride;
};

struct RecordingDevice {
  std::map<uint32_t, std::vector<uint32_t>> renderStates;  // state -> values sent, in order
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint32_t>> samplerStates;  // (stage, type)
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint32_t>> stageStates;
  std::vector<std::pair<uint32_t, void*>> textures;
  std::vector<uint32_t> transforms;
  std::vector<quelt::DeviceViewport> viewports;
  std::vector<quelt::IntRect> scissors;
  std::vector<uint32_t> fvfs;
  std::vector<DrawCall> draws;
  std::vector<std::vector<uint16_t>> indexedDraws;  // the indices of each indexed draw
  std::vector<const void*> indexedVertices;          // and its vertex pointer and count
  std::vector<uint32_t> indexedVertexCounts;
  std::vector<uint32_t> fills;
  int beginScenes = 0, endScenes = 0, depthClears = 0, lights = 0, lightEnables = 0, materials = 0;

  int Sent(uint32_t state) const {
    auto it = renderStates.find(state);
    return it == renderStates.end() ? 0 : static_cast<int>(it->second.size());
  }
  uint32_t Last(uint32_t state) const { return renderStates.at(state).back(); }
  int SamplerSent(uint32_t stage, uint32_t type) const {
    auto it = samplerStates.find({stage, type});
    return it == samplerStates.end() ? 0 : static_cast<int>(it->second.size());
  }
  uint32_t StageLast(uint32_t stage, uint32_t type) const { return stageStates.at({stage, type}).back(); }
  void Clear() { *this = RecordingDevice{}; }
};

const quelt::DeviceSink& RecordingSink();

// Installs the recording device as the device of the state cache (and removes it).
class RecordingDeviceScope {
 public:
  explicit RecordingDeviceScope(RecordingDevice* device);
  ~RecordingDeviceScope();
};

}  // namespace quelt_test
