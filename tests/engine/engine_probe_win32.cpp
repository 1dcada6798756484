// The engine's test program: starts the engine with the settings given on its command
// line (the log on, a caption of its own), writes what it sees to probe_report.txt, pumps
// once per frame until the pump reports the window closed, stops the engine and ends
// with 0; a refused start ends it with -1.
//   --caption TEXT | --no-caption   --size W H   --icon ID   --fullscreen
//   --close-self (posts WM_CLOSE to its own window after start)
//   --depth24 (asks for a 24-bit screen, which the engine refuses)
//   --fatal (ends through the fatal exit once started)
//   --fatal-thread (a second thread ends through the fatal exit while this one pumps)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core_state.h"
#include "core/entry/api_entry.h"
#include "core/fatal_exit.h"
#include "graphics/screen_mode.h"

namespace {

struct ProbeOptions {
  const char* caption = "Quelt Engine Probe";
  int width = 0;
  int height = 0;
  int icon = 0;
  bool fullScreen = false;
  bool closeSelf = false;
  bool depth24 = false;
  bool fatal = false;
  bool fatalThread = false;
};

ProbeOptions ParseOptions(int argc, char** argv) {
  ProbeOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--caption" && i + 1 < argc) options.caption = argv[++i];
    else if (arg == "--no-caption") options.caption = nullptr;
    else if (arg == "--size" && i + 2 < argc) {
      options.width = std::atoi(argv[++i]);
      options.height = std::atoi(argv[++i]);
    } else if (arg == "--icon" && i + 1 < argc) options.icon = std::atoi(argv[++i]);
    else if (arg == "--fullscreen") options.fullScreen = true;
    else if (arg == "--close-self") options.closeSelf = true;
    else if (arg == "--depth24") options.depth24 = true;
    else if (arg == "--fatal") options.fatal = true;
    else if (arg == "--fatal-thread") options.fatalThread = true;
  }
  return options;
}

const char* DescribeIcon(HWND window, int icon_id) {
  const auto icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
  if (icon == nullptr) return "none";
  if (icon == LoadIconA(nullptr, IDI_APPLICATION)) return "standard";
  if (icon_id != 0 && icon == LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(icon_id)))
    return "resource";
  return "other";
}

// Written under a temporary name and renamed, so a reader never sees half a report.
void WriteReport(const ProbeOptions& options) {
  const HWND window = static_cast<HWND>(quelt::ApiQueryMainWindow());
  char class_name[256] = {};
  char caption[256] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  GetWindowTextA(window, caption, sizeof caption);
  RECT client{};
  GetClientRect(window, &client);
  FILE* file = std::fopen("probe_report.tmp", "wb");
  if (file == nullptr) return;
  std::fprintf(file, "class=%s\ncaption=%s\nwindow_mode=%d\nicon=%s\nclient=%ldx%ld\n",
               class_name, caption, quelt::WindowModeFlag, DescribeIcon(window, options.icon),
               client.right - client.left, client.bottom - client.top);
  std::fclose(file);
  MoveFileExA("probe_report.tmp", "probe_report.txt", MOVEFILE_REPLACE_EXISTING);
}

DWORD WINAPI FatalExitOnThisThread(void*) { quelt::FatalExit("probe fatal exit"); }

}  // namespace

int main(int argc, char** argv) {
  const ProbeOptions options = ParseOptions(argc, argv);
  quelt::ApiEnableLogFile(1);
  quelt::ApiSetWindowIcon(options.icon);
  if (!options.fullScreen) quelt::ApiChangeWindowMode(1);
  if (options.width > 0) quelt::ApiRequestScreenMode(options.width, options.height, 32, 60);
  if (options.depth24) quelt::ScreenState.colourDepth = 24;
  if (options.caption != nullptr) quelt::ApiSetWindowCaption(options.caption);

  if (quelt::ApiStartEngine() == -1) return -1;
  WriteReport(options);
  if (options.fatal) quelt::FatalExit("probe fatal exit");
  if (options.fatalThread) CloseHandle(CreateThread(nullptr, 0, FatalExitOnThisThread, nullptr, 0, nullptr));
  if (options.closeSelf)
    PostMessageA(static_cast<HWND>(quelt::ApiQueryMainWindow()), WM_CLOSE, 0, 0);
  while (quelt::ApiPumpMessages() == 0) Sleep(1);
  quelt::ApiStopEngine();
  return 0;
}
