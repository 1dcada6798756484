#pragma once
// The graph handle table (handle kind 1): allocation with a high-water index, validation,
// sub graphs, deletion, the deleted-flag link and the size query.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"
#include "graphics/graph_record.h"

namespace quelt {

inline constexpr int32_t GraphTableCapacity = 32768;

struct GraphTableRecord {
  std::array<GraphRecord*, GraphTableCapacity> slots;
  int32_t count;
  int32_t highWater;  // one past the highest slot in use
  int32_t nextCheckId;
};
extern GraphTableRecord GraphTable;

// Start of graphics: deletes any graph still in the table, count and high-water index
// back to 0.
void ResetGraphTableCounts();

// A new record without an image; -1 (with a log line) when the table is full. A failed
// allocation ends the program.
int32_t AllocateGraphHandle();
int IsGraphHandleValid(int32_t value);
GraphRecord* GetGraphRecord(int32_t handle);
// 0, or -1 for an invalid handle.
int ReleaseGraphHandle(int32_t handle);
// Every graph; nothing while graphics are not started. The graphics shutdown calls it
// before the device ends, so every texture is released on a live device.
int DeleteAllGraphs();
int LinkGraphDeletedFlag(int32_t handle, int32_t* flag);
// The screens (-2, -4) give the screen size; other negative values are invalid.
int QueryGraphDimensions(int32_t handle, int32_t* width, int32_t* height);
int32_t CreateSubGraph(int32_t x, int32_t y, int32_t width, int32_t height, int32_t source);
int InitSubGraph(int32_t source, int32_t target, int32_t x, int32_t y, int32_t width,
                 int32_t height);

}  // namespace quelt
