// The shader calls of ShaderSink on an IDirect3DDevice9.
#include <windows.h>
#include <d3d9.h>

#include <cstddef>

#include "graphics/shader_state.h"

namespace quelt {

static_assert(sizeof(VertexElement) == sizeof(D3DVERTEXELEMENT9));
static_assert(offsetof(VertexElement, offset) == offsetof(D3DVERTEXELEMENT9, Offset));
static_assert(offsetof(VertexElement, type) == offsetof(D3DVERTEXELEMENT9, Type));
static_assert(offsetof(VertexElement, usageIndex) == offsetof(D3DVERTEXELEMENT9, UsageIndex));

namespace {

IDirect3DDevice9* D(void* device) { return static_cast<IDirect3DDevice9*>(device); }

int32_t CreateVertexShaderCall(void* d, const void* code, void** shader) {
  IDirect3DVertexShader9* made = nullptr;
  const HRESULT hr = D(d)->CreateVertexShader(static_cast<const DWORD*>(code), &made);
  *shader = SUCCEEDED(hr) ? made : nullptr;
  return hr;
}
int32_t CreatePixelShaderCall(void* d, const void* code, void** shader) {
  IDirect3DPixelShader9* made = nullptr;
  const HRESULT hr = D(d)->CreatePixelShader(static_cast<const DWORD*>(code), &made);
  *shader = SUCCEEDED(hr) ? made : nullptr;
  return hr;
}
int32_t CreateVertexDeclarationCall(void* d, const VertexElement* elements, void** declaration) {
  IDirect3DVertexDeclaration9* made = nullptr;
  const HRESULT hr = D(d)->CreateVertexDeclaration(reinterpret_cast<const D3DVERTEXELEMENT9*>(elements), &made);
  *declaration = SUCCEEDED(hr) ? made : nullptr;
  return hr;
}
void ReleaseCall(void* object) { static_cast<IUnknown*>(object)->Release(); }
int32_t SetVertexConstantFCall(void* d, uint32_t start, const float* values, uint32_t count) {
  return D(d)->SetVertexShaderConstantF(start, values, count);
}
int32_t SetPixelConstantFCall(void* d, uint32_t start, const float* values, uint32_t count) {
  return D(d)->SetPixelShaderConstantF(start, values, count);
}
int32_t SetVertexConstantBCall(void* d, uint32_t start, const int32_t* values, uint32_t count) {
  return D(d)->SetVertexShaderConstantB(start, reinterpret_cast<const BOOL*>(values), count);
}

}  // namespace

extern const ShaderSink Direct3DShaderSink{CreateVertexShaderCall, CreatePixelShaderCall, CreateVertexDeclarationCall,
                                           ReleaseCall,            SetVertexConstantFCall, SetPixelConstantFCall,
                                           SetVertexConstantBCall};

}  // namespace quelt
