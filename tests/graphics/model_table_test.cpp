// The 3-D model tables over a buffer table in memory: handles, deletion, buffer building and
// its failure road, and the texture images of a material.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "core/tracked_alloc.h"
#include "graphics/model_table.h"
#include "graphics/screen_mode.h"
#include "image/image_load.h"
#include "image/image_ops.h"

namespace {

using namespace quelt;

// Buffers are plain byte vectors; every live one is counted so leaks and double releases show.
struct FakeBuffers {
  std::map<void*, std::vector<uint8_t>> live;
  std::vector<uint32_t> fvfs;
  int32_t failAfter = -1;  // creations allowed before one fails; -1 never
  int32_t shaders = 0;
  int32_t locked = 0;
};
FakeBuffers Fake;

int32_t Create(uint32_t length, void** buffer) {
  if (Fake.failAfter == 0) return -1;
  if (Fake.failAfter > 0) --Fake.failAfter;
  auto* key = new uint8_t;
  Fake.live[key] = std::vector<uint8_t>(length, 0xCD);
  *buffer = key;
  return 0;
}
int32_t CreateVb(uint32_t length, uint32_t fvf, void** buffer) {
  Fake.fvfs.push_back(fvf);
  return Create(length, buffer);
}
int32_t CreateIb(uint32_t length, void** buffer) { return Create(length, buffer); }
int32_t Lock(void* buffer, void** bits) {
  ++Fake.locked;
  *bits = Fake.live.at(buffer).data();
  return 0;
}
int32_t Unlock(void*) {
  --Fake.locked;
  return 0;
}
int32_t Release(void* object) {
  EXPECT_EQ(Fake.live.erase(object), 1u);
  delete static_cast<uint8_t*>(object);
  return 0;
}
int32_t Shaders() { return Fake.shaders; }
constexpr ModelBufferOps FakeOps{CreateVb, CreateIb, Lock, Unlock, Lock, Unlock, Release, Shaders};

class ModelTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fake = FakeBuffers{};
    ModelBufferOpsOverride = &FakeOps;
    ScreenState = ScreenStateRecord{};
    ScreenState.hardware = 1;
    blocksBefore = TrackedAllocator.blockCount;
    ASSERT_EQ(InitModelTables(), 0);
  }
  void TearDown() override {
    EXPECT_EQ(TerminateModelTables(), 0);
    EXPECT_EQ(ModelTables.started, 0);
    EXPECT_TRUE(Fake.live.empty());
    EXPECT_EQ(TrackedAllocator.blockCount, blocksBefore);
    ModelBufferOpsOverride = nullptr;
    ScreenState = ScreenStateRecord{};
  }

  template <typename T>
  static T* Alloc(size_t count = 1) {
    auto* p = static_cast<T*>(TrackedAlloc(static_cast<int32_t>(sizeof(T) * count), __FILE__, __LINE__));
    std::memset(static_cast<void*>(p), 0, sizeof(T) * count);
    return p;
  }

  // A mesh whose parts are given as (kind, material kind, format, vertices, indices); vertex
  // bytes hold the part's number, indices count up from 0.
  static int32_t MakeMesh(const std::vector<std::array<int32_t, 5>>& parts) {
    auto* mesh = Alloc<ModelMesh>();
    mesh->parts = Alloc<ModelPart>(parts.size());
    mesh->partCount = static_cast<int32_t>(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
      ModelPart& p = mesh->parts[i];
      p.kind = parts[i][0];
      p.materialKind = parts[i][1];
      p.format = parts[i][2];
      p.vertexCount = parts[i][3];
      p.indexCount = parts[i][4];
      const size_t bytes = static_cast<size_t>(p.vertexCount) * ModelVertexSize(p.kind, p.materialKind, p.format);
      p.vertices = Alloc<uint8_t>(bytes == 0 ? 1 : bytes);
      std::memset(p.vertices, static_cast<int>(i + 1), bytes);
      p.indices = Alloc<uint16_t>(p.indexCount == 0 ? 1 : static_cast<size_t>(p.indexCount));
      for (int32_t k = 0; k < p.indexCount; ++k) p.indices[k] = static_cast<uint16_t>(k);
    }
    mesh->materials = Alloc<ModelMaterial>(1);
    mesh->materialCount = 1;
    mesh->materials[0].textureGraph = -1;
    mesh->materials[0].blocks[0] = Alloc<uint8_t>(8);
    return InsertModelMesh(mesh);
  }

  int32_t blocksBefore = 0;
};

TEST_F(ModelTableTest, HandlesNeverPassForAnotherKind) {
  const int32_t mesh = MakeMesh({{0, 0, 1, 3, 3}});
  ASSERT_GE(mesh, 0);
  EXPECT_FALSE(HandleHasKind(mesh, HandleKind::Graph));
  EXPECT_TRUE(HandleHasKind(mesh, HandleKind::ModelMesh));
  auto* model = Alloc<ModelInstance>();
  const int32_t m = InsertModel(model, mesh);
  ASSERT_GE(m, 0);
  EXPECT_FALSE(HandleHasKind(m, HandleKind::Sound));
  for (HandleKind kind : {HandleKind::Graph, HandleKind::Sound, HandleKind::Movie, HandleKind::Font,
                          HandleKind::Mask, HandleKind::NetWork, HandleKind::TextInput, HandleKind::Music,
                          HandleKind::Light, HandleKind::ScratchImage}) {
    // A handle of any other kind in the same slot names nothing here.
    const int32_t other = MakeEngineHandle(0, 0, kind);
    EXPECT_EQ(DeleteModelMesh(other), -1);
    EXPECT_EQ(DeleteModel(other), -1);
  }
  EXPECT_EQ(GetModel(m), model);
  EXPECT_EQ(GetModelMesh(mesh)->referenceCount, 2);
  // The end of the tables frees a mesh held more than once as well (the fixture counts).
  GetModelMesh(MakeMesh({{0, 0, 0, 3, 3}}))->referenceCount = 3;
}

TEST_F(ModelTableTest, StartsOnlyOnDirect3DWithItsSineTable) {
  EXPECT_EQ(ModelTables.angleLimit, 1.5620697f);
  EXPECT_EQ(ModelSineTable[0], 0.0f);
  EXPECT_FLOAT_EQ(ModelSineTable[16384], 1.0f);
  EXPECT_NEAR(ModelSineTable[8192], 0.70710677f, 1e-7f);
  EXPECT_NEAR(ModelSineTable[49152], -1.0f, 1e-7f);
  TerminateModelTables();
  ScreenState.hardware = 0;
  EXPECT_EQ(InitModelTables(), 0);
  EXPECT_EQ(ModelTables.started, 0);
  auto* refused = Alloc<ModelMesh>();
  EXPECT_EQ(InsertModelMesh(refused), -1);  // refused before start: the caller keeps it
  TrackedFree(refused);
  ScreenState.hardware = 1;
  EXPECT_EQ(InitModelTables(), 0);
}

TEST_F(ModelTableTest, DeletionFollowsReferencesAndReservedSlots) {
  const int32_t mesh = MakeMesh({{0, 0, 0, 3, 3}});
  auto* a = Alloc<ModelInstance>();
  auto* b = Alloc<ModelInstance>();
  a->slotCount = 2;
  a->slots = Alloc<ModelFrameSlot>(2);
  a->slots[1].inUse = 1;
  a->slots[1].block = Alloc<uint8_t>(4);
  a->slotsInUse = 1;
  a->frameCount = 2;
  a->frameGrid = Alloc<int32_t>(2 * 2 * 2);
  for (int i = 0; i < 8; ++i) a->frameGrid[i] = 7;
  a->frameLists = Alloc<ModelList*>(2);
  a->frameLists[1] = Alloc<ModelList>();
  a->frameLists[1]->first = Alloc<ModelListNode>();
  a->frameLists[1]->first->next = Alloc<ModelListNode>();
  a->frameBuffers = Alloc<void*>(4);
  a->frameBuffers[3] = Alloc<uint8_t>(16);
  a->modelBuffers[0] = Alloc<uint8_t>(16);
  a->materials = Alloc<ModelInstanceMaterial>(1);
  a->materialCount = 1;
  a->materials[0].inUse = 1;
  a->materials[0].textureGraph = -1;
  a->materials[0].blocks[2] = Alloc<uint8_t>(4);
  const int32_t ha = InsertModel(a, mesh);
  const int32_t hb = InsertModel(b, mesh);
  ASSERT_GE(hb, 0);
  ModelMesh* m = GetModelMesh(mesh);
  EXPECT_EQ(m->modelCount, 2);
  EXPECT_EQ(m->firstModel, a);
  EXPECT_EQ(m->lastModel, b);

  EXPECT_EQ(DeleteModelFrameSlot(ha, 2), -1);
  EXPECT_EQ(DeleteModelFrameSlot(ha, 1), 0);
  EXPECT_EQ(a->slotsInUse, 0);
  EXPECT_EQ(a->frameGrid[2], 0);  // frame 0, slot 1
  EXPECT_EQ(a->frameGrid[7], 0);  // frame 1, slot 1
  EXPECT_EQ(a->frameGrid[0], 7);
  EXPECT_EQ(DeleteModelList(ha, 2), -1);
  EXPECT_EQ(DeleteModelFrameBuffer(ha, 0, 2), -1);

  // The mesh lives while a model uses it.
  EXPECT_EQ(DeleteModelMesh(mesh), 0);
  EXPECT_NE(GetModelMesh(mesh), nullptr);
  EXPECT_EQ(DeleteModel(ha), 0);
  EXPECT_EQ(DeleteModel(ha), -1);
  EXPECT_EQ(m->firstModel, b);
  EXPECT_EQ(b->previous, nullptr);
  EXPECT_EQ(m->modelCount, 1);
  EXPECT_EQ(DeleteModel(hb), 0);
  EXPECT_EQ(GetModelMesh(mesh), nullptr);
  EXPECT_EQ(DeleteModelMesh(mesh), -1);

  // A reserved slot is simply cleared; a slot behind it stays reachable.
  const int32_t kept = MakeMesh({{0, 0, 0, 3, 3}});
  const int32_t second = MakeMesh({{0, 0, 0, 3, 3}});
  void*& slot = ModelTables.meshes.slots[kept & 0xFFFF];
  void* record = slot;
  slot = reinterpret_cast<void*>(ReservedModelSlot);
  EXPECT_EQ(GetModelMesh(kept), nullptr);
  EXPECT_EQ(DeleteModelMesh(kept), 0);
  EXPECT_EQ(DeleteModelMesh(kept), -1);
  EXPECT_NE(GetModelMesh(second), nullptr);
  slot = record;  // the tables' end frees it
}

TEST_F(ModelTableTest, BuffersChainByBucketAndLimitAndHoldThePartsData) {
  const int32_t mesh = MakeMesh({
      {0, 0, 1, 4, 6},                         // bucket A
      {0, 0, 2, 3, 3},                         // bucket B
      {0, 0, 1, 5, 9},                         // bucket A, same record
      {0, 0, 1, ModelBufferVertexLimit, 3},    // bucket A, a new record: the vertex total would pass
      {0, 0, 3, 0, 0},                         // an empty record: dropped
      {1, 0, 0, 3, 3},                         // a shader format: no buffers without shaders
  });
  ASSERT_EQ(BuildModelMeshBuffers(mesh), 0);
  ModelMesh* m = GetModelMesh(mesh);
  EXPECT_EQ(m->built, 1);
  EXPECT_EQ(m->bufferCount, 3);
  EXPECT_EQ(Fake.live.size(), 6u);
  EXPECT_EQ(Fake.locked, 0);
  const size_t a = ModelBucketIndex(0, 0, 1);
  ModelBufferRecord* first = m->heads.first[a];
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(m->heads.count[a], 2);
  EXPECT_EQ(first->vertexCount, 9);
  EXPECT_EQ(first->indexCount, 15);
  EXPECT_EQ(first->vertexSize, 40);
  EXPECT_EQ(first->fvf, 0x1D2u);
  EXPECT_EQ(m->heads.last[a], first->next);
  EXPECT_EQ(m->parts[2].bucket, first);
  EXPECT_EQ(m->parts[2].firstVertex, 4);
  EXPECT_EQ(m->parts[2].firstIndex, 6);
  EXPECT_EQ(m->parts[4].bucket, nullptr);
  EXPECT_EQ(m->parts[5].bucket, nullptr);
  EXPECT_EQ(m->heads.first[ModelBucketIndex(1, 0, 0)], nullptr);
  const std::vector<uint8_t>& vertices = Fake.live.at(first->vertexBuffer);
  ASSERT_EQ(vertices.size(), 9u * 40u);
  EXPECT_EQ(vertices[0], 1);
  EXPECT_EQ(vertices[4 * 40 - 1], 1);
  EXPECT_EQ(vertices[4 * 40], 3);
  const std::vector<uint8_t>& indices = Fake.live.at(first->indexBuffer);
  EXPECT_EQ(indices[2 * 6], 0);  // the third part's indices stay relative to its own vertices
  EXPECT_EQ(indices[2 * 7], 1);
  EXPECT_EQ(BuildModelMeshBuffers(mesh), 0);  // already built: nothing new
  EXPECT_EQ(Fake.live.size(), 6u);

  EXPECT_EQ(ReleaseAllModelMeshBuffers(), 0);
  EXPECT_TRUE(Fake.live.empty());
  EXPECT_EQ(m->built, 0);
  EXPECT_EQ(m->parts[0].bucket, nullptr);
  Fake.shaders = 1;
  EXPECT_EQ(RebuildAllModelMeshBuffers(), 0);
  EXPECT_EQ(m->bufferCount, 4);
  ModelBufferRecord* shader = m->heads.first[ModelBucketIndex(1, 0, 0)];
  ASSERT_NE(shader, nullptr);
  EXPECT_EQ(shader->fvf, 0u);
  EXPECT_EQ(shader->vertexSize, 52);
}

TEST_F(ModelTableTest, AFailedBufferReleasesEverythingBuilt) {
  const int32_t mesh = MakeMesh({{0, 0, 0, 3, 3}, {0, 0, 1, 3, 3}, {0, 1, 2, 3, 3}});
  Fake.failAfter = 3;  // the second record's index buffer
  EXPECT_EQ(BuildModelMeshBuffers(mesh), -1);
  ModelMesh* m = GetModelMesh(mesh);
  EXPECT_TRUE(Fake.live.empty());
  EXPECT_EQ(Fake.locked, 0);
  EXPECT_EQ(m->built, 0);
  EXPECT_EQ(m->bufferCount, 0);
  for (size_t b = 0; b < ModelBucketCount; ++b) EXPECT_EQ(m->heads.first[b], nullptr);
  Fake.failAfter = -1;
  EXPECT_EQ(BuildModelMeshBuffers(mesh), 0);
  ModelBufferOpsOverride = nullptr;  // no device
  EXPECT_EQ(BuildModelMeshBuffers(MakeMesh({{0, 0, 0, 3, 3}})), -1);
  ModelBufferOpsOverride = &FakeOps;
}

TEST_F(ModelTableTest, TextureImagesBecomeNormalMapsOfPowerOfTwoSides) {
  // The default texture: 8 x 8 opaque white.
  RasterImage white{};
  ASSERT_EQ(LoadRasterImage(nullptr, DefaultModelTextureTga.data(), 84, 1, &white, 0), 0);
  EXPECT_EQ(white.width, 8);
  EXPECT_EQ(white.height, 8);
  EXPECT_EQ(ReadImagePixelArgb(&white, 7, 7), 0xFFFFFFFFu);

  // A 3 x 2 TGA picture whose red ramps along x.
  std::vector<uint8_t> tga(18 + 3 * 2 * 4, 0);
  tga[2] = 2;
  tga[12] = 3;
  tga[14] = 2;
  tga[16] = 32;
  tga[17] = 0x28;
  for (int i = 0; i < 6; ++i) {
    tga[18 + i * 4 + 2] = static_cast<uint8_t>((i % 3) * 100);
    tga[18 + i * 4 + 3] = 255;
  }
  RasterImage image{};
  RasterImage alpha{};
  ASSERT_EQ(BuildModelTextureImages(&image, &alpha, tga.data(), static_cast<int32_t>(tga.size()), nullptr, 0, 1, 1.0f),
            0);
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(alpha.pixels, nullptr);
  FreeRasterImage(&image);
  // Unstretched (a 4 x 2 picture) the values can be read exactly: slope 100/255 along x,
  // none along y; at the right edge the slope wraps to column 0.
  std::vector<uint8_t> four(18 + 4 * 2 * 4, 0);
  std::memcpy(four.data(), tga.data(), 18);
  four[12] = 4;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) four[18 + (y * 4 + x) * 4 + 2] = static_cast<uint8_t>(x * 50);
  ASSERT_EQ(BuildModelTextureImages(&image, &alpha, four.data(), static_cast<int32_t>(four.size()), nullptr, 0, 1, 1.0f),
            0);
  const float g = 50.0f / 255.0f;
  const float length = std::sqrt(g * g + 1.0f);
  const uint32_t inner = ReadImagePixelArgb(&image, 0, 0);
  EXPECT_EQ((inner >> 16) & 0xFF, static_cast<uint32_t>(std::lround((-g / length + 1.0f) * 127.5f)));
  EXPECT_EQ((inner >> 8) & 0xFF, 128u);
  EXPECT_EQ(inner & 0xFF, static_cast<uint32_t>(std::lround((1.0f / length + 1.0f) * 127.5f)));
  const uint32_t edge = ReadImagePixelArgb(&image, 3, 1);
  EXPECT_GT((edge >> 16) & 0xFF, 128u);  // 150 back down to 0
  FreeRasterImage(&image);

  // Only an alpha image: the colour is white of its size.
  ASSERT_EQ(BuildModelTextureImages(&image, &alpha, nullptr, 0, tga.data(), static_cast<int32_t>(tga.size()), 0, 0), 0);
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(alpha.width, 4);
  EXPECT_EQ(ReadImagePixelArgb(&image, 1, 1) & 0xFFFFFF, 0xFFFFFFu);
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);

  // A damaged alpha image leaves nothing allocated.
  const int32_t before = TrackedAllocator.blockCount;
  EXPECT_EQ(BuildModelTextureImages(&image, &alpha, tga.data(), static_cast<int32_t>(tga.size()), tga.data(), 12, 0, 0),
            -1);
  EXPECT_EQ(TrackedAllocator.blockCount, before);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(BuildModelTextureImages(&image, &alpha, nullptr, 0, nullptr, 0, 0, 0), -1);
  FreeRasterImage(&white);
}

}  // namespace
