// The device call table over an IDirect3DDevice9, and the checks that the platform-free
// copies of Direct3D's numbers and records agree with <d3d9.h>.
#include <windows.h>
#include <d3d9.h>

#include "graphics/d3d_values.h"
#include "graphics/device_sink.h"
#include "graphics/device_state.h"

namespace quelt {

namespace {

template <typename A, typename B>
constexpr bool Eq(A a, B b) {
  return static_cast<uint32_t>(a) == static_cast<uint32_t>(b);
}

static_assert(sizeof(DeviceViewport) == sizeof(D3DVIEWPORT9));
static_assert(sizeof(DeviceLight) == sizeof(D3DLIGHT9));
static_assert(sizeof(DeviceMaterial) == sizeof(D3DMATERIAL9));
static_assert(sizeof(Matrix4) == sizeof(D3DMATRIX));
static_assert(Eq(d3d::FmtX8R8G8B8, D3DFMT_X8R8G8B8) && Eq(d3d::FmtR5G6B5, D3DFMT_R5G6B5) &&
              Eq(d3d::FmtX1R5G5B5, D3DFMT_X1R5G5B5) && Eq(d3d::FmtA8R8G8B8, D3DFMT_A8R8G8B8) &&
              Eq(d3d::FmtA1R5G5B5, D3DFMT_A1R5G5B5) && Eq(d3d::FmtA4R4G4B4, D3DFMT_A4R4G4B4) &&
              Eq(d3d::FmtD16, D3DFMT_D16) && Eq(d3d::FmtD24X8, D3DFMT_D24X8) && Eq(d3d::FmtD32, D3DFMT_D32) &&
              Eq(d3d::FmtDxt1, D3DFMT_DXT1) && Eq(d3d::FmtDxt5, D3DFMT_DXT5));
static_assert(Eq(d3d::FmtUnknown, D3DFMT_UNKNOWN) && Eq(d3d::FmtR8G8B8, D3DFMT_R8G8B8) &&
              Eq(d3d::FmtX4R4G4B4, D3DFMT_X4R4G4B4) && Eq(d3d::FmtDxt2, D3DFMT_DXT2) &&
              Eq(d3d::FmtDxt3, D3DFMT_DXT3) && Eq(d3d::FmtDxt4, D3DFMT_DXT4));
static_assert(Eq(d3d::RsZEnable, D3DRS_ZENABLE) && Eq(d3d::RsShadeMode, D3DRS_SHADEMODE) &&
              Eq(d3d::RsZWriteEnable, D3DRS_ZWRITEENABLE) && Eq(d3d::RsAlphaTestEnable, D3DRS_ALPHATESTENABLE) &&
              Eq(d3d::RsSrcBlend, D3DRS_SRCBLEND) && Eq(d3d::RsDestBlend, D3DRS_DESTBLEND) &&
              Eq(d3d::RsCullMode, D3DRS_CULLMODE) && Eq(d3d::RsZFunc, D3DRS_ZFUNC) &&
              Eq(d3d::RsAlphaRef, D3DRS_ALPHAREF) && Eq(d3d::RsAlphaFunc, D3DRS_ALPHAFUNC) &&
              Eq(d3d::RsDitherEnable, D3DRS_DITHERENABLE) && Eq(d3d::RsAlphaBlendEnable, D3DRS_ALPHABLENDENABLE) &&
              Eq(d3d::RsFogEnable, D3DRS_FOGENABLE) && Eq(d3d::RsSpecularEnable, D3DRS_SPECULARENABLE) &&
              Eq(d3d::RsFogColor, D3DRS_FOGCOLOR) && Eq(d3d::RsFogStart, D3DRS_FOGSTART) &&
              Eq(d3d::RsFogEnd, D3DRS_FOGEND) && Eq(d3d::RsFogDensity, D3DRS_FOGDENSITY) &&
              Eq(d3d::RsTextureFactor, D3DRS_TEXTUREFACTOR) && Eq(d3d::RsLighting, D3DRS_LIGHTING) &&
              Eq(d3d::RsAmbient, D3DRS_AMBIENT) && Eq(d3d::RsFogVertexMode, D3DRS_FOGVERTEXMODE) &&
              Eq(d3d::RsDiffuseMaterialSource, D3DRS_DIFFUSEMATERIALSOURCE) &&
              Eq(d3d::RsSpecularMaterialSource, D3DRS_SPECULARMATERIALSOURCE) &&
              Eq(d3d::RsAmbientMaterialSource, D3DRS_AMBIENTMATERIALSOURCE) &&
              Eq(d3d::RsBlendOp, D3DRS_BLENDOP) && Eq(d3d::RsDepthBias, D3DRS_DEPTHBIAS) &&
              Eq(d3d::RsScissorTestEnable, D3DRS_SCISSORTESTENABLE));
static_assert(Eq(d3d::SampAddressU, D3DSAMP_ADDRESSU) && Eq(d3d::SampAddressV, D3DSAMP_ADDRESSV) &&
              Eq(d3d::SampMagFilter, D3DSAMP_MAGFILTER) && Eq(d3d::SampMinFilter, D3DSAMP_MINFILTER) &&
              Eq(d3d::SampMipFilter, D3DSAMP_MIPFILTER) && Eq(d3d::SampMaxAnisotropy, D3DSAMP_MAXANISOTROPY));
static_assert(Eq(d3d::TssColorOp, D3DTSS_COLOROP) && Eq(d3d::TssColorArg1, D3DTSS_COLORARG1) &&
              Eq(d3d::TssColorArg2, D3DTSS_COLORARG2) && Eq(d3d::TssAlphaOp, D3DTSS_ALPHAOP) &&
              Eq(d3d::TssAlphaArg1, D3DTSS_ALPHAARG1) && Eq(d3d::TssAlphaArg2, D3DTSS_ALPHAARG2) &&
              Eq(d3d::TssTexCoordIndex, D3DTSS_TEXCOORDINDEX));
static_assert(Eq(d3d::TopDisable, D3DTOP_DISABLE) && Eq(d3d::TopSelectArg1, D3DTOP_SELECTARG1) &&
              Eq(d3d::TopSelectArg2, D3DTOP_SELECTARG2) && Eq(d3d::TopModulate, D3DTOP_MODULATE) &&
              Eq(d3d::TopModulate2x, D3DTOP_MODULATE2X) && Eq(d3d::TopModulate4x, D3DTOP_MODULATE4X) &&
              Eq(d3d::TopAdd, D3DTOP_ADD) && Eq(d3d::TopSubtract, D3DTOP_SUBTRACT) &&
              Eq(d3d::TopBlendDiffuseAlpha, D3DTOP_BLENDDIFFUSEALPHA) &&
              Eq(d3d::TopBlendCurrentAlpha, D3DTOP_BLENDCURRENTALPHA));
static_assert(Eq(d3d::TaDiffuse, D3DTA_DIFFUSE) && Eq(d3d::TaCurrent, D3DTA_CURRENT) &&
              Eq(d3d::TaTexture, D3DTA_TEXTURE) && Eq(d3d::TaTFactor, D3DTA_TFACTOR) &&
              Eq(d3d::TaSpecular, D3DTA_SPECULAR) && Eq(d3d::TaComplement, D3DTA_COMPLEMENT));
static_assert(Eq(d3d::BlendZero, D3DBLEND_ZERO) && Eq(d3d::BlendOne, D3DBLEND_ONE) &&
              Eq(d3d::BlendSrcColor, D3DBLEND_SRCCOLOR) && Eq(d3d::BlendSrcAlpha, D3DBLEND_SRCALPHA) &&
              Eq(d3d::BlendInvSrcAlpha, D3DBLEND_INVSRCALPHA) && Eq(d3d::BlendInvDestColor, D3DBLEND_INVDESTCOLOR) &&
              Eq(d3d::BlendOpAdd, D3DBLENDOP_ADD) && Eq(d3d::BlendOpRevSubtract, D3DBLENDOP_REVSUBTRACT));
static_assert(Eq(d3d::CmpLessEqual, D3DCMP_LESSEQUAL) && Eq(d3d::CmpGreater, D3DCMP_GREATER) &&
              Eq(d3d::CmpGreaterEqual, D3DCMP_GREATEREQUAL) && Eq(d3d::FilterAnisotropic, D3DTEXF_ANISOTROPIC) &&
              Eq(d3d::FilterLinear, D3DTEXF_LINEAR) && Eq(d3d::AddressClamp, D3DTADDRESS_CLAMP) &&
              Eq(d3d::CullNone, D3DCULL_NONE) && Eq(d3d::CullCcw, D3DCULL_CCW) &&
              Eq(d3d::ShadeGouraud, D3DSHADE_GOURAUD) && Eq(d3d::McsColor2, D3DMCS_COLOR2));
static_assert(Eq(d3d::FilterNone, D3DTEXF_NONE) && Eq(d3d::FilterPoint, D3DTEXF_POINT) &&
              Eq(d3d::ShadeFlat, D3DSHADE_FLAT) && Eq(d3d::McsMaterial, D3DMCS_MATERIAL) &&
              Eq(d3d::McsColor1, D3DMCS_COLOR1));
static_assert(Eq(d3d::PointList, D3DPT_POINTLIST) && Eq(d3d::LineList, D3DPT_LINELIST) &&
              Eq(d3d::LineStrip, D3DPT_LINESTRIP) && Eq(d3d::TriangleStrip, D3DPT_TRIANGLESTRIP) &&
              Eq(d3d::TriangleFan, D3DPT_TRIANGLEFAN));
static_assert(Eq(d3d::TriangleList, D3DPT_TRIANGLELIST) && Eq(d3d::TsWorld, D3DTS_WORLD) &&
              Eq(d3d::TsView, D3DTS_VIEW) && Eq(d3d::TsProjection, D3DTS_PROJECTION));
static_assert(Eq(d3d::FvfXyzRhw, D3DFVF_XYZRHW) && Eq(d3d::FvfDiffuse, D3DFVF_DIFFUSE) &&
              Eq(d3d::FvfSpecular, D3DFVF_SPECULAR) && Eq(d3d::FvfTex1, D3DFVF_TEX1) && Eq(d3d::FvfTex2, D3DFVF_TEX2));
static_assert(Eq(d3d::PMiscCapsBlendOp, D3DPMISCCAPS_BLENDOP) &&
              Eq(d3d::PTextureCapsSquareOnly, D3DPTEXTURECAPS_SQUAREONLY));
static_assert(VertexFormats[0].fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE) &&
              VertexFormats[1].fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1) &&
              VertexFormats[2].fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2));

IDirect3DDevice9* D(void* device) { return static_cast<IDirect3DDevice9*>(device); }

int32_t SetRenderStateCall(void* d, uint32_t state, uint32_t value) {
  return D(d)->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}
int32_t SetSamplerStateCall(void* d, uint32_t stage, uint32_t type, uint32_t value) {
  return D(d)->SetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(type), value);
}
int32_t SetTextureStageStateCall(void* d, uint32_t stage, uint32_t type, uint32_t value) {
  return D(d)->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
}
int32_t SetTextureCall(void* d, uint32_t stage, void* texture) {
  return D(d)->SetTexture(stage, static_cast<IDirect3DBaseTexture9*>(texture));
}
int32_t SetTransformCall(void* d, uint32_t type, const Matrix4* matrix) {
  return D(d)->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(type), reinterpret_cast<const D3DMATRIX*>(matrix));
}
int32_t SetViewportCall(void* d, const DeviceViewport* viewport) {
  return D(d)->SetViewport(reinterpret_cast<const D3DVIEWPORT9*>(viewport));
}
int32_t SetScissorRectCall(void* d, const IntRect* rect) {
  const RECT r{rect->x1, rect->y1, rect->x2, rect->y2};
  return D(d)->SetScissorRect(&r);
}
int32_t SetRenderTargetCall(void* d, void* surface) {
  return D(d)->SetRenderTarget(0, static_cast<IDirect3DSurface9*>(surface));
}
int32_t SetFvfCall(void* d, uint32_t fvf) { return D(d)->SetFVF(fvf); }
int32_t DrawPrimitiveUpCall(void* d, uint32_t type, uint32_t count, const void* vertices, uint32_t stride) {
  return D(d)->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(type), count, vertices, stride);
}
int32_t DrawIndexedPrimitiveUpCall(void* d, uint32_t type, uint32_t vertexCount, uint32_t primitiveCount,
                                   const uint16_t* indices, const void* vertices, uint32_t stride) {
  return D(d)->DrawIndexedPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(type), 0, vertexCount, primitiveCount, indices,
                                      D3DFMT_INDEX16, vertices, stride);
}
int32_t BeginSceneCall(void* d) { return D(d)->BeginScene(); }
int32_t EndSceneCall(void* d) { return D(d)->EndScene(); }
int32_t SetLightCall(void* d, uint32_t index, const DeviceLight* light) {
  return D(d)->SetLight(index, reinterpret_cast<const D3DLIGHT9*>(light));
}
int32_t LightEnableCall(void* d, uint32_t index, int32_t on) { return D(d)->LightEnable(index, on); }
int32_t SetMaterialCall(void* d, const DeviceMaterial* material) {
  return D(d)->SetMaterial(reinterpret_cast<const D3DMATERIAL9*>(material));
}
int32_t UnsetShadersCall(void* d) {
  D(d)->SetVertexShader(nullptr);
  return D(d)->SetPixelShader(nullptr);
}
int32_t ColourFillCall(void* d, void* surface, const IntRect* rect, uint32_t argb) {
  RECT area{};
  if (rect != nullptr) area = {rect->x1, rect->y1, rect->x2, rect->y2};
  return D(d)->ColorFill(static_cast<IDirect3DSurface9*>(surface), rect != nullptr ? &area : nullptr, argb);
}
int32_t ClearDepthCall(void* d) { return D(d)->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }
int32_t SurfaceSizeCall(void* surface, int32_t* width, int32_t* height) {
  D3DSURFACE_DESC desc{};
  if (surface == nullptr || FAILED(static_cast<IDirect3DSurface9*>(surface)->GetDesc(&desc))) {
    *width = *height = 0;
    return -1;
  }
  *width = static_cast<int32_t>(desc.Width);
  *height = static_cast<int32_t>(desc.Height);
  return 0;
}

}  // namespace

extern const DeviceSink Direct3DDeviceSink;
const DeviceSink Direct3DDeviceSink{
    SetRenderStateCall, SetSamplerStateCall, SetTextureStageStateCall, SetTextureCall,
    SetTransformCall,   SetViewportCall,     SetScissorRectCall,       SetRenderTargetCall,
    SetFvfCall,         DrawPrimitiveUpCall, DrawIndexedPrimitiveUpCall, BeginSceneCall, EndSceneCall,
    SetLightCall,       LightEnableCall,     SetMaterialCall,          UnsetShadersCall,
    ColourFillCall,     ClearDepthCall,      SurfaceSizeCall,
};

}  // namespace quelt
