// Fails with a clear message when the Wine session cannot give what the engine's tests need:
// a window, a Direct3D 9 device whose back buffer reads back, DirectSound, and Japanese
// glyphs from the default Japanese font.
#include <cstdlib>
#include <windows.h>
#include <mmsystem.h>
#include <d3d9.h>
#include <dsound.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct TestWindow {
  HWND handle = nullptr;
  TestWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QueltPlatformCheck";
    RegisterClassA(&wc);
    handle = CreateWindowA(wc.lpszClassName, "QueltPlatformCheck", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           0, 0, 320, 240, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~TestWindow() {
    if (handle) DestroyWindow(handle);
  }
};

// tools/check sets QUELT_EXPECT_POINTER_SIZE to the build it reports as tested.
TEST(PlatformChecks, ProcessHasTheBitnessTheCheckReports) {
  const char* expected = std::getenv("QUELT_EXPECT_POINTER_SIZE");
  if (expected == nullptr) GTEST_SKIP() << "run outside tools/check";
  EXPECT_EQ(std::strtoul(expected, nullptr, 10), sizeof(void*));
}

TEST(PlatformChecks, WindowOpens) {
  TestWindow window;
  ASSERT_NE(window.handle, nullptr) << "no window: is the X server running (DISPLAY)?";
  EXPECT_TRUE(IsWindow(window.handle));
}

TEST(PlatformChecks, Direct3D9ClearsAndReadsBack) {
  TestWindow window;
  ASSERT_NE(window.handle, nullptr);
  HMODULE d3d9 = LoadLibraryA("d3d9.dll");
  ASSERT_NE(d3d9, nullptr) << "d3d9.dll is missing";
  using CreateFn = IDirect3D9*(WINAPI*)(UINT);
  auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(d3d9, "Direct3DCreate9")));
  ASSERT_NE(create, nullptr);
  IDirect3D9* d3d = create(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr) << "Direct3DCreate9 failed: no OpenGL driver for Wine (libgl1-mesa-dri)?";

  D3DPRESENT_PARAMETERS pp{};
  pp.Windowed = TRUE;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 64;
  IDirect3DDevice9* device = nullptr;
  HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window.handle,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
  ASSERT_EQ(hr, D3D_OK) << "CreateDevice failed";

  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0), D3D_OK);
  IDirect3DSurface9* back = nullptr;
  IDirect3DSurface9* copy = nullptr;
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  ASSERT_EQ(device->CreateOffscreenPlainSurface(64, 64, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
  ASSERT_EQ(device->GetRenderTargetData(back, copy), D3D_OK) << "back-buffer read-back failed";
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  const DWORD pixel = *static_cast<const DWORD*>(locked.pBits) & 0x00FFFFFF;
  copy->UnlockRect();
  EXPECT_EQ(pixel, 0x336699u) << "the cleared colour did not read back";
  copy->Release();
  back->Release();
  device->Release();
  d3d->Release();
}

TEST(PlatformChecks, DirectSoundHasADevice) {
  IDirectSound* sound = nullptr;
  HRESULT hr = DirectSoundCreate(nullptr, &sound, nullptr);
  ASSERT_EQ(hr, DS_OK) << "DirectSoundCreate failed: is the private PulseAudio server running (PULSE_SERVER)?";
  sound->Release();
}

TEST(PlatformChecks, AnsiCodePageIsJapanese) {
  EXPECT_EQ(GetACP(), 932u) << "Windows' ANSI code page is not 932: is the ja_JP.UTF-8 locale generated?";
}

TEST(PlatformChecks, ShiftJisGlyphRenders) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HFONT font = CreateFontA(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "ＭＳ ゴシック");
  ASSERT_NE(font, nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  EXPECT_EQ(GetTextCharset(dc), SHIFTJIS_CHARSET) << "no Japanese font: is fonts-ipafont installed?";

  const UINT hiragana_a = 0x82A0;  // "あ" in Shift-JIS
  GLYPHMETRICS metrics{};
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  DWORD size = GetGlyphOutlineA(dc, hiragana_a, GGO_GRAY8_BITMAP, &metrics, 0, nullptr, &identity);
  ASSERT_NE(size, GDI_ERROR);
  ASSERT_GT(size, 0u) << "the glyph is empty";
  std::vector<BYTE> bitmap(size);
  ASSERT_NE(GetGlyphOutlineA(dc, hiragana_a, GGO_GRAY8_BITMAP, &metrics, size, bitmap.data(), &identity), GDI_ERROR);
  int inked = 0;
  for (BYTE b : bitmap) inked += b != 0;
  EXPECT_GT(inked, 10) << "the glyph has almost no ink";
  EXPECT_GE(metrics.gmBlackBoxX, 8u);

  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

}  // namespace
