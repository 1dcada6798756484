#include "tests/graphics/plain_d3d_frame.h"

#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace quelt_test {

namespace {

constexpr int Side = 600;
constexpr int Runners = 61;
constexpr DWORD TexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct TexVertex {
  float x, y, z, rhw;
  DWORD colour;
  float u, v;
};

struct Plain {
  HWND window = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
};

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

void Close(Plain& p) {
  Release(p.device);
  Release(p.d3d);
  if (p.window != nullptr) DestroyWindow(p.window);
  p.window = nullptr;
}

bool Open(Plain& p, bool discard = false) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = "quelt plain d3d9";
  RegisterClassA(&wc);  // a second registration fails harmlessly
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT r{0, 0, Side, Side};
  AdjustWindowRect(&r, style, FALSE);
  p.window = CreateWindowA(wc.lpszClassName, "quelt plain d3d9", style, 0, 0, r.right - r.left, r.bottom - r.top,
                           nullptr, nullptr, instance, nullptr);
  if (p.window == nullptr) return false;
  // Not activated: an engine window beside it keeps its activation and runs on.
  ShowWindow(p.window, SW_SHOWNOACTIVATE);
  UpdateWindow(p.window);
  p.d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (p.d3d == nullptr) return false;
  D3DDISPLAYMODE desktop{};
  p.d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
  D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = Side;
  params.BackBufferHeight = Side;
  params.BackBufferFormat = desktop.Format;
  params.BackBufferCount = 1;
  params.SwapEffect = discard ? D3DSWAPEFFECT_DISCARD : D3DSWAPEFFECT_COPY;
  params.hDeviceWindow = p.window;
  params.Windowed = TRUE;
  params.Flags = discard ? 0 : D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return SUCCEEDED(p.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, p.window, D3DCREATE_MIXED_VERTEXPROCESSING,
                                       &params, &p.device));
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Present(Plain& p) {
  const RECT rect{0, 0, Side, Side};
  p.device->Present(&rect, &rect, p.window, nullptr);
}

// The pictures of the engine's race bench: a colour pattern, runners a disc on transparent
// corners. A piece holds `width` x `height` texels of a `fullWidth` x `fullHeight` picture
// from (`left`, `top`).
struct PictureArea {
  int left, top, fullWidth, fullHeight;
};

IDirect3DTexture9* MakeTexture(Plain& p, int width, int height, bool alpha, uint32_t seed,
                               PictureArea area = {0, 0, 0, 0}) {
  if (area.fullWidth == 0) area = {0, 0, width, height};
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(p.device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0,
                                     alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)))
    return nullptr;
  D3DLOCKED_RECT locked{};
  if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int px = area.left + x, py = area.top + y;
        uint32_t c =
            0xFF000000u | ((px * 3 + seed) & 0xFF) << 16 | ((py * 5 + seed) & 0xFF) << 8 | ((px ^ py) & 0xFF);
        if (alpha) {
          const int dx = px - area.fullWidth / 2, dy = py - area.fullHeight / 2;
          if (dx * dx + dy * dy > (area.fullWidth / 2) * (area.fullWidth / 2)) c &= 0x00FFFFFF;
        }
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &c, 4);
      }
    texture->UnlockRect(0);
  }
  return texture;
}

void SetBlend(IDirect3DDevice9* d, bool on) { d->SetRenderState(D3DRS_ALPHABLENDENABLE, on ? TRUE : FALSE); }

// One texture of a layer and where it lies on the screen.
struct LayerPiece {
  IDirect3DTexture9* texture;
  int left, top, width, height;
};

// A layer as one texture, or as the engine cuts a 600-texel side: 512 + 64 + 16 + 8.
constexpr int PieceSides[] = {512, 64, 16, 8};
static_assert(PieceSides[0] + PieceSides[1] + PieceSides[2] + PieceSides[3] == Side);

bool MakeLayer(Plain& p, bool alpha, uint32_t seed, bool pieces, std::vector<LayerPiece>& out) {
  if (!pieces) {
    out.push_back({MakeTexture(p, Side, Side, alpha, seed), 0, 0, Side, Side});
    return out.back().texture != nullptr;
  }
  for (int top = 0, row = 0; row < 4; top += PieceSides[row++])
    for (int left = 0, column = 0; column < 4; left += PieceSides[column++]) {
      const int w = PieceSides[column], h = PieceSides[row];
      out.push_back({MakeTexture(p, w, h, alpha, seed, {left, top, Side, Side}), left, top, w, h});
      if (out.back().texture == nullptr) return false;
    }
  return true;
}

}  // namespace

std::string Fixed(double value, int decimals) {
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const long long n = std::llround(value * static_cast<double>(scale));
  std::string fraction = std::to_string(n % scale);
  fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
  return std::to_string(n / scale) + "." + fraction;
}

std::string Ratio(double value, double base) { return base > 0 ? Fixed(value / base, 2) + " x" : std::string("-"); }

double MedianMs(std::vector<double> frameMs) {
  if (frameMs.empty()) return 0.0;
  const auto middle = frameMs.begin() + static_cast<std::ptrdiff_t>(frameMs.size() / 2);
  std::nth_element(frameMs.begin(), middle, frameMs.end());
  return *middle;
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto value = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
  };
  return value(kernel) + value(user);
}

PlainFrameFigures MeasurePlainClearPresent(double seconds, bool discard) {
  PlainFrameFigures f{false, 0, 0.0, 0.0, 0.0};
  Plain p;
  if (!Open(p, discard)) {
    Close(p);
    return f;
  }
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  for (int i = 0; i < 10; ++i) {
    p.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    Present(p);
    Pump();
  }
  std::vector<double> frameMs;
  const double cpu0 = ProcessCpuSeconds();
  QueryPerformanceCounter(&start);
  LARGE_INTEGER last = start;
  double elapsed = 0.0;
  do {
    p.device->Clear(0, nullptr, D3DCLEAR_TARGET, static_cast<D3DCOLOR>(f.frames * 0x010203) & 0xFFFFFF, 1.0f, 0);
    Present(p);
    Pump();
    ++f.frames;
    QueryPerformanceCounter(&now);
    frameMs.push_back(static_cast<double>(now.QuadPart - last.QuadPart) * 1000.0 /
                      static_cast<double>(frequency.QuadPart));
    last = now;
    elapsed = static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  } while (elapsed < seconds);
  f.ran = true;
  f.medianMs = MedianMs(std::move(frameMs));
  f.ms = elapsed * 1000.0 / f.frames;
  f.cpuMs = (ProcessCpuSeconds() - cpu0) * 1000.0 / f.frames;
  Close(p);
  return f;
}

PlainFrameFigures MeasurePlainRaceScene(double runnerScale, int frames, bool pieces) {
  PlainFrameFigures f{false, 0, 0.0, 0.0, 0.0};
  Plain p;
  std::vector<LayerPiece> layers[3];
  IDirect3DTexture9* runner = nullptr;
  bool ok = Open(p);
  for (int i = 0; ok && i < 3; ++i) ok = MakeLayer(p, i > 0, static_cast<uint32_t>(i * 40), pieces, layers[i]);
  if (ok) ok = (runner = MakeTexture(p, 24, 24, true, 7)) != nullptr;
  if (ok) {
    IDirect3DDevice9* d = p.device;
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    // Point sampling, as the engine draws graphs by default.
    for (DWORD s : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER})
      d->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(s), D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    d->SetFVF(TexFvf);
    static TexVertex quads[Runners * 6];
    auto drawPiece = [d](const LayerPiece& piece) {
      const float l = static_cast<float>(piece.left) - 0.5f, t = static_cast<float>(piece.top) - 0.5f;
      const float r = l + static_cast<float>(piece.width), b = t + static_cast<float>(piece.height);
      const TexVertex quad[6] = {{l, t, 0, 1, 0xFFFFFFFF, 0, 0}, {r, t, 0, 1, 0xFFFFFFFF, 1, 0},
                                 {l, b, 0, 1, 0xFFFFFFFF, 0, 1}, {r, b, 0, 1, 0xFFFFFFFF, 1, 1},
                                 {l, b, 0, 1, 0xFFFFFFFF, 0, 1}, {r, t, 0, 1, 0xFFFFFFFF, 1, 0}};
      d->SetTexture(0, piece.texture);
      d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(TexVertex));
    };
    auto frame = [&](int n) {
      d->BeginScene();
      d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
      for (int i = 0; i < 3; ++i) {
        SetBlend(d, i > 0);
        for (const LayerPiece& piece : layers[i]) drawPiece(piece);
      }
      static constexpr float cu[4] = {0, 1, 0, 1}, cv[4] = {0, 0, 1, 1};
      static constexpr int order[6] = {0, 1, 2, 3, 2, 1};
      for (int r = 0; r < Runners; ++r) {
        const float x = static_cast<float>(30 + (r * 97 + n * 3) % 540);
        const float y = static_cast<float>(30 + (r * 61) % 540);
        const float angle = static_cast<float>(0.05 * (r + n));
        const float sy = static_cast<float>(runnerScale), sx = (r & 1) ? -sy : sy;
        const float c = std::cos(angle), s = std::sin(angle);
        for (int i = 0; i < 6; ++i) {
          const int k = order[i];
          const float dx = sx * (cu[k] * 24 - 12), dy = sy * (cv[k] * 24 - 12);
          quads[r * 6 + i] = {x - 0.5f + dx * c - dy * s, y - 0.5f + dx * s + dy * c, 0, 1, 0xFFFFFFFF, cu[k], cv[k]};
        }
      }
      d->SetTexture(0, runner);
      d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, Runners * 2, quads, sizeof(TexVertex));
      d->EndScene();
      Present(p);
      Pump();
    };
    for (int i = 0; i < 10; ++i) frame(i);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> frameMs;
    const double cpu0 = ProcessCpuSeconds();
    QueryPerformanceCounter(&start);
    LARGE_INTEGER last = start;
    for (int i = 0; i < frames; ++i) {
      frame(i);
      QueryPerformanceCounter(&end);
      frameMs.push_back(static_cast<double>(end.QuadPart - last.QuadPart) * 1000.0 /
                        static_cast<double>(frequency.QuadPart));
      last = end;
    }
    f.medianMs = MedianMs(std::move(frameMs));
    f.ran = true;
    f.frames = frames;
    f.ms =
        static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart) / frames;
    f.cpuMs = (ProcessCpuSeconds() - cpu0) * 1000.0 / frames;
    d->SetTexture(0, nullptr);
  }
  Release(runner);
  for (std::vector<LayerPiece>& layer : layers)
    for (LayerPiece& piece : layer) Release(piece.texture);
  Close(p);
  return f;
}

}  // namespace quelt_test
