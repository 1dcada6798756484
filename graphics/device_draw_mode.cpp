#include "graphics/device_state.h"

#include "graphics/device_calls.h"
#include "graphics/graph_table.h"
#include "graphics/shader_state.h"
#include "softrender/blend_mode.h"

namespace quelt {

using namespace d3d;
using namespace device_calls;

// --- Deferred draw-mode setters -----------------------------------------------------------------

int SetDrawTexture(void* texture) {
  if (DeviceStateCache.drawTexture != texture) {
    FlushVertexBatch();
    // A texture replacing none, or the reverse, changes the stage recipe and the vertex
    // format: the whole draw mode is applied again, whichever draw prepares it.
    if ((DeviceStateCache.drawTexture == nullptr) != (texture == nullptr)) DeviceStateCache.modeChanged = 1;
    DeviceStateCache.drawTexture = texture;
    DeviceStateCache.textureChanged = 1;
  }
  return 0;
}

int SetBlendTexture(int32_t borderRange, void* texture, int32_t borderParam) {
  if (borderRange == -1) borderRange = DeviceStateCache.borderRange;
  if (borderParam == -1) borderParam = DeviceStateCache.borderParam;
  if (DeviceStateCache.blendTexture == texture && DeviceStateCache.borderRange == borderRange &&
      DeviceStateCache.borderParam == borderParam)
    return 0;
  FlushVertexBatch();
  DeviceStateCache.blendTexture = texture;
  DeviceStateCache.borderRange = borderRange;
  DeviceStateCache.borderParam = borderParam;
  DeviceStateCache.modeChanged = 1;
  return 0;
}

int SetDrawModeParams(int32_t blendMode, int32_t alphaChannel, int32_t alphaTest) {
  if (DeviceStateCache.blendMode == blendMode && DeviceStateCache.alphaChannel == alphaChannel &&
      DeviceStateCache.alphaTest == alphaTest)
    return 0;
  FlushVertexBatch();
  DeviceStateCache.blendMode = blendMode;
  DeviceStateCache.alphaChannel = alphaChannel;
  DeviceStateCache.alphaTest = alphaTest;
  DeviceStateCache.modeChanged = 1;
  return 0;
}

int SetUserDrawModeBlock(const DrawModeBlock* block, int32_t value) {
  FlushVertexBatch();
  if (block == nullptr) {
    DeviceStateCache.userBlockOn = 0;
    DeviceStateCache.modeChanged = 1;
    return 0;
  }
  DeviceStateCache.userBlock = *block;
  // A block names at most the eight stages the device and the cache have.
  if (DeviceStateCache.userBlock.stageCount < 0) DeviceStateCache.userBlock.stageCount = 0;
  if (DeviceStateCache.userBlock.stageCount > SamplerStageCount)
    DeviceStateCache.userBlock.stageCount = SamplerStageCount;
  DeviceStateCache.userBlockOn = 1;
  DeviceStateCache.userBlockValue = value;
  return ApplyDrawMode(1, nullptr, value);
}

// --- Draw mode -------------------------------------------------------------------------------------

namespace {

struct BlendModeRow {
  uint32_t src, dest;  // 0 = the blend factors are not sent
  int32_t recipe;
  uint32_t op;
};
constexpr std::array<BlendModeRow, BlendModeCount> BlendModeTable{{
    {0, 0, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendInvSrcAlpha, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendOne, 0, BlendOpAdd},
    {BlendInvDestColor, BlendZero, 0, BlendOpAdd},
    {BlendZero, BlendSrcColor, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendOne, 0, BlendOpAdd},
    {0, 0, 0, BlendOpAdd},
    {0, 0, 0, BlendOpAdd},
    {BlendZero, BlendOne, 0, BlendOpAdd},
    {BlendInvDestColor, BlendZero, 0, BlendOpAdd},
    {BlendSrcAlpha, BlendInvSrcAlpha, 2, BlendOpAdd},
    {BlendZero, BlendSrcColor, 1, BlendOpAdd},
    {BlendSrcAlpha, BlendOne, 0, BlendOpRevSubtract},
}};

constexpr RecipeStage Stage(int16_t coords, uint16_t aOp, uint16_t a1, uint16_t a2, uint16_t cOp,
                            uint16_t c1, uint16_t c2) {
  return {coords, a1, a2, aOp, c1, c2, cOp};
}

// Stage 0 colour of an image: c = 0 takes X, c = 1 modulates it with the vertex colour.
constexpr void ImageColour(RecipeStage& s, int c, uint16_t x) {
  s.colourOp = c ? TopModulate : TopSelectArg1;
  s.colourArg1 = x;
  s.colourArg2 = c ? uint16_t{TaDiffuse} : Leave;
}

constexpr DrawRecipe BuildRecipe(int index) {
  DrawRecipe r{};
  const int recipe = index / 24;
  const bool blend = (index % 24) >= 12;
  const int c = (index % 12) / 6;
  const int a = (index % 6) / 3;
  const int k = index % 3;
  if (blend && recipe != 0) return r;  // recipe 1 with a blend texture: no stage
  if (!blend) {
    RecipeStage s0 = k == 0 ? Stage(0, TopSelectArg2, Leave, TaDiffuse, 0, 0, 0)
                     : a == 0 ? Stage(0, TopSelectArg1, TaTexture, Leave, 0, 0, 0)
                              : Stage(0, TopModulate, TaTexture, TaDiffuse, 0, 0, 0);
    ImageColour(s0, c, recipe == 2 ? uint16_t{TaTexture | TaComplement} : uint16_t{TaTexture});
    r.stages[0] = s0;
    r.stageCount = 1;
    if (recipe == 1) {
      r.stages[1] = Stage(-1, TopSelectArg1, TaCurrent, Leave, TopBlendCurrentAlpha, TaCurrent, TaTFactor);
      r.stageCount = 2;
    }
    return r;
  }
  r.stages[0] = Stage(0, TopAdd, TaTexture, TaTFactor, TopSelectArg2, Leave, TaDiffuse);
  if (k == 0) {
    RecipeStage s1 = a == 0 ? Stage(1, TopModulate, TaCurrent, TaDiffuse, 0, 0, 0)
                            : Stage(1, TopModulate, TaDiffuse, TaCurrent, 0, 0, 0);
    ImageColour(s1, c, TaTexture);
    r.stages[1] = s1;
    r.stageCount = 2;
  } else if (k == 2) {
    RecipeStage s1 = Stage(1, TopModulate, TaTexture, TaCurrent, 0, 0, 0);
    ImageColour(s1, c, TaTexture);
    r.stages[1] = s1;
    r.stageCount = 2;
    if (a == 1) {
      r.stages[2] = Stage(1, TopModulate, TaDiffuse, TaCurrent, TopSelectArg1, TaCurrent, Leave);
      r.stageCount = 3;
    }
  } else {
    r.stages[1] = Stage(1, TopModulate, TaSpecular, TaCurrent, TopSelectArg1, TaCurrent, Leave);
    RecipeStage s2 = Stage(1, TopModulate, TaTexture, TaCurrent, 0, 0, 0);
    ImageColour(s2, c, TaTexture);
    r.stages[2] = s2;
    r.stageCount = 3;
    if (a == 1) {
      r.stages[3] = Stage(0, TopModulate, TaDiffuse, TaCurrent, TopSelectArg1, TaCurrent, Leave);
      r.stageCount = 4;
    }
  }
  return r;
}

constexpr std::array<DrawRecipe, DrawRecipeCount> BuildRecipeTable() {
  std::array<DrawRecipe, DrawRecipeCount> table{};
  for (int i = 0; i < DrawRecipeCount; ++i) table[i] = BuildRecipe(i);
  return table;
}

// Without a draw texture: the vertex colour alone (one stage per recipe).
constexpr std::array<RecipeStage, 3> UntexturedStages{{
    Stage(0, TopSelectArg1, TaDiffuse, Leave, TopSelectArg1, TaDiffuse, Leave),
    Stage(0, TopSelectArg1, TaDiffuse, Leave, TopBlendDiffuseAlpha, TaDiffuse, TaTFactor),
    Stage(0, TopSelectArg1, TaDiffuse, Leave, TopSelectArg1, TaDiffuse | TaComplement, Leave),
}};

constexpr std::array<uint32_t, DrawModeStateCount> DrawModeStateIds{
    RsAlphaTestEnable, RsAlphaRef, RsAlphaFunc, RsAlphaBlendEnable,
    RsTextureFactor,   RsSrcBlend, RsDestBlend, RsBlendOp};

}  // namespace

void device_calls::SendDrawModeState(int32_t which, uint32_t value) {
  uint32_t& cached = DeviceStateCache.applied.states[which];
  if (cached == value && ForceStateReapply == 0) return;
  cached = value;
  Sink().setRenderState(Dev(), DrawModeStateIds[which], value);
  if (which == DmTextureFactor) SendTextureFactorShaderConstant(value);
}

namespace {

void SendStage(uint32_t stage, const DrawModeStage& s) {
  DrawModeStage& cached = DeviceStateCache.applied.stages[stage];
  SendTexture(stage, s.texture);
  cached.texture = s.texture;
  if (s.texCoordIndex >= 0 && (cached.texCoordIndex != s.texCoordIndex || ForceStateReapply)) {
    Sink().setTextureStageState(Dev(), stage, TssTexCoordIndex, static_cast<uint32_t>(s.texCoordIndex));
    cached.texCoordIndex = s.texCoordIndex;
  }
  const auto& types = StageValueTypes;
  for (int i = 0; i < 6; ++i) {
    if (s.values[i] == Leave) continue;
    if (cached.values[i] == s.values[i] && ForceStateReapply == 0) continue;
    cached.values[i] = s.values[i];
    SendStageValue(stage, types[i], s.values[i]);
  }
}

void DisableStage(uint32_t stage) {
  if (stage >= SamplerStageCount) return;
  DrawModeStage off = DeviceStateCache.applied.stages[stage];
  off.texture = nullptr;
  off.texCoordIndex = -1;
  for (auto& v : off.values) v = Leave;
  off.values[2] = TopDisable;
  off.values[5] = TopDisable;
  SendStage(stage, off);
}

DrawModeStage FromRecipe(const RecipeStage& r, void* texture) {
  return {texture, r.texCoordIndex,
          {r.alphaArg1, r.alphaArg2, r.alphaOp, r.colourArg1, r.colourArg2, r.colourOp}};
}

// Sends a whole block: states, stages, the stage after the last disabled.
void SendBlock(const DrawModeBlock& block, bool sendBlendFactors) {
  const int32_t stagesBefore = DeviceStateCache.applied.stageCount;
  if (block.stageCount != stagesBefore) {
    DeviceStateCache.applied.stageCount = block.stageCount;
    DeviceStateCache.stagesInUse = block.stageCount;
    const int32_t force = ForceStateReapply;
    ForceStateReapply = 1;
    SetTextureFilter(DeviceStateCache.filterKind);
    SetMaxAnisotropy(DeviceStateCache.anisotropy < 1 ? 1 : DeviceStateCache.anisotropy);
    ForceStateReapply = force;
  }
  for (int32_t i = 0; i < DrawModeStateCount; ++i) {
    if (!sendBlendFactors && (i == DmSrcBlend || i == DmDestBlend)) continue;
    SendDrawModeState(i, block.states[i]);
  }
  for (int32_t s = 0; s < block.stageCount && s < SamplerStageCount; ++s)
    SendStage(static_cast<uint32_t>(s), block.stages[s]);
  DisableStage(static_cast<uint32_t>(block.stageCount));
}

// Replaces graph handles of a user block by the graphs' textures (validated like handles).
void* ResolveStageTexture(void* entry, int32_t resolve);

}  // namespace

const std::array<DrawRecipe, DrawRecipeCount> DrawRecipeTable = BuildRecipeTable();

BorderStates ComputeBorderStates(int32_t p, int32_t r, int32_t imageKind) {
  BorderStates out{};
  out.skipDraw = p == 255 ? 1 : 0;
  if (r <= 1) {
    out.alphaTest = 1;
    out.alphaFunc = CmpGreaterEqual;
    out.alphaRef = static_cast<uint32_t>(p == 0 && (imageKind == 1 || imageKind == 2) ? 1 : p);
    out.alphaBlend = 0;
    out.textureFactor = 0x00FFFFFF;
    return out;
  }
  out.alphaTest = 0;
  out.alphaBlend = 1;
  int32_t aa = 0;
  if (r <= 64) {
    const int32_t s = p * 1280 / 255;
    out.nextStageAlphaOp = TopModulate4x;
    if (s < 257) {
      aa = (256 - s) * 64 / 256;
      out.stage0AlphaOp = TopAdd;
    } else {
      aa = 255 - (326400 - 255 * s) / 1024;
      out.stage0AlphaOp = TopSubtract;
    }
  } else if (r <= 128) {
    const int32_t s = p * 768 / 255;
    out.nextStageAlphaOp = TopModulate2x;
    if (s < 257) {
      aa = (256 - s) * 128 / 256;
      out.stage0AlphaOp = TopAdd;
    } else {
      aa = 255 - (195840 - 255 * s) / 512;
      out.stage0AlphaOp = TopSubtract;
    }
  } else {
    const int32_t h = 512 - p * 512 / 255;
    out.nextStageAlphaOp = TopModulate;
    if (h < 256) {
      aa = 255 - h * 255 / 256;
      out.stage0AlphaOp = TopSubtract;
    } else {
      aa = (h - 256) * 255 / 256;
      out.stage0AlphaOp = TopAdd;
    }
  }
  out.textureFactor = (static_cast<uint32_t>(aa & 0xFF) << 24) | 0x00FFFFFF;
  return out;
}

int ApplyDrawMode(int32_t resolveHandles, const DrawModeBlock* block, int32_t value) {
  if (!HasDevice()) return -1;
  (void)value;
  if (block == nullptr && DeviceStateCache.userBlockOn) block = &DeviceStateCache.userBlock;
  if (block != nullptr) {
    DrawModeBlock resolved = *block;
    if (resolved.stageCount < 0) resolved.stageCount = 0;
    if (resolved.stageCount > SamplerStageCount) resolved.stageCount = SamplerStageCount;
    for (int32_t s = 0; s < resolved.stageCount && s < SamplerStageCount; ++s)
      resolved.stages[s].texture = ResolveStageTexture(resolved.stages[s].texture, resolveHandles);
    FlushVertexBatch();
    SendBlock(resolved, true);
    DeviceStateCache.modeChanged = DeviceStateCache.textureChanged = 0;
    return 0;
  }
  if (ForceStateReapply == 0 && DeviceStateCache.modeChanged == 0) {
    if (DeviceStateCache.textureChanged == 0) return -1;
    FlushVertexBatch();
    const uint32_t stage = DeviceStateCache.blendTexture == nullptr ? 0 : (DeviceStateCache.alphaChannel ? 2 : 1);
    SendTexture(stage, DeviceStateCache.drawTexture);
    DeviceStateCache.applied.stages[stage].texture = DeviceStateCache.drawTexture;
    DeviceStateCache.textureChanged = 0;
    return 0;
  }
  FlushVertexBatch();

  const int32_t cachedMode = DeviceStateCache.blendMode;
  const int32_t mode = cachedMode >= 0 && cachedMode < BlendModeCount ? cachedMode : BlendCopy;
  BlendModeRow row = BlendModeTable[mode];
  if (mode == BlendSub && ReverseSubtractSupported()) row = {BlendSrcAlpha, BlendOne, 0, BlendOpRevSubtract};
  // Mode 7, like mode 6, draws with blending off (the table would leave it on with
  // whatever factors were sent last).
  const bool blendingMode = mode != BlendCopy && mode != BlendDeviceOff6 && mode != BlendDeviceOff7;
  const int32_t k = DeviceStateCache.alphaChannel ? 1 : (DeviceStateCache.alphaTest ? 2 : 0);
  const int32_t c = DeviceStateCache.colourModulate ? 1 : 0;
  const int32_t a = DeviceStateCache.alphaModulate ? 1 : 0;

  DrawModeBlock out{};
  out.states = DeviceStateCache.applied.states;
  out.states[DmBlendOp] = row.op;
  DeviceStateCache.skipDraw = 0;
  bool sendFactors = row.src != 0;
  if (sendFactors) {
    out.states[DmSrcBlend] = row.src;
    out.states[DmDestBlend] = row.dest;
  }
  if (DeviceStateCache.drawTexture == nullptr) {
    out.stageCount = 1;
    out.stages[0] = FromRecipe(UntexturedStages[row.recipe], nullptr);
    out.states[DmAlphaTestEnable] = 0;
    out.states[DmAlphaBlendEnable] = blendingMode ? 1 : 0;
    if (row.recipe == 1) out.states[DmTextureFactor] = 0xFFFFFFFF;
    VertexBatch.formatIndex = 0;
  } else if (DeviceStateCache.blendTexture == nullptr) {
    // Multiplying by an image with alpha (or a transparent colour) mixes towards the
    // product by the texel's alpha alone, as mode 11 does with the parameter: a transparent
    // texel keeps the destination.
    const bool alphaProduct = mode == BlendMul && k == 1;
    const int32_t recipeIndex = alphaProduct ? 24 * BlendModeTable[BlendProductAlpha].recipe + 6 * c + k
                                             : 24 * row.recipe + 6 * c + 3 * a + k;
    const DrawRecipe& recipe = DrawRecipeTable[recipeIndex];
    out.stageCount = recipe.stageCount;
    for (int32_t s = 0; s < recipe.stageCount; ++s)
      out.stages[s] = FromRecipe(recipe.stages[s], s == 0 ? DeviceStateCache.drawTexture : nullptr);
    if (k == 2) {
      out.states[DmAlphaTestEnable] = 1;
      out.states[DmAlphaRef] = 16;
      out.states[DmAlphaFunc] = CmpGreater;
    } else if (DeviceStateCache.zEnable == 1) {
      out.states[DmAlphaTestEnable] = 1;
      out.states[DmAlphaRef] = 0;
      out.states[DmAlphaFunc] = CmpGreater;
    } else {
      out.states[DmAlphaTestEnable] = 0;
    }
    if (k == 1 && !blendingMode) {
      out.states[DmSrcBlend] = BlendSrcAlpha;
      out.states[DmDestBlend] = BlendInvSrcAlpha;
      sendFactors = true;
    }
    out.states[DmAlphaBlendEnable] = k == 1 || blendingMode ? 1 : 0;
    out.states[DmTextureFactor] = 0xFFFFFFFF;
    VertexBatch.formatIndex = 1;
  } else {
    const DrawRecipe& recipe = DrawRecipeTable[12 + 6 * c + 3 * a + k];
    out.stageCount = recipe.stageCount;
    for (int32_t s = 0; s < recipe.stageCount; ++s) {
      void* texture = nullptr;
      if (s == 0) texture = DeviceStateCache.blendTexture;
      if ((k != 1 && s == 1) || (k == 1 && s == 2)) texture = DeviceStateCache.drawTexture;
      out.stages[s] = FromRecipe(recipe.stages[s], texture);
    }
    if (!blendingMode) {
      out.states[DmSrcBlend] = BlendSrcAlpha;
      out.states[DmDestBlend] = BlendInvSrcAlpha;
      sendFactors = true;
    }
    const BorderStates border = ComputeBorderStates(DeviceStateCache.borderParam, DeviceStateCache.borderRange, k);
    out.states[DmAlphaTestEnable] = static_cast<uint32_t>(border.alphaTest);
    if (border.alphaTest) {
      out.states[DmAlphaRef] = border.alphaRef;
      out.states[DmAlphaFunc] = border.alphaFunc;
    }
    out.states[DmAlphaBlendEnable] = static_cast<uint32_t>(border.alphaBlend);
    out.states[DmTextureFactor] = border.textureFactor;
    if (border.stage0AlphaOp != 0) out.stages[0].values[2] = border.stage0AlphaOp;
    if (border.nextStageAlphaOp != 0 && out.stageCount > 1) out.stages[1].values[2] = border.nextStageAlphaOp;
    DeviceStateCache.skipDraw = border.skipDraw;
    VertexBatch.formatIndex = 2;
  }
  SendBlock(out, sendFactors);
  ResetWritePosition();
  DeviceStateCache.modeChanged = DeviceStateCache.textureChanged = 0;
  return 0;
}

namespace {
void* ResolveStageTexture(void* entry, int32_t resolve) {
  // An entry with the layout of a graph handle names a graph: its first texture, or none
  // for a handle that does not validate. Anything else is a texture already.
  const uintptr_t value = reinterpret_cast<uintptr_t>(entry);
  if (resolve == 0 || value > 0x7FFFFFFF ||
      HandleSlotIn(static_cast<EngineHandle>(value), HandleKind::Graph, GraphTableCapacity) < 0)
    return entry;
  const GraphRecord* graph = GetGraphRecord(static_cast<int32_t>(value));
  return graph != nullptr && graph->image != nullptr ? graph->image->firstTexture : nullptr;
}
}  // namespace

}  // namespace quelt
