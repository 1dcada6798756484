#include "graphics/model_table.h"

#include <cmath>
#include <cstring>

#include "core/numbers.h"
#include "core/tracked_alloc.h"
#include "graphics/device_state.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/screen_mode.h"
#include "image/image_load.h"
#include "image/image_ops.h"

namespace quelt {

std::array<float, ModelSineTableSize> ModelSineTable{};
ModelTablesRecord ModelTables{0, 0, 0.0f, {}, {}, {}, -1};

#ifndef _WIN32
const ModelBufferOps* PlatformModelBufferOps = nullptr;
#endif
const ModelBufferOps* ModelBufferOpsOverride = nullptr;

const ModelBufferOps* CurrentModelBufferOps() {
  if (ModelBufferOpsOverride != nullptr) return ModelBufferOpsOverride;
  return GraphicsDevice.device != nullptr && ScreenState.hardware ? PlatformModelBufferOps : nullptr;
}

// 8 x 8 pixels of opaque white, 32 bits, run-length coded one row per packet, with the
// TGA 2.0 footer.
const std::array<uint8_t, 84> DefaultModelTextureTga = [] {
  std::array<uint8_t, 84> t{};
  t[2] = 10;  // run-length true colour
  t[12] = 8;
  t[14] = 8;
  t[16] = 32;
  t[17] = 0x28;  // 8 alpha bits, rows top-down
  for (int row = 0; row < 8; ++row) {
    t[18 + row * 5] = 0x80 | 7;
    for (int b = 1; b <= 4; ++b) t[18 + row * 5 + b] = 0xFF;
  }
  const char signature[] = "TRUEVISION-XFILE.";
  for (int i = 0; i < 18; ++i) t[66 + i] = static_cast<uint8_t>(signature[i]);
  return t;
}();

namespace {


constexpr std::array<std::array<int32_t, ModelPartKinds>, ModelMaterialKinds> ShaderStrides{{
    {32, 52, 72},
    {56, 76, 96},
}};

void FreeBlock(void*& block) {
  if (block != nullptr) TrackedFree(block);
  block = nullptr;
}

template <typename P>
void FreeTyped(P*& block) {
  if (block != nullptr) TrackedFree(block);
  block = nullptr;
}

void FreeArray(ModelSlotArray& array) {
  if (array.slots != nullptr) TrackedFree(array.slots);
  array = ModelSlotArray{};
}

bool IsRecord(void* slot) { return slot != nullptr && reinterpret_cast<uintptr_t>(slot) != ReservedModelSlot; }

// The slot a handle names in its array, or -1 for a handle of another kind or outside the
// slots in use.
int32_t SlotOf(const ModelSlotArray& array, int32_t handle, HandleKind kind, int32_t limit) {
  const int32_t slot = BareHandleSlot(handle, kind, limit);
  if (slot < 0 || slot >= array.count || array.slots == nullptr) return -1;
  return slot;
}

int32_t InsertIntoArray(ModelSlotArray& array, void* record, int32_t limit) {
  int32_t slot = 0;
  while (slot < array.count && array.slots[slot] != nullptr) ++slot;
  if (slot >= limit) return -1;
  if (slot >= array.capacity) {
    const int32_t capacity = array.capacity == 0 ? 16 : (array.capacity * 2 > limit ? limit : array.capacity * 2);
    auto* grown = static_cast<void**>(
        TrackedRealloc(array.slots, static_cast<int32_t>(sizeof(void*)) * capacity, __FILE__, __LINE__));
    if (grown == nullptr) return -1;
    for (int32_t i = array.capacity; i < capacity; ++i) grown[i] = nullptr;
    array.slots = grown;
    array.capacity = capacity;
  }
  array.slots[slot] = record;
  if (slot >= array.count) array.count = slot + 1;
  return slot;
}

void FreeTextureSource(ModelTextureSource& source) {
  FreeBlock(source.imageData);
  FreeBlock(source.alphaData);
  source = ModelTextureSource{};
}

void ForEachBucketRecord(ModelMesh& mesh, void (*fn)(ModelBufferRecord*, const ModelBufferOps*),
                         const ModelBufferOps* ops) {
  for (int32_t b = 0; b < ModelBucketCount; ++b) {
    ModelBufferRecord* record = mesh.heads.first[static_cast<size_t>(b)];
    while (record != nullptr) {
      ModelBufferRecord* next = record->next;
      fn(record, ops);
      record = next;
    }
  }
}

void ReleaseRecordBuffers(ModelBufferRecord* record, const ModelBufferOps* ops) {
  for (void** object : {&record->vertexBuffer, &record->indexBuffer}) {
    if (*object != nullptr && ops != nullptr) ops->release(*object);
    *object = nullptr;
  }
  TrackedFree(record);
}

void ClearBuckets(ModelMesh& mesh) {
  mesh.heads.first.fill(nullptr);
  mesh.heads.last.fill(nullptr);
  mesh.heads.count.fill(0);
  mesh.bufferCount = 0;
  for (int32_t p = 0; p < mesh.partCount; ++p) mesh.parts[p].bucket = nullptr;
}

// Every buffer record of the mesh goes: buffers released, records freed, heads cleared.
void DropAllRecords(ModelMesh& mesh, const ModelBufferOps* ops) {
  ForEachBucketRecord(mesh, ReleaseRecordBuffers, ops);
  ClearBuckets(mesh);
}

bool PartIsValid(const ModelPart& part) {
  return part.kind >= 0 && part.kind < ModelPartKinds && part.materialKind >= 0 &&
         part.materialKind < ModelMaterialKinds && part.format >= 0 && part.format < ModelVertexFormats &&
         part.vertexCount >= 0 && part.indexCount >= 0;
}

// The build's first pass: every part into the last record of its bucket, or a new one when a
// total would be passed. False when a record cannot be allocated.
bool SortPartsIntoBuckets(ModelMesh& mesh) {
  for (int32_t p = 0; p < mesh.partCount; ++p) {
    ModelPart& part = mesh.parts[p];
    if (!PartIsValid(part)) continue;
    const auto b = static_cast<size_t>(ModelBucketIndex(part.kind, part.materialKind, part.format));
    ModelBufferRecord* record = mesh.heads.last[b];
    if (record == nullptr || record->vertexCount + part.vertexCount > ModelBufferVertexLimit ||
        record->indexCount + part.indexCount > ModelBufferIndexLimit) {
      auto* made = static_cast<ModelBufferRecord*>(
          TrackedAlloc(static_cast<int32_t>(sizeof(ModelBufferRecord)), __FILE__, __LINE__));
      if (made == nullptr) return false;
      *made = ModelBufferRecord{};
      made->vertexSize = ModelVertexSize(part.kind, part.materialKind, part.format);
      made->fvf = ModelVertexFvf(part.kind, part.materialKind, part.format);
      if (record != nullptr) {
        record->next = made;
      } else {
        mesh.heads.first[b] = made;
      }
      mesh.heads.last[b] = made;
      ++mesh.heads.count[b];
      ++mesh.bufferCount;
      record = made;
    }
    part.bucket = record;
    part.firstVertex = record->vertexCount;
    part.firstIndex = record->indexCount;
    record->vertexCount += part.vertexCount;
    record->indexCount += part.indexCount;
    ++record->partCount;
  }
  return true;
}

// Unlinks a record from its bucket list, lowers the counts, clears the parts that pointed to
// it and frees it.
void UnlinkRecord(ModelMesh& mesh, size_t bucket, ModelBufferRecord* previous, ModelBufferRecord* record,
                  const ModelBufferOps* ops) {
  if (previous != nullptr) {
    previous->next = record->next;
  } else {
    mesh.heads.first[bucket] = record->next;
  }
  if (mesh.heads.last[bucket] == record) mesh.heads.last[bucket] = previous;
  --mesh.heads.count[bucket];
  --mesh.bufferCount;
  for (int32_t p = 0; p < mesh.partCount; ++p)
    if (mesh.parts[p].bucket == record) mesh.parts[p].bucket = nullptr;
  ReleaseRecordBuffers(record, ops);
}

void DropEmptyRecords(ModelMesh& mesh, const ModelBufferOps* ops) {
  for (size_t b = 0; b < ModelBucketCount; ++b) {
    ModelBufferRecord* previous = nullptr;
    ModelBufferRecord* record = mesh.heads.first[b];
    while (record != nullptr) {
      ModelBufferRecord* next = record->next;
      if (record->vertexCount == 0 || record->indexCount == 0) {
        UnlinkRecord(mesh, b, previous, record, ops);
      } else {
        previous = record;
      }
      record = next;
    }
  }
}

// The build's last pass (after the empty records are dropped): buffers for every record,
// filled with the parts' data. False when a buffer cannot be created or locked (what is
// locked stays locked for the caller to give back).
struct LockedRecord {
  ModelBufferRecord* record;
  uint8_t* vertices;
  uint16_t* indices;
};

bool CreateAndFill(ModelMesh& mesh, const ModelBufferOps* ops) {
  const bool shaders = ops->shadersInUse != nullptr && ops->shadersInUse() != 0;
  for (size_t b = 0; b < ModelBucketCount; ++b) {
    for (ModelBufferRecord* record = mesh.heads.first[b]; record != nullptr; record = record->next) {
      // The shader formats get buffers only while the programmable path is in use.
      if (record->fvf == 0 && !shaders) continue;
      const auto vertexBytes = static_cast<uint32_t>(record->vertexSize) * static_cast<uint32_t>(record->vertexCount);
      const auto indexBytes = 2u * static_cast<uint32_t>(record->indexCount);
      void* vertexBits = nullptr;
      void* indexBits = nullptr;
      if (ops->createVertexBuffer(vertexBytes, record->fvf, &record->vertexBuffer) < 0 ||
          record->vertexBuffer == nullptr)
        return false;
      if (ops->createIndexBuffer(indexBytes, &record->indexBuffer) < 0 || record->indexBuffer == nullptr)
        return false;
      if (ops->lockVertexBuffer(record->vertexBuffer, &vertexBits) < 0 || vertexBits == nullptr) return false;
      if (ops->lockIndexBuffer(record->indexBuffer, &indexBits) < 0 || indexBits == nullptr) {
        ops->unlockVertexBuffer(record->vertexBuffer);
        return false;
      }
      for (int32_t p = 0; p < mesh.partCount; ++p) {
        const ModelPart& part = mesh.parts[p];
        if (part.bucket != record) continue;
        if (part.vertices != nullptr)
          std::memcpy(static_cast<uint8_t*>(vertexBits) + static_cast<size_t>(part.firstVertex) * record->vertexSize,
                      part.vertices, static_cast<size_t>(part.vertexCount) * record->vertexSize);
        if (part.indices != nullptr)
          std::memcpy(static_cast<uint16_t*>(indexBits) + part.firstIndex, part.indices,
                      static_cast<size_t>(part.indexCount) * 2);
      }
      ops->unlockVertexBuffer(record->vertexBuffer);
      ops->unlockIndexBuffer(record->indexBuffer);
    }
  }
  return true;
}

void FreeList(ModelList*& list) {
  if (list == nullptr) return;
  ModelListNode* node = list->first;
  while (node != nullptr) {
    ModelListNode* next = node->next;
    TrackedFree(node);
    node = next;
  }
  TrackedFree(list);
  list = nullptr;
}

void FreeMeshRecord(ModelMesh* mesh) {
  DropAllRecords(*mesh, CurrentModelBufferOps());
  mesh->built = 0;
  for (void*& block : mesh->blocks) FreeBlock(block);
  for (int32_t m = 0; m < mesh->materialCount && mesh->materials != nullptr; ++m) {
    ModelMaterial& material = mesh->materials[m];
    for (void*& block : material.blocks) FreeBlock(block);
    FreeTextureSource(material.texture);
    ReleaseGraphHandle(material.textureGraph);
    material.textureGraph = -1;
  }
  FreeTyped(mesh->materials);
  for (int32_t p = 0; p < mesh->partCount && mesh->parts != nullptr; ++p) {
    FreeBlock(mesh->parts[p].vertices);
    FreeTyped(mesh->parts[p].indices);
  }
  FreeTyped(mesh->parts);
  TrackedFree(mesh);
}

uint8_t ToByte(float component) {
  const long value = std::lround((component + 1.0f) * 127.5f);
  return static_cast<uint8_t>(ClampToByte(value));
}

int32_t NextPowerOfTwo(int32_t value) {
  int32_t p = 1;
  while (p < value && p < (1 << 30)) p <<= 1;
  return p;
}

// A normal map from the red channel's slopes.
int MakeNormalMap(RasterImage* image, float scale) {
  if (scale < 0.000001f) scale = 0.000001f;
  RasterImage normals{};
  if (AllocXrgb32Image(image->width, image->height, &normals) < 0) return -1;
  for (int32_t y = 0; y < image->height; ++y) {
    for (int32_t x = 0; x < image->width; ++x) {
      int here = 0, right = 0, below = 0, g = 0, b = 0, a = 0;
      ReadImagePixel(image, x, y, &here, &g, &b, &a);
      ReadImagePixel(image, x + 1 < image->width ? x + 1 : 0, y, &right, &g, &b, &a);
      ReadImagePixel(image, x, y + 1 < image->height ? y + 1 : 0, &below, &g, &b, &a);
      const float gx = static_cast<float>(right - here) / 255.0f;
      const float gy = static_cast<float>(below - here) / 255.0f;
      float nx = -scale * gx;
      float ny = -scale * gy;
      float nz = scale * scale;
      const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
      nx /= length;
      ny /= length;
      nz /= length;
      WriteImagePixel(&normals, x, y, ToByte(nx), ToByte(ny), ToByte(nz), 0);
    }
  }
  FreeRasterImage(image);
  *image = normals;
  return 0;
}

// Stretched to power-of-two sides when it is not already.
int StretchToPowerOfTwo(RasterImage* image) {
  if (image->pixels == nullptr) return 0;
  const int32_t width = NextPowerOfTwo(image->width);
  const int32_t height = NextPowerOfTwo(image->height);
  if (width == image->width && height == image->height) return 0;
  RasterImage stretched{};
  if (AllocRasterImage(width, height, &image->format, &stretched) < 0) return -1;
  if (StretchImageRect(0, 0, image->width, image->height, image, 0, 0, width, height, &stretched, 1) < 0) {
    FreeRasterImage(&stretched);
    return -1;
  }
  FreeRasterImage(image);
  *image = stretched;
  return 0;
}

void RebuildTexture(const ModelTextureSource& source, int32_t graph) {
  if (graph < 0 || (source.imageData == nullptr && source.alphaData == nullptr)) return;
  RasterImage image{};
  RasterImage alpha{};
  if (BuildModelTextureImages(&image, &alpha, source.imageData, source.imageSize, source.alphaData,
                              source.alphaSize, source.normalMap, source.normalScale) < 0)
    return;
  TransferRasterToGraph(&image, alpha.pixels != nullptr ? &alpha : nullptr, graph, 0, 0, 0);
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);
}

}  // namespace

int32_t ModelVertexSize(int32_t kind, int32_t materialKind, int32_t format) {
  if (kind < 0 || kind >= ModelPartKinds || materialKind < 0 || materialKind >= ModelMaterialKinds || format < 0 ||
      format >= ModelVertexFormats)
    return 0;
  if (kind == 0 && materialKind == 0) return (format + 4) * 8;
  return ShaderStrides[static_cast<size_t>(materialKind)][static_cast<size_t>(kind)] + 8 * format;
}

uint32_t ModelVertexFvf(int32_t kind, int32_t materialKind, int32_t format) {
  if (kind != 0 || materialKind != 0 || format < 0 || format >= ModelVertexFormats) return 0;
  return static_cast<uint32_t>(format) * 256 | 0xD2;
}

int InitModelTables() {
  if (ModelTables.started != 0 || ScreenState.hardware == 0) return 0;
  if (ModelTables.sineTableFilled == 0) {
    for (int32_t i = 0; i < ModelSineTableSize; ++i) {
      const auto angle = static_cast<float>(i * 6.283185307179586 / ModelSineTableSize);
      ModelSineTable[static_cast<size_t>(i)] = static_cast<float>(std::sin(static_cast<double>(angle)));
    }
    ModelTables.sineTableFilled = 1;
  }
  ModelTables.meshes = ModelSlotArray{};
  ModelTables.models = ModelSlotArray{};
  ModelTables.drawQueue = ModelSlotArray{};
  ModelTables.angleLimit = ModelAngleLimitValue;
  ModelTables.defaultTextureGraph = -1;
  ModelTables.started = 1;
  return 0;
}

int TerminateModelTables() {
  if (ModelTables.started == 0) return 0;
  for (int32_t slot = ModelTables.models.count - 1; slot >= 0; --slot)
    if (ModelTables.models.slots[slot] != nullptr) DeleteModel(MakeBareHandle(slot, HandleKind::Model));
  // A mesh still referenced more than once (by a loader of its own) goes too: its slot is
  // deleted until it is empty.
  for (int32_t slot = ModelTables.meshes.count - 1; slot >= 0; --slot)
    while (slot < ModelTables.meshes.count && ModelTables.meshes.slots[slot] != nullptr)
      DeleteModelMesh(MakeBareHandle(slot, HandleKind::ModelMesh));
  FreeArray(ModelTables.models);
  FreeArray(ModelTables.meshes);
  FreeArray(ModelTables.drawQueue);
  ModelTables.started = 0;
  return 0;
}

int32_t InsertModelMesh(ModelMesh* mesh) {
  if (ModelTables.started == 0 || mesh == nullptr) return -1;
  if (mesh->referenceCount < 1) mesh->referenceCount = 1;
  const int32_t slot = InsertIntoArray(ModelTables.meshes, mesh, ModelMeshSlotLimit);
  return slot < 0 ? -1 : MakeBareHandle(slot, HandleKind::ModelMesh);
}

int32_t InsertModel(ModelInstance* model, int32_t meshHandle) {
  ModelMesh* mesh = GetModelMesh(meshHandle);
  if (ModelTables.started == 0 || model == nullptr || mesh == nullptr) return -1;
  const int32_t slot = InsertIntoArray(ModelTables.models, model, ModelSlotLimit);
  if (slot < 0) return -1;
  model->meshHandle = meshHandle;
  model->next = nullptr;
  model->previous = mesh->lastModel;
  if (mesh->lastModel != nullptr) {
    mesh->lastModel->next = model;
  } else {
    mesh->firstModel = model;
  }
  mesh->lastModel = model;
  ++mesh->modelCount;
  ++mesh->referenceCount;
  return MakeBareHandle(slot, HandleKind::Model);
}

ModelMesh* GetModelMesh(int32_t handle) {
  const int32_t slot = SlotOf(ModelTables.meshes, handle, HandleKind::ModelMesh, ModelMeshSlotLimit);
  if (slot < 0 || !IsRecord(ModelTables.meshes.slots[slot])) return nullptr;
  return static_cast<ModelMesh*>(ModelTables.meshes.slots[slot]);
}

ModelInstance* GetModel(int32_t handle) {
  const int32_t slot = SlotOf(ModelTables.models, handle, HandleKind::Model, ModelSlotLimit);
  if (slot < 0 || !IsRecord(ModelTables.models.slots[slot])) return nullptr;
  return static_cast<ModelInstance*>(ModelTables.models.slots[slot]);
}

int DeleteModelMesh(int32_t handle) {
  const int32_t slot = SlotOf(ModelTables.meshes, handle, HandleKind::ModelMesh, ModelMeshSlotLimit);
  if (slot < 0 || ModelTables.meshes.slots[slot] == nullptr) return -1;
  if (!IsRecord(ModelTables.meshes.slots[slot])) {
    ModelTables.meshes.slots[slot] = nullptr;
    return 0;
  }
  auto* mesh = static_cast<ModelMesh*>(ModelTables.meshes.slots[slot]);
  if (--mesh->referenceCount > 0) return 0;
  FreeMeshRecord(mesh);
  ModelTables.meshes.slots[slot] = nullptr;
  // The count covers the slots up to the last one in use.
  while (ModelTables.meshes.count > 0 && ModelTables.meshes.slots[ModelTables.meshes.count - 1] == nullptr)
    --ModelTables.meshes.count;
  return 0;
}

int DeleteModelFrameSlot(int32_t model, int32_t slot) {
  if (ModelTables.started == 0) return -1;
  ModelInstance* m = GetModel(model);
  if (m == nullptr || slot < 0 || slot >= m->slotCount || m->slots == nullptr) return -1;
  ModelFrameSlot& s = m->slots[slot];
  if (s.inUse != 0) {
    FreeBlock(s.block);
    s = ModelFrameSlot{};
    if (m->frameGrid != nullptr) {
      for (int32_t frame = 0; frame < m->frameCount; ++frame) {
        int32_t* words = m->frameGrid + (static_cast<size_t>(frame) * m->slotCount + slot) * 2;
        words[0] = words[1] = 0;
      }
    }
    --m->slotsInUse;
  }
  m->poseValid = 0;
  m->boundsValid = 0;
  return 0;
}

int DeleteModelList(int32_t model, int32_t frame) {
  ModelInstance* m = GetModel(model);
  if (m == nullptr || frame < -1 || frame >= m->frameCount) return -1;
  if (frame == -1) {
    FreeList(m->modelList);
  } else if (m->frameLists != nullptr) {
    FreeList(m->frameLists[frame]);
  }
  return 0;
}

int DeleteModelFrameBuffer(int32_t model, int32_t frame, int32_t which) {
  ModelInstance* m = GetModel(model);
  if (m == nullptr || frame < -1 || frame >= m->frameCount || which < 0 || which > 1) return -1;
  if (frame == -1) {
    FreeBlock(m->modelBuffers[static_cast<size_t>(which)]);
  } else if (m->frameBuffers != nullptr) {
    FreeBlock(m->frameBuffers[2 * frame + which]);
  }
  return 0;
}

int DeleteModel(int32_t handle) {
  const int32_t slot = SlotOf(ModelTables.models, handle, HandleKind::Model, ModelSlotLimit);
  if (slot < 0 || ModelTables.models.slots[slot] == nullptr) return -1;
  if (!IsRecord(ModelTables.models.slots[slot])) {
    ModelTables.models.slots[slot] = nullptr;
    return 0;
  }
  auto* m = static_cast<ModelInstance*>(ModelTables.models.slots[slot]);
  for (int32_t s = 0; s < m->slotCount; ++s) DeleteModelFrameSlot(handle, s);
  FreeTyped(m->slots);
  for (void*& block : m->slotBlocks) FreeBlock(block);
  for (int32_t frame = 0; frame < m->frameCount; ++frame) {
    DeleteModelFrameBuffer(handle, frame, 0);
    DeleteModelFrameBuffer(handle, frame, 1);
    DeleteModelList(handle, frame);
  }
  DeleteModelFrameBuffer(handle, -1, 0);
  DeleteModelFrameBuffer(handle, -1, 1);
  DeleteModelList(handle, -1);
  FreeTyped(m->frameBuffers);
  FreeTyped(m->frameLists);
  FreeTyped(m->frameGrid);
  for (int32_t i = 0; i < m->materialCount && m->materials != nullptr; ++i) {
    ModelInstanceMaterial& material = m->materials[i];
    if (material.inUse == 0) continue;
    for (void*& block : material.blocks) FreeBlock(block);
    FreeTextureSource(material.texture);
    ReleaseGraphHandle(material.textureGraph);
    material.textureGraph = -1;
  }
  FreeTyped(m->materials);
  if (ModelMesh* mesh = GetModelMesh(m->meshHandle); mesh != nullptr) {
    if (m->previous != nullptr) {
      m->previous->next = m->next;
    } else {
      mesh->firstModel = m->next;
    }
    if (m->next != nullptr) {
      m->next->previous = m->previous;
    } else {
      mesh->lastModel = m->previous;
    }
    --mesh->modelCount;
  }
  DeleteModelMesh(m->meshHandle);
  TrackedFree(m);
  ModelTables.models.slots[slot] = nullptr;
  while (ModelTables.models.count > 0 && ModelTables.models.slots[ModelTables.models.count - 1] == nullptr)
    --ModelTables.models.count;
  return 0;
}

int BuildModelMeshBuffers(int32_t meshHandle) {
  ModelMesh* mesh = GetModelMesh(meshHandle);
  if (mesh == nullptr) return -1;
  if (mesh->built != 0) return 0;
  const ModelBufferOps* ops = CurrentModelBufferOps();
  if (ops == nullptr) return -1;
  ClearBuckets(*mesh);
  if (!SortPartsIntoBuckets(*mesh)) {
    DropAllRecords(*mesh, ops);
    return -1;
  }
  DropEmptyRecords(*mesh, ops);
  if (!CreateAndFill(*mesh, ops)) {
    DropAllRecords(*mesh, ops);
    return -1;
  }
  // Records left without buffers (shader formats on the fixed-function path) are dropped.
  for (size_t b = 0; b < ModelBucketCount; ++b) {
    ModelBufferRecord* previous = nullptr;
    ModelBufferRecord* record = mesh->heads.first[b];
    while (record != nullptr) {
      ModelBufferRecord* next = record->next;
      if (record->vertexBuffer == nullptr || record->indexBuffer == nullptr) {
        UnlinkRecord(*mesh, b, previous, record, ops);
      } else {
        previous = record;
      }
      record = next;
    }
  }
  mesh->built = 1;
  return 0;
}

int ReleaseModelMeshBuffers(int32_t meshHandle) {
  ModelMesh* mesh = GetModelMesh(meshHandle);
  if (mesh == nullptr) return -1;
  if (mesh->built == 0) return 0;
  DropAllRecords(*mesh, CurrentModelBufferOps());
  mesh->built = 0;
  return 0;
}

int RebuildAllModelMeshBuffers() {
  for (int32_t slot = 0; slot < ModelTables.meshes.count; ++slot)
    if (IsRecord(ModelTables.meshes.slots[slot])) BuildModelMeshBuffers(MakeBareHandle(slot, HandleKind::ModelMesh));
  return 0;
}

int ReleaseAllModelMeshBuffers() {
  for (int32_t slot = 0; slot < ModelTables.meshes.count; ++slot)
    if (IsRecord(ModelTables.meshes.slots[slot])) ReleaseModelMeshBuffers(MakeBareHandle(slot, HandleKind::ModelMesh));
  return 0;
}

int RestoreModelTextures() {
  if (ModelTables.started == 0) return 0;
  if (ModelTables.defaultTextureGraph >= 0)
    ReloadGraphFromMemory(DefaultModelTextureTga.data(), static_cast<int32_t>(DefaultModelTextureTga.size()),
                          ModelTables.defaultTextureGraph, nullptr, 0, 0, 0);
  for (int32_t slot = 0; slot < ModelTables.meshes.count; ++slot) {
    if (!IsRecord(ModelTables.meshes.slots[slot])) continue;
    auto* mesh = static_cast<ModelMesh*>(ModelTables.meshes.slots[slot]);
    for (int32_t m = 0; m < mesh->materialCount && mesh->materials != nullptr; ++m)
      RebuildTexture(mesh->materials[m].texture, mesh->materials[m].textureGraph);
  }
  for (int32_t slot = 0; slot < ModelTables.models.count; ++slot) {
    if (!IsRecord(ModelTables.models.slots[slot])) continue;
    auto* model = static_cast<ModelInstance*>(ModelTables.models.slots[slot]);
    for (int32_t m = 0; m < model->materialCount && model->materials != nullptr; ++m)
      if (model->materials[m].inUse != 0) RebuildTexture(model->materials[m].texture, model->materials[m].textureGraph);
  }
  return 0;
}

int BuildModelTextureImages(RasterImage* image, RasterImage* alpha, const void* imageData, int32_t imageSize,
                            const void* alphaData, int32_t alphaSize, int32_t normalMap, float scale) {
  if (image == nullptr || alpha == nullptr) return -1;
  *image = RasterImage{};
  *alpha = RasterImage{};
  auto fail = [&] {
    FreeRasterImage(image);
    FreeRasterImage(alpha);
    return -1;
  };
  if (imageData != nullptr && LoadRasterImage(nullptr, imageData, imageSize, 1, image, 0) < 0) return fail();
  if (alphaData != nullptr && LoadRasterImage(nullptr, alphaData, alphaSize, 1, alpha, 0) < 0) return fail();
  if (imageData == nullptr) {
    if (alpha->pixels == nullptr || AllocXrgb32Image(alpha->width, alpha->height, image) < 0) return fail();
    std::memset(image->pixels, 255, static_cast<size_t>(image->pitch) * static_cast<size_t>(image->height));
  }
  if (normalMap != 0 && MakeNormalMap(image, scale) < 0) return fail();
  if (StretchToPowerOfTwo(image) < 0 || StretchToPowerOfTwo(alpha) < 0) return fail();
  return 0;
}

}  // namespace quelt
