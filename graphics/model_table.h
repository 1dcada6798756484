#pragma once
// The 3-D model tables: a mesh table (shared geometry and materials, and the Direct3D vertex
// and index buffers built from it) and a model table (instances that use a mesh and own
// their per-frame data). Nothing in this program loads a model, so both tables normally stay
// empty; what is here is their start, end, deletion, and the rebuilding of their device
// objects around a device reset.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"
#include "image/raster_image.h"

namespace quelt {

inline constexpr int32_t ModelSineTableSize = 65536;
// sin(i x 2 pi / 65536), filled once on the Direct3D path.
extern std::array<float, ModelSineTableSize> ModelSineTable;
inline constexpr float ModelAngleLimitValue = 1.5620697f;  // 89.5 degrees

// Handles carry no check id. Their kinds are kept apart from every other handle kind, so a
// graph or sound handle is never taken for a mesh or a model.
inline constexpr int32_t ModelMeshSlotLimit = 0x20000;  // 17 bits
inline constexpr int32_t ModelSlotLimit = 0x10000;
// A table slot holding this value is reserved: no record behind it.
inline constexpr uintptr_t ReservedModelSlot = 1;

// Bucket lists: 3 part kinds (0 plain, 1 and 2 with one or two sets of blend weights) x
// 2 material kinds (0 plain, 1 with a tangent frame) x 9 texture-coordinate counts.
inline constexpr int32_t ModelPartKinds = 3;
inline constexpr int32_t ModelMaterialKinds = 2;
inline constexpr int32_t ModelVertexFormats = 9;
inline constexpr int32_t ModelBucketCount = ModelPartKinds * ModelMaterialKinds * ModelVertexFormats;
// A buffer record takes parts until one of these totals would be passed.
inline constexpr int32_t ModelBufferVertexLimit = 0x5FFFF;
inline constexpr int32_t ModelBufferIndexLimit = 0xBFFFF;

constexpr int32_t ModelBucketIndex(int32_t kind, int32_t materialKind, int32_t format) {
  return (kind * ModelMaterialKinds + materialKind) * ModelVertexFormats + format;
}

// One vertex buffer and one index buffer holding the data of several parts of a bucket.
struct ModelBufferRecord {
  ModelBufferRecord* next;
  void* vertexBuffer;
  void* indexBuffer;
  int32_t vertexCount;
  int32_t indexCount;
  int32_t partCount;
  int32_t vertexSize;
  uint32_t fvf;  // 0 for the shader formats
};
static_assert(sizeof(void*) != 4 || sizeof(ModelBufferRecord) == 32);

struct ModelBucketHeads {
  std::array<ModelBufferRecord*, ModelBucketCount> first;
  std::array<ModelBufferRecord*, ModelBucketCount> last;
  std::array<int32_t, ModelBucketCount> count;
};
static_assert(sizeof(void*) != 4 || sizeof(ModelBucketHeads) == 3 * 216);

// Where a material's texture comes from, kept so a device reset can build it again.
struct ModelTextureSource {
  void* imageData;  // owned blocks, null when absent
  int32_t imageSize;
  void* alphaData;
  int32_t alphaSize;
  int32_t normalMap;
  float normalScale;
};

struct ModelMaterial {
  std::array<void*, 4> blocks;  // owned
  int32_t textureGraph;         // GraphHandle or -1
  ModelTextureSource texture;
};

struct ModelPart {
  int32_t kind;          // 0..2
  int32_t materialKind;  // 0..1
  int32_t format;        // texture-coordinate count 0..8
  int32_t vertexCount;
  int32_t indexCount;
  void* vertices;      // owned, vertexCount x the bucket's vertex size
  uint16_t* indices;   // owned, relative to the part's own first vertex
  ModelBufferRecord* bucket;  // the buffer record holding it once built
  int32_t firstVertex;        // where it starts inside that record
  int32_t firstIndex;
};

struct ModelInstance;

struct ModelMesh {
  int32_t referenceCount;
  std::array<void*, 2> blocks;  // owned
  ModelMaterial* materials;     // owned array
  int32_t materialCount;
  ModelPart* parts;  // owned array
  int32_t partCount;
  ModelBucketHeads heads;
  int32_t bufferCount;
  int32_t built;
  // The models using this mesh.
  ModelInstance* firstModel;
  ModelInstance* lastModel;
  int32_t modelCount;
};

struct ModelListNode {
  ModelListNode* next;
};
// A linked list of owned nodes behind an owned head.
struct ModelList {
  ModelListNode* first;
  int32_t count;
};

// Six words; the first byte says the slot is in use.
struct ModelFrameSlot {
  uint8_t inUse;
  uint8_t pad[3];
  void* block;  // owned
  int32_t words[4];
};

struct ModelInstanceMaterial {
  int32_t inUse;
  std::array<void*, 4> blocks;  // owned
  int32_t textureGraph;         // -1 when none
  ModelTextureSource texture;
};

struct ModelInstance {
  int32_t meshHandle;
  ModelInstance* previous;  // in the mesh's list of models
  ModelInstance* next;
  ModelFrameSlot* slots;  // owned array of slotCount
  int32_t slotCount;
  int32_t slotsInUse;
  std::array<void*, 2> slotBlocks;  // owned, freed with the slot array
  int32_t frameCount;
  int32_t* frameGrid;  // owned: frameCount rows of slotCount x 2 words
  ModelList** frameLists;  // owned array of frameCount lists (each may be null)
  ModelList* modelList;
  // Two buffers per frame (frameBuffers[2 x frame + which]) and two for the whole model.
  void** frameBuffers;  // owned array of 2 x frameCount
  std::array<void*, 2> modelBuffers;
  ModelInstanceMaterial* materials;  // owned array
  int32_t materialCount;
  int32_t poseValid;
  int32_t boundsValid;
};

// A growable array of slots (a record pointer, null, or ReservedModelSlot).
struct ModelSlotArray {
  void** slots;
  int32_t count;  // slots in use (records and reserved)
  int32_t capacity;
};

struct ModelTablesRecord {
  int32_t started;
  int32_t sineTableFilled;
  float angleLimit;
  ModelSlotArray meshes;
  ModelSlotArray models;
  // Models queued for a frame's drawing; nothing draws models in this program.
  ModelSlotArray drawQueue;
  int32_t defaultTextureGraph;  // -1 until a model loader makes it
};
extern ModelTablesRecord ModelTables;

// The device calls of the mesh buffers, over opaque objects; results below 0 are failures.
struct ModelBufferOps {
  int32_t (*createVertexBuffer)(uint32_t length, uint32_t fvf, void** buffer);
  int32_t (*createIndexBuffer)(uint32_t length, void** buffer);
  int32_t (*lockVertexBuffer)(void* buffer, void** bits);
  int32_t (*unlockVertexBuffer)(void* buffer);
  int32_t (*lockIndexBuffer)(void* buffer, void** bits);
  int32_t (*unlockIndexBuffer)(void* buffer);
  int32_t (*release)(void* object);
  // 1 when the programmable path is in use (the shader vertex formats can be built).
  int32_t (*shadersInUse)();
};
// Direct3D 9 on Windows, null natively.
extern const ModelBufferOps* PlatformModelBufferOps;
// Tests set this to build over their own table; null in the product.
extern const ModelBufferOps* ModelBufferOpsOverride;
// The table to use while a device exists (or the override), else null.
const ModelBufferOps* CurrentModelBufferOps();

// The size in bytes of one vertex of a bucket, and its FVF (0 for the shader formats).
int32_t ModelVertexSize(int32_t kind, int32_t materialKind, int32_t format);
uint32_t ModelVertexFvf(int32_t kind, int32_t materialKind, int32_t format);

int InitModelTables();
int TerminateModelTables();

// A record made by TrackedAlloc goes into the first free slot (the table owns it from then
// on); the new handle, or -1 when the table is full, not started or out of memory.
int32_t InsertModelMesh(ModelMesh* mesh);
// The model joins its mesh's list of models and holds one reference to the mesh.
int32_t InsertModel(ModelInstance* model, int32_t meshHandle);
ModelMesh* GetModelMesh(int32_t handle);
ModelInstance* GetModel(int32_t handle);

int DeleteModelMesh(int32_t handle);
int DeleteModel(int32_t handle);
int DeleteModelFrameSlot(int32_t model, int32_t slot);
int DeleteModelList(int32_t model, int32_t frame);
int DeleteModelFrameBuffer(int32_t model, int32_t frame, int32_t which);

int BuildModelMeshBuffers(int32_t mesh);
int RebuildAllModelMeshBuffers();
int ReleaseModelMeshBuffers(int32_t mesh);
int ReleaseAllModelMeshBuffers();

// The 8 x 8 opaque white TGA image of the default model texture (84 bytes, run-length coded).
extern const std::array<uint8_t, 84> DefaultModelTextureTga;
int RestoreModelTextures();
// Decodes a material's texture from memory (and its alpha image), turns it into a normal map
// when asked, and stretches both to power-of-two sides. 0, or -1 with nothing left allocated.
int BuildModelTextureImages(RasterImage* image, RasterImage* alpha, const void* imageData, int32_t imageSize,
                            const void* alphaData, int32_t alphaSize, int32_t normalMap, float scale);

}  // namespace quelt
