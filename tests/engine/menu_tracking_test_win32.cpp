// The full-screen menu tracking of the pump on the Direct3D back end: each pass re-applies
// the dialog-box mode to the device, unless the menu is always shown.
#include <windows.h>
#include <d3d9.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/entry/window_modes.h"
#include "graphics/device_state.h"
#include "tests/graphics/engine_session.h"

namespace quelt {
namespace {

// IDirect3DDevice9's methods in vtable order: IUnknown's three, then TestCooperativeLevel,
// GetAvailableTextureMem, EvictManagedResources, GetDirect3D, GetDeviceCaps, GetDisplayMode,
// GetCreationParameters, SetCursorProperties, SetCursorPosition, ShowCursor,
// CreateAdditionalSwapChain, GetSwapChain, GetNumberOfSwapChains, Reset, Present,
// GetBackBuffer, GetRasterStatus, SetDialogBoxMode.
constexpr size_t kSetDialogBoxModeSlot = 20;

using SetDialogBoxModeFn = HRESULT(STDMETHODCALLTYPE*)(IDirect3DDevice9*, BOOL);
SetDialogBoxModeFn RealSetDialogBoxMode = nullptr;
std::vector<BOOL> DialogBoxModeCalls;

HRESULT STDMETHODCALLTYPE CountSetDialogBoxMode(IDirect3DDevice9* device, BOOL enable) {
  DialogBoxModeCalls.push_back(enable);
  return RealSetDialogBoxMode(device, enable);
}

// Swaps one entry of the device's method table while it lives.
class VtableHook {
 public:
  VtableHook(void* object, size_t slot, void* replacement) {
    entry_ = *static_cast<void***>(object) + slot;
    original_ = Swap(replacement);
  }
  ~VtableHook() { Swap(original_); }
  void* original() const { return original_; }

 private:
  void* Swap(void* value) {
    DWORD protection = 0;
    VirtualProtect(entry_, sizeof(void*), PAGE_READWRITE, &protection);
    void* old = *entry_;
    *entry_ = value;
    VirtualProtect(entry_, sizeof(void*), protection, &protection);
    return old;
  }
  void** entry_;
  void* original_;
};

TEST(MenuTracking, FullScreenPassesReapplyTheDialogBoxMode) {
  quelt_test::SessionOptions options{"menu-tracking"};
  options.hardware = 1;
  ASSERT_EQ(quelt_test::StartEngineSession(options), 0);
  ASSERT_NE(GraphicsDevice.device, nullptr);
  {
    VtableHook hook(GraphicsDevice.device, kSetDialogBoxModeSlot, reinterpret_cast<void*>(&CountSetDialogBoxMode));
    RealSetDialogBoxMode = reinterpret_cast<SetDialogBoxModeFn>(hook.original());
    const int32_t savedAlways = WindowSettings.menuAlwaysShown;
    // Full screen as the tracking sees it; the window itself stays as it is.
    WindowModeFlag = 0;
    WindowSettings.menuAlwaysShown = 0;
    DialogBoxModeCalls.clear();
    EXPECT_EQ(TrackMenuInFullScreen(), 0);
    EXPECT_EQ(DialogBoxModeCalls, std::vector<BOOL>{FALSE});
    WindowSettings.menuAlwaysShown = 1;
    DialogBoxModeCalls.clear();
    EXPECT_EQ(TrackMenuInFullScreen(), 0);
    EXPECT_TRUE(DialogBoxModeCalls.empty());
    // In a window nothing is tracked.
    WindowModeFlag = 1;
    WindowSettings.menuAlwaysShown = 0;
    EXPECT_EQ(TrackMenuInFullScreen(), 0);
    EXPECT_TRUE(DialogBoxModeCalls.empty());
    WindowSettings.menuAlwaysShown = savedAlways;
  }
  quelt_test::StopEngineSession();
}

}  // namespace
}  // namespace quelt
