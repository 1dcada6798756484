#include "graphics/graph_table.h"

#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graphics_hooks.h"
#include "graphics/original_image.h"
#include "graphics/screen_mode.h"

namespace quelt {

GraphTableRecord GraphTable{};

namespace {

constexpr int32_t MakeGraphHandle(int32_t slot, int32_t checkId) {
  return MakeEngineHandle(slot, checkId, HandleKind::Graph);
}

}  // namespace

void ResetGraphTableCounts() {
  // Graphs that outlived the last graphics run (a shutdown that kept them) are deleted:
  // their handles must not stay valid on the new back end.
  for (int32_t slot = 0; slot < GraphTableCapacity; ++slot) {
    const GraphRecord* record = GraphTable.slots[static_cast<size_t>(slot)];
    if (record != nullptr) ReleaseGraphHandle(MakeGraphHandle(slot, record->checkId));
  }
  GraphTable.count = 0;
  GraphTable.highWater = 0;
}

int32_t AllocateGraphHandle() {
  GraphTableRecord& t = GraphTable;
  if (t.count >= GraphTableCapacity) return WriteLog("グラフィックの数が許容量を越えました\n");
  int32_t slot = t.highWater;
  if (slot >= GraphTableCapacity) {
    slot = 0;
    while (slot < GraphTableCapacity && t.slots[static_cast<size_t>(slot)] != nullptr) ++slot;
  }
  auto* record = static_cast<GraphRecord*>(TrackedCalloc(sizeof(GraphRecord), __FILE__, __LINE__));
  if (record == nullptr) FatalExit("メモリの確保に失敗しました");
  record->checkId = t.nextCheckId;
  t.nextCheckId = NextCheckId(t.nextCheckId);
  record->handle = MakeGraphHandle(slot, record->checkId);
  record->linkedMovie = -1;
  t.slots[static_cast<size_t>(slot)] = record;
  ++t.count;
  if (slot == t.highWater) ++t.highWater;
  return record->handle;
}

GraphRecord* GetGraphRecord(int32_t handle) {
  const int32_t slot = HandleSlotIn(handle, HandleKind::Graph, GraphTableCapacity);
  if (slot < 0) return nullptr;
  GraphRecord* record = GraphTable.slots[static_cast<size_t>(slot)];
  if (record == nullptr || !HandleCheckIdIs(handle, record->checkId)) return nullptr;
  return record;
}

int IsGraphHandleValid(int32_t value) { return GetGraphRecord(value) != nullptr ? 1 : 0; }

int ReleaseGraphHandle(int32_t handle) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr) return -1;
  if (GraphicsLayerHooks.closeMovie != nullptr) GraphicsLayerHooks.closeMovie(record->linkedMovie);
  record->linkedMovie = -1;

  if (OriginalImage* image = record->image; image != nullptr) {
    if (image->description[FormatByteTexture] == 0) ReleaseMemImg(&record->memImg);
    if (--image->refCount <= 0) FreeOriginalImage(image);
    record->image = nullptr;
  }
  TrackedFree(record->ownedBlock1);
  record->ownedBlock1 = nullptr;
  TrackedFree(record->ownedBlock2);
  record->ownedBlock2 = nullptr;
  SetGraphSourceFile(handle, nullptr, -1);
  // SetGraphSourceFile does not move the record; it is still the one in the slot.

  GraphTableRecord& t = GraphTable;
  const int32_t slot = HandleSlot(handle);
  --t.count;
  if (slot == t.highWater - 1) {
    int32_t top = slot;
    while (top > 0 && t.slots[static_cast<size_t>(top - 1)] == nullptr) --top;
    t.highWater = t.count == 0 ? 0 : top;
  }
  if (record->deletedFlag != nullptr) *record->deletedFlag = 1;
  TrackedFree(record);
  t.slots[static_cast<size_t>(slot)] = nullptr;
  return 0;
}

int DeleteAllGraphs() {
  if (ScreenState.started == 0) return 0;
  for (int32_t slot = 0; slot < GraphTable.highWater; ++slot) {
    const GraphRecord* record = GraphTable.slots[static_cast<size_t>(slot)];
    if (record != nullptr) ReleaseGraphHandle(MakeGraphHandle(slot, record->checkId));
  }
  return 0;
}

int LinkGraphDeletedFlag(int32_t handle, int32_t* flag) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr) return -1;
  record->deletedFlag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int QueryGraphDimensions(int32_t handle, int32_t* width, int32_t* height) {
  int32_t w = 0;
  int32_t h = 0;
  if (handle == DrawScreenBack || handle == DrawScreenFront) {
    w = ScreenState.width;
    h = ScreenState.height;
  } else {
    const GraphRecord* record = GetGraphRecord(handle);
    if (record == nullptr) return -1;
    w = record->width;
    h = record->height;
  }
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  return 0;
}

int32_t CreateSubGraph(int32_t x, int32_t y, int32_t width, int32_t height, int32_t source) {
  if (DrawSettings.DrawSettingsLock) return 0;
  const GraphRecord* src = GetGraphRecord(source);
  if (src == nullptr) return -1;
  if (x < 0 || y < 0 || x >= src->width || y >= src->height) return -1;
  const int32_t w = width < src->width - x ? width : src->width - x;
  const int32_t h = height < src->height - y ? height : src->height - y;
  const int32_t graph = AllocateGraphHandle();
  if (InitSubGraph(source, graph, x, y, w, h) < 0) {
    ReleaseGraphHandle(graph);
    return -1;
  }
  return graph;
}

int InitSubGraph(int32_t source, int32_t target, int32_t x, int32_t y, int32_t width,
                 int32_t height) {
  GraphRecord* src = GetGraphRecord(source);
  GraphRecord* dst = GetGraphRecord(target);
  if (src == nullptr || dst == nullptr || src->image == nullptr) return -1;
  // A rectangle without pixels would leave a graph nothing can draw.
  if (width <= 0 || height <= 0) return -1;
  dst->image = src->image;
  ++dst->image->refCount;
  SetGraphSourceFile(target, nullptr, source);
  dst->sourceX = src->sourceX + x;
  dst->sourceY = src->sourceY + y;
  dst->turned = src->turned;
  dst->x = src->x + x;
  dst->y = src->y + y;
  dst->width = width;
  dst->height = height;
  return BuildGraphDrawInfo(target) < 0 ? -1 : 0;
}

}  // namespace quelt
