// Starting and ending graphics on Windows: d3d9.dll, the DirectDraw 7 object, the
// Direct3D 9 device, its Z buffer and formats, or the software screen when Direct3D
// cannot be used.
#include <windows.h>
#include <d3d9.h>
#include <ddraw.h>

#include "core/core_state.h"
#include "core/log.h"
#include "core/window_hooks.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_hooks.h"
#include "graphics/graphics_log.h"
#include "graphics/graphics_platform.h"
#include "graphics/graphics_start.h"
#include "graphics/mask.h"
#include "graphics/model_table.h"
#include "graphics/screen_mode.h"
#include "graphics/shader_pack.h"
#include "graphics/shader_state.h"
#include "softrender/memimg.h"

namespace quelt {

extern const DeviceSink Direct3DDeviceSink;
extern const ShaderSink Direct3DShaderSink;
void ArmFrontScreenTimer();

GraphicsTestSeamsRecord GraphicsTestSeams{};

namespace {


IDirect3D9* Direct3D() { return static_cast<IDirect3D9*>(GraphicsDevice.direct3D); }
IDirect3DDevice9* Device() { return static_cast<IDirect3DDevice9*>(GraphicsDevice.device); }
HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }

template <typename T>
void Release(void*& object) {
  if (object != nullptr) static_cast<T*>(object)->Release();
  object = nullptr;
}

int32_t PowerOfTwoAtLeast(int32_t value) {
  int32_t p = 1;
  while (p < value) p <<= 1;
  return p;
}

void InstallPlatformHooks() {
  GraphicsPlatform.waitWhileInactive = WaitWhileInactive;
  GraphicsPlatform.armFrontScreenTimer = ArmFrontScreenTimer;
}

// The device's answers about formats, for the format table.
struct FormatContext {
  IDirect3D9* direct3D;
  D3DFORMAT screen;
};
bool TextureOk(void* c, uint32_t format) {
  auto* ctx = static_cast<FormatContext*>(c);
  return SUCCEEDED(ctx->direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, ctx->screen, 0,
                                                    D3DRTYPE_TEXTURE, static_cast<D3DFORMAT>(format)));
}
bool RenderTargetOk(void* c, uint32_t format) {
  auto* ctx = static_cast<FormatContext*>(c);
  return SUCCEEDED(ctx->direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, ctx->screen,
                                                    D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                                    static_cast<D3DFORMAT>(format)));
}
bool DepthOk(void* c, uint32_t format) {
  auto* ctx = static_cast<FormatContext*>(c);
  if (FAILED(ctx->direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, ctx->screen,
                                              D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                              static_cast<D3DFORMAT>(format))))
    return false;
  return SUCCEEDED(ctx->direct3D->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, ctx->screen,
                                                         ctx->screen, static_cast<D3DFORMAT>(format)));
}

// Full screen on the software path: the display mode is changed here.
int ChangeDisplayForSoftwareScreen() {
  WriteLogText("画面モードの変更処理を開始します %u x %u  %u bit ", static_cast<unsigned>(ScreenState.width),
               static_cast<unsigned>(ScreenState.height), static_cast<unsigned>(ScreenState.colourDepth));
  IncreaseLogIndent();
  if (ScreenState.colourDepth != 16 && ScreenState.colourDepth != 32) {
    // The indent raised above is given back on this road too.
    DecreaseLogIndent();
    return -1;
  }
  WriteLog("画面解像度を変更します... ");
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = 156;
  mode.dmPelsWidth = static_cast<DWORD>(ScreenState.width);
  mode.dmPelsHeight = static_cast<DWORD>(ScreenState.height);
  mode.dmBitsPerPel = static_cast<DWORD>(ScreenState.colourDepth);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  if (ScreenState.refreshRate != 0) {
    mode.dmFields |= DM_DISPLAYFREQUENCY;
    mode.dmDisplayFrequency = static_cast<DWORD>(ScreenState.refreshRate);
  }
  if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
    mode.dmFields &= ~static_cast<DWORD>(DM_DISPLAYFREQUENCY);
    ScreenState.refreshRate = 0;
    if (ChangeDisplaySettingsA(&mode, 0) != DISP_CHANGE_SUCCESSFUL) {
      bool emulated = false;
      if (ScreenState.width == 320 && ScreenState.height == 240) {
        ScreenState.width = 640;
        ScreenState.height = 480;
        SetEmulation320Flag(1);
        mode.dmPelsWidth = 640;
        mode.dmPelsHeight = 480;
        if (ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL) {
          ApplyWindowStyle();
          emulated = true;
        }
      }
      if (!emulated) {
        WriteLog("画面モードの変更に失敗しました\n");
        DecreaseLogIndent();
        return -1;
      }
    }
  }
  WriteLog("成功しました\n");
  DecreaseLogIndent();
  GraphicsDevice.displayModeChanged = 1;
  return 0;
}

}  // namespace

int CreateDirectDrawObject() {
  Release<IDirectDraw7>(GraphicsDevice.directDraw);
  WriteLog("DirectDraw オブジェクトの取得を行います....  ");
  IDirectDraw7* directDraw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7,
                              reinterpret_cast<void**>(&directDraw))) ||
      directDraw == nullptr) {
    WriteLog("オブジェクトの取得に失敗しました\n");
    return -1;
  }
  WriteLog("成功\n");
  WriteLog("引き続き初期化処理... ");
  if (FAILED(directDraw->Initialize(nullptr))) {
    WriteLog("DirectDrawオブジェクトの初期化に失敗しました\n");
    directDraw->Release();
    return -1;
  }
  WriteLog("初期化に成功しました\n");
  // Normal cooperation bound to no window: the object only answers the vertical-blank
  // questions. Given the main window, Wine's DirectDraw hangs a swap chain of its own on it,
  // and every Direct3D present then invalidates the window: a repaint, a second present and
  // a slow message pump each frame, twenty to fifty times the cost of the frame itself.
  directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL | (GraphicsDevice.fpuPreserve ? DDSCL_FPUPRESERVE : 0));
  GraphicsDevice.directDraw = directDraw;
  return 0;
}

int CreateDirect3DObject() {
  Release<IDirect3D9>(GraphicsDevice.direct3D);
  WriteLog("IDirect3D9 オブジェクトを取得します.... ");
  using CreateFn = IDirect3D9*(WINAPI*)(UINT);
  const FARPROC proc = GetProcAddress(static_cast<HMODULE>(GraphicsDevice.d3d9Module), "Direct3DCreate9");
  if (proc == nullptr) {
    WriteLog("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
    return -1;
  }
  const auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void (*)()>(proc));
  IDirect3D9* direct3D = create(D3D_SDK_VERSION);
  if (direct3D == nullptr) {
    WriteLog("IDirect3D9 オブジェクトの取得に失敗しました\n");
    return -1;
  }
  GraphicsDevice.direct3D = direct3D;
  WriteLog("成功\n");
  return 0;
}

int CreateDirect3DDevice() {
  if (Direct3D() == nullptr) return -1;
  Release<IDirect3DDevice9>(GraphicsDevice.device);
  ActiveDeviceSink = nullptr;
  WriteLog("IDirect3DDevice9 オブジェクトを取得します.... ");

  D3DPRESENT_PARAMETERS params;
  ZeroMemory(&params, sizeof params);
  params.BackBufferWidth = static_cast<UINT>(ScreenState.width);
  params.BackBufferHeight = static_cast<UINT>(ScreenState.height);
  params.BackBufferCount = 1;
  params.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(GraphicsDevice.multiSampleType);
  params.MultiSampleQuality = static_cast<DWORD>(GraphicsDevice.multiSampleQuality);
  params.hDeviceWindow = MainWindow();
  params.EnableAutoDepthStencil = FALSE;
  params.Flags = GraphicsDevice.multiSampleType == 0 ? D3DPRESENTFLAG_LOCKABLE_BACKBUFFER : 0;
  params.PresentationInterval = DrawSettings.vsyncOff ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
  if (WindowModeFlag == 1) {
    D3DDISPLAYMODE desktop{};
    Direct3D()->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    params.Windowed = TRUE;
    params.BackBufferFormat = desktop.Format;
    params.SwapEffect = GraphicsDevice.multiSampleType == 0 ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;
    if (desktop.Format == D3DFMT_X8R8G8B8) {
      ScreenState.colourDepth = 32;
    } else if (desktop.Format == D3DFMT_R5G6B5 || desktop.Format == D3DFMT_X1R5G5B5 ||
               desktop.Format == D3DFMT_A1R5G5B5) {
      ScreenState.colourDepth = 16;
    }
  } else {
    params.Windowed = FALSE;
    params.FullScreen_RefreshRateInHz = static_cast<UINT>(ScreenState.refreshRate);
    params.SwapEffect = DrawSettings.emulation320 ? D3DSWAPEFFECT_COPY : D3DSWAPEFFECT_DISCARD;
    if (ScreenState.colourDepth == 16) {
      params.BackBufferFormat =
          Direct3D()->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5) > 0 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
    } else if (ScreenState.colourDepth == 32) {
      params.BackBufferFormat = D3DFMT_X8R8G8B8;
    } else {
      WriteLog("非対応のバックバッファービット深度が指定されました\n");
      return -1;
    }
  }
  if (GraphicsDevice.multiSampleType != 0) {
    int32_t type = GraphicsDevice.multiSampleType;
    DWORD quality = 0;
    DWORD depthQuality = 0;
    while (type > 0 && FAILED(Direct3D()->CheckDeviceMultiSampleType(
                           D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, params.BackBufferFormat, params.Windowed,
                           static_cast<D3DMULTISAMPLE_TYPE>(type), &quality)))
      --type;
    while (type > 0 && FAILED(Direct3D()->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                                    D3DFMT_D16, params.Windowed,
                                                                    static_cast<D3DMULTISAMPLE_TYPE>(type),
                                                                    &depthQuality)))
      --type;
    GraphicsDevice.multiSampleType = type;
    GraphicsDevice.multiSampleQuality =
        type == 0 ? 0 : static_cast<int32_t>((quality < depthQuality ? quality : depthQuality)) - 1;
    if (GraphicsDevice.multiSampleQuality < 0) GraphicsDevice.multiSampleQuality = 0;
    params.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(type);
    params.MultiSampleQuality = static_cast<DWORD>(GraphicsDevice.multiSampleQuality);
    if (type == 0) {
      params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
      if (params.Windowed) params.SwapEffect = D3DSWAPEFFECT_COPY;
    }
  }

  const DWORD fpu = GraphicsDevice.fpuPreserve ? D3DCREATE_FPU_PRESERVE : 0;
  IDirect3DDevice9* device = nullptr;
  HRESULT hr = E_FAIL;
  if (GraphicsTestSeams.failDeviceCreation == 0)
    hr = Direct3D()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, MainWindow(),
                                  D3DCREATE_MIXED_VERTEXPROCESSING | fpu, &params, &device);
  GraphicsDevice.hardwareVertexProcessing = 1;
  if (FAILED(hr)) {
    if (GraphicsTestSeams.failDeviceCreation == 0)
      hr = Direct3D()->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, MainWindow(),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING | fpu, &params, &device);
    GraphicsDevice.hardwareVertexProcessing = 0;
    if (FAILED(hr)) {
      WriteLog("Direct3DDevice9 の作成に失敗しました\n");
      return -1;
    }
  }
  WriteLog(GraphicsDevice.hardwareVertexProcessing ? "ハードウエア頂点演算を使用します\n"
                                                   : "ソフトウエア頂点演算を使用します\n");
  GraphicsDevice.device = device;
  ActiveDeviceSink = &Direct3DDeviceSink;

  ForgetDeviceObjectsInCache();
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  // Blanks every buffer of the chain. No depth surface exists yet, so the target alone is
  // cleared: a Z-buffer clear without one is refused and would leave the buffers as they were.
  for (int i = 0; i < 3; ++i) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    device->Present(nullptr, nullptr, MainWindow(), nullptr);
  }
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);

  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSwapChain9* swapChain = nullptr;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
  device->GetSwapChain(0, &swapChain);
  GraphicsDevice.backBuffer = backBuffer;
  GraphicsDevice.swapChain = swapChain;
  WriteLog("成功\n");

  D3DCAPS9 caps{};
  device->GetDeviceCaps(&caps);
  DeviceCapsSubset subset{caps.VertexShaderVersion, caps.PixelShaderVersion, caps.PrimitiveMiscCaps,
                          caps.TextureCaps,         caps.MaxTextureWidth,    caps.MaxTextureHeight};
  if (GraphicsTestSeams.capsOverride != nullptr) subset = *GraphicsTestSeams.capsOverride;
  GraphicsDevice.facts = DeriveDeviceFacts(subset, GraphicsDevice.hardwareVertexProcessing);

  D3DSURFACE_DESC desc{};
  if (backBuffer != nullptr) backBuffer->GetDesc(&desc);
  GraphicsDevice.screenFormat = static_cast<uint32_t>(desc.Format);
  if (const char* name = ScreenFormatName(GraphicsDevice.screenFormat); name != nullptr) {
    WriteLogFormat("画面のフォーマットは %s です", name);
  } else {
    WriteLogFormat("バックバッファが対応していないフォーマット %d です", static_cast<int>(desc.Format));
  }

  FormatContext context{Direct3D(), desc.Format};
  const DeviceFormatProbe probe{&context, TextureOk, RenderTargetOk, DepthOk};
  if (ChooseDeviceFormats(probe, GraphicsDevice.screenFormat, ScreenState.colourDepth, &DeviceFormatTable) < 0) return -1;
  return 0;
}

int CreateZBuffer() {
  if (Device() == nullptr) return -1;
  Release<IDirect3DSurface9>(GraphicsDevice.zBuffer);
  WriteLog("Ｚバッファを作成します.... ");
  const int32_t width = PowerOfTwoAtLeast(ScreenState.width);
  const int32_t height = PowerOfTwoAtLeast(ScreenState.height);
  IDirect3DSurface9* surface = nullptr;
  if (FAILED(Device()->CreateDepthStencilSurface(
          static_cast<UINT>(width), static_cast<UINT>(height), static_cast<D3DFORMAT>(DeviceFormatTable[FormatDepth]),
          static_cast<D3DMULTISAMPLE_TYPE>(GraphicsDevice.multiSampleType),
          static_cast<DWORD>(GraphicsDevice.multiSampleQuality), TRUE,
          &surface, nullptr))) {
    WriteLog("Ｚバッファの作成に失敗しました\n");
    return -1;
  }
  GraphicsDevice.zBuffer = surface;
  GraphicsDevice.zBufferWidth = width;
  GraphicsDevice.zBufferHeight = height;
  Device()->SetDepthStencilSurface(surface);
  Device()->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  WriteLog("成功\n");
  return 0;
}

int CreateSubBackBuffer() {
  if (Device() == nullptr) return -1;
  Release<IDirect3DSurface9>(GraphicsDevice.subBackBuffer);
  IDirect3DSurface9* surface = nullptr;
  if (FAILED(Device()->CreateRenderTarget(static_cast<UINT>(ScreenState.width), static_cast<UINT>(ScreenState.height),
                                          static_cast<D3DFORMAT>(GraphicsDevice.screenFormat),
                                          static_cast<D3DMULTISAMPLE_TYPE>(GraphicsDevice.multiSampleType),
                                          static_cast<DWORD>(GraphicsDevice.multiSampleQuality), FALSE, &surface, nullptr))) {
    WriteLog("サブバックバッファの作成に失敗しました\n");
    return -1;
  }
  GraphicsDevice.subBackBuffer = surface;
  return 0;
}

int StartGraphicsDevice() {
  InstallPlatformHooks();
  HMODULE module = LoadLibraryA("d3d9.dll");
  if (module == nullptr) return WriteLog("d3d9.dll の読み込みに失敗しました\n");
  GraphicsDevice.d3d9Module = module;
  if (CreateDirectDrawObject() < 0) {
    FreeLibrary(module);
    GraphicsDevice.d3d9Module = nullptr;
    return -1;
  }
  ScreenState.hardware = 0;
  if (ScreenState.direct3DRefused == 0) {
    if (CreateDirect3DObject() == 0 && CreateDirect3DDevice() == 0 && CreateZBuffer() == 0) {
      ScreenState.hardware = 1;
      ActiveShaderSink = &Direct3DShaderSink;
      SetupShaders();
      if (ShadersInUse()) CreateVertexDeclarations();
      return 0;
    }
  }
  Release<IDirect3DSurface9>(GraphicsDevice.zBuffer);
  Release<IDirect3DSurface9>(GraphicsDevice.backBuffer);
  Release<IDirect3DSwapChain9>(GraphicsDevice.swapChain);
  ActiveDeviceSink = nullptr;
  Release<IDirect3DDevice9>(GraphicsDevice.device);
  Release<IDirect3D9>(GraphicsDevice.direct3D);
  if (WindowModeFlag == 1) return 0;
  return ChangeDisplayForSoftwareScreen();
}

int StartGraphics() {
  if (ScreenState.started == 1) return 0;
  ResetGraphTableCounts();
  if (ScreenState.width == 0) ScreenState.width = DefaultScreenWidth;
  if (ScreenState.height == 0) ScreenState.height = DefaultScreenHeight;
  if (ScreenState.colourDepth == 0) ScreenState.colourDepth = DefaultScreenDepth;
  if (StartGraphicsDevice() < 0) {
    ShutdownGraphics();
    // Not started yet, so the shutdown above skips the device: give back what the failed
    // start still holds (d3d9.dll, the DirectDraw object).
    EndGraphicsDevice();
    return -1;
  }
  ScreenState.started = 1;
  if (ScreenState.hardware) {
    InitDeviceDrawState();
  } else if (StartSoftwareScreen() < 0) {
    ShutdownGraphics();
    return -1;
  }
  ResetDrawSettings();
  InitMemImgTables();
  if (GraphicsLayerHooks.startFontSystem != nullptr) GraphicsLayerHooks.startFontSystem();
  return 0;
}

int EndGraphicsDevice() {
  ReleaseAllModelMeshBuffers();
  ReleaseVertexDeclarations();
  ReleaseShaders();
  ActiveShaderSink = nullptr;
  // Back to the registry mode only when the software screen changed the display itself.
  if (GraphicsDevice.displayModeChanged != 0) ChangeDisplaySettingsA(nullptr, 0);
  GraphicsDevice.displayModeChanged = 0;
  if (Device() != nullptr && DeviceStateCache.sceneOpen) Device()->EndScene();
  ActiveDeviceSink = nullptr;
  Release<IDirect3DSurface9>(GraphicsDevice.zBuffer);
  Release<IDirect3DSurface9>(GraphicsDevice.subBackBuffer);
  Release<IDirect3DSurface9>(GraphicsDevice.backBuffer);
  Release<IDirect3DSwapChain9>(GraphicsDevice.swapChain);
  Release<IDirect3DDevice9>(GraphicsDevice.device);
  Release<IDirect3D9>(GraphicsDevice.direct3D);
  Release<IDirectDraw7>(GraphicsDevice.directDraw);
  if (GraphicsDevice.d3d9Module != nullptr) FreeLibrary(static_cast<HMODULE>(GraphicsDevice.d3d9Module));
  GraphicsDevice.d3d9Module = nullptr;
  FreeDisplayModeList();
  GraphicsDevice.facts = DeviceFacts{};
  GraphicsDevice.screenFormat = 0;
  GraphicsDevice.hardwareVertexProcessing = 0;
  // The cached values stay: a restoration sends them to the next device. Only what belonged
  // to this device is forgotten; the end of graphics clears the whole cache.
  ForgetDeviceObjectsInCache();
  DeviceStateCache.renderTarget = nullptr;
  DeviceStateCache.sceneOpen = 0;
  VertexBatch.pendingCount = 0;
  return 0;
}

int ShutdownGraphics() {
  if (GraphicsLayerHooks.endFontSystem != nullptr) GraphicsLayerHooks.endFontSystem();
  if (ScreenState.started == 0) return 0;
  if (MainWindowHandle != nullptr) KillTimer(MainWindow(), FrontScreenTimerId);
  DeleteAllGraphs();
  EndMasks();
  DeleteAllMasks();
  DeleteAllLights();
  EndGraphicsDevice();
  ResetDeviceStateCache();
  ReleaseSoftwareScreen();
  FreeShaderPack();
  ScreenState.started = 0;
  return 0;
}

void* CreateDeviceVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool) {
  if (Device() == nullptr) return nullptr;
  IDirect3DVertexBuffer9* buffer = nullptr;
  if (FAILED(Device()->CreateVertexBuffer(length, usage, fvf, static_cast<D3DPOOL>(pool), &buffer, nullptr)))
    return nullptr;
  return buffer;
}

void* CreateDeviceIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool) {
  if (Device() == nullptr) return nullptr;
  IDirect3DIndexBuffer9* buffer = nullptr;
  if (FAILED(Device()->CreateIndexBuffer(length, usage, static_cast<D3DFORMAT>(format), static_cast<D3DPOOL>(pool),
                                         &buffer, nullptr)))
    return nullptr;
  return buffer;
}

int ApplyDialogBoxMode(int32_t flag) {
  if (ScreenState.hardware && Device() != nullptr) {
    Device()->SetDialogBoxMode(FALSE);
    if (flag == 1) Device()->SetDialogBoxMode(TRUE);
  }
  return 0;
}

int SetDeviceDialogBoxMode(int32_t flag) {
  if (Device() != nullptr) {
    EndSceneIfOpen();
    Device()->SetDialogBoxMode(flag != 0);
  }
  return 0;
}

}  // namespace quelt
