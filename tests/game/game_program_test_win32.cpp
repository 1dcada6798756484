// The game program itself under Wine: keys typed into its window through the X server, its
// window read from the screen. A scripted race from loading a trained profile to saving the
// award; Alt+F4 on every screen; the refused second start.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/bmp_file.h"
#include "game/save_slots.h"

namespace quelt::game {
namespace {

constexpr const char* WindowName = "Tarn Vale";

std::string WindowsPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path[0] == '\\' ? "Z:" + path : path;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

// xdotool as a Unix program started from Wine: keys injected only inside Wine would be
// undone when Wine brings its key state in line with the X server's.
bool RunXdotool(const std::string& arguments) {
  std::string command = "start.exe /wait /unix /usr/bin/xdotool " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &process))
    return false;
  const bool done = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return done;
}

// One run of the program in a folder of its own with a copy of the game's data.
class GameRun {
 public:
  GameRun(const std::string& folder, bool software) {
    directory_ = CurrentDirectory() + "\\" + folder;
    CreateDirectoryA(directory_.c_str(), nullptr);
    CreateDirectoryA((directory_ + "\\dat").c_str(), nullptr);
    const std::string data = WindowsPath(QUELT_GAME_DIR) + "\\dat\\";
    for (const char* name : {"enemy.bmp", "player.bmp", "player_d.bmp", "back1.bmp", "back2.bmp", "back3.bmp",
                             "start.bmp", "logo.bmp", "pause.bmp", "top.mp3", "race.mp3", "select1.mp3",
                             "select2.mp3"}) {
      CopyFileA((data + name).c_str(), (directory_ + "\\dat\\" + name).c_str(), FALSE);
    }
    for (int slot = 0; slot < SaveSlotCount; ++slot) DeleteFileA(Path(SaveSlotPath(slot)).c_str());
    software_ = software;
  }
  ~GameRun() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  std::string Path(const std::string& name) const { return directory_ + "\\" + name; }

  bool Start() {
    std::string command = "\"" + WindowsPath(QUELT_GAME_PROGRAM) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // The software back end: Wine's Direct3D without a 3-D renderer for this program alone,
    // so the device cannot be created and the engine draws through its own renderer.
    if (software_) SetEnvironmentVariableA("WINE_D3D_CONFIG", "renderer=no3d");
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory_.c_str(),
                              &startup, &process_) != 0;
    if (software_) SetEnvironmentVariableA("WINE_D3D_CONFIG", nullptr);
    return started_;
  }

  // The exit code, or 0x7FFFFFFF when the program did not end in time.
  DWORD WaitExit(DWORD milliseconds = 60000) {
    if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) return 0x7FFFFFFF;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }
  bool Running() { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
  DWORD ProcessId() const { return process_.dwProcessId; }

 private:
  std::string directory_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
  bool software_ = false;
};

struct WindowSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindShownGameWindow(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char text[64] = {};
  GetWindowTextA(window, text, sizeof text);
  if (owner == s->process && IsWindowVisible(window) && std::string(text) == WindowName) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

// The program's main window, once it is shown: its title menu is running then.
HWND WaitForGameWindow(const GameRun& run, DWORD milliseconds = 90000) {
  for (DWORD waited = 0; waited < milliseconds; waited += 100) {
    WindowSearch search{run.ProcessId(), nullptr};
    EnumWindows(FindShownGameWindow,
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(100);
  }
  return nullptr;
}

bool Focus() { return RunXdotool("search --sync --limit 1 --name ^Tarn.Vale$ windowfocus --sync"); }

// A key held long enough for a frame's read to see it, then let go for longer: the game
// counts a key in the frame it goes down, once. One xdotool run holds it, so the hold stays
// below the X server's auto-repeat delay (660 ms), whose repeats would count as presses.
bool Tap(const char* key) {
  // Focus again first: a window of another test may have taken it (the game then waits).
  if (!RunXdotool(std::string("search --limit 1 --name ^Tarn.Vale$ windowfocus --sync keydown ") + key +
                  " sleep 0.25 keyup " + key))
    return false;
  Sleep(400);
  return true;
}

bool Taps(std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (!Tap(key)) return false;
  }
  return true;
}

// The window's client area as it is on the screen, 0x00RRGGBB.
std::vector<uint32_t> CaptureClient(HWND window) {
  std::vector<uint32_t> pixels;
  POINT origin{0, 0};
  if (!ClientToScreen(window, &origin)) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 600;
  info.bmiHeader.biHeight = -600;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, 600, 600, screen, origin.x, origin.y, SRCCOPY)) {
      const uint32_t* p = static_cast<const uint32_t*>(bits);
      pixels.assign(p, p + 600 * 600);
      for (uint32_t& v : pixels) v &= 0xFFFFFF;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Pixels in a rectangle of a capture that pass a colour test.
template <typename Test>
int CountIn(const std::vector<uint32_t>& pixels, int left, int top, int right, int bottom, Test test) {
  int n = 0;
  if (pixels.size() != 600u * 600u) return 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * 600 + x];
      n += test(static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF), static_cast<int>(p & 0xFF)) ? 1 : 0;
    }
  return n;
}

bool White(int r, int g, int b) { return r > 235 && g > 235 && b > 235; }
// The menu and pause text colour, (0, 255, 127).
bool MenuGreen(int r, int g, int b) { return r < 60 && g > 200 && b > 80 && b < 170; }

// Captures until `seen` holds or the time runs out; the last capture is kept in `shot`.
template <typename Seen>
bool WaitForScreen(HWND window, DWORD milliseconds, std::vector<uint32_t>& shot, Seen seen) {
  for (DWORD waited = 0; waited <= milliseconds; waited += 250) {
    if (waited > 0 && waited % 4000 == 0) Focus();
    shot = CaptureClient(window);
    if (seen(shot)) return true;
    Sleep(250);
  }
  return false;
}

bool TitleShown(const std::vector<uint32_t>& s) { return CountIn(s, 450, 200, 600, 560, MenuGreen) > 300; }

void SaveShot(const GameRun& run, const char* name, const std::vector<uint32_t>& shot) {
  // Kept in the run's folder of the test's work tree for a look after the test.
  quelt::testing::WriteBmp(run.Path(name), shot, 600, 600);
}

bool AltF4() { return RunXdotool("key --clearmodifiers alt+F4"); }

PlayerProfileRecord ReadProfile(const GameRun& run, int slot) {
  PlayerProfileRecord p{-9, -9, -9, -9, -9};
  if (std::FILE* f = std::fopen(run.Path(SaveSlotPath(slot)).c_str(), "rb")) {
    SaveRecordBytes bytes{};
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (auto decoded = DecodeSaveRecord(bytes.data(), got)) p = *decoded;
  }
  return p;
}

// A fully trained runner slides from the start to the goal without a key (about 2,500
// frames), ahead of every rival of the first course; the software back end keeps the
// frames short.
TEST(GameProgram, ScriptedRaceWinsTheFirstCourseAndTheSaveHoldsTheAward) {
  GameRun run("race", true);
  const PlayerProfileRecord trained{100, 20, 20, 121, 2};
  {
    const SaveRecordBytes bytes = EncodeSaveRecord(trained);
    std::FILE* f = std::fopen(run.Path("save1.dat").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }
  ASSERT_TRUE(run.Start());
  const HWND window = WaitForGameWindow(run);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Focus());
  std::vector<uint32_t> shot;
  ASSERT_TRUE(WaitForScreen(window, 30000, shot, TitleShown));
  SaveShot(run, "title.bmp", shot);

  // Load slot 1 (up to the load entry, decide, decide on the slot, up to "back", decide),
  // then down to the first course and decide.
  ASSERT_TRUE(Taps({"Up", "space", "space", "Up", "space", "Down", "space"}));
  // The race: the heads-up display in white at the top left.
  ASSERT_TRUE(WaitForScreen(window, 30000, shot, [](const std::vector<uint32_t>& s) {
    return CountIn(s, 0, 0, 160, 80, White) > 150;
  }));
  SaveShot(run, "race.bmp", shot);
  // The goal: "ＧＯＡＬ！！！！" at (0, 80). The checkered finish line crosses that band
  // across the whole width just before the runner finishes, so white right of the text
  // means the line, not the caption: a space then would open the pause dialog.
  const bool goal = WaitForScreen(window, 240000, shot, [](const std::vector<uint32_t>& s) {
    return CountIn(s, 0, 80, 160, 100, White) > 60 && CountIn(s, 300, 80, 600, 100, White) < 100;
  });
  SaveShot(run, "goal.bmp", shot);
  ASSERT_TRUE(goal);
  // Space ends the race; up twice to the save entry, decide, save slot 1, up to "back", decide.
  ASSERT_TRUE(Taps({"space"}));
  ASSERT_TRUE(WaitForScreen(window, 30000, shot, TitleShown));
  ASSERT_TRUE(Taps({"Up", "Up", "space", "space", "Up", "space"}));
  ASSERT_TRUE(AltF4());
  EXPECT_EQ(run.WaitExit(), 0u);

  const PlayerProfileRecord saved = ReadProfile(run, 0);
  EXPECT_EQ(saved.virtue, 104);  // 4 to the first power for course 0
  EXPECT_EQ(saved.previousLife, 0);
  EXPECT_EQ(saved.physique, 20);
  EXPECT_EQ(saved.relaxation, 20);
  EXPECT_EQ(saved.totalLevel, 121);
}

struct ScreenCase {
  const char* name;
  std::vector<const char*> keys;
  // Where the screen shows what only it draws.
  bool (*shown)(const std::vector<uint32_t>&);
};

// On the software back end, whose frames stay short when the machine is busy.
TEST(GameProgram, AltF4EndsEveryScreenWithExitCodeZero) {
  const std::vector<ScreenCase> cases = {
      {"title", {}, TitleShown},
      {"training", {"Up", "Up", "Up", "space"},
       [](const std::vector<uint32_t>& s) { return CountIn(s, 380, 215, 450, 360, MenuGreen) > 100; }},
      {"save", {"Up", "Up", "space"},
       [](const std::vector<uint32_t>& s) { return CountIn(s, 330, 318, 440, 342, MenuGreen) > 40; }},
      {"load", {"Up", "space"},
       [](const std::vector<uint32_t>& s) { return CountIn(s, 330, 318, 440, 342, MenuGreen) > 40; }},
      {"race", {"space"}, [](const std::vector<uint32_t>& s) { return CountIn(s, 0, 0, 160, 80, White) > 150; }},
      {"pause", {"space", "space"},
       [](const std::vector<uint32_t>& s) { return CountIn(s, 230, 238, 400, 262, MenuGreen) > 40; }},
  };
  for (const ScreenCase& c : cases) {
    SCOPED_TRACE(c.name);
    GameRun run(std::string("altf4_") + c.name, true);
    ASSERT_TRUE(run.Start());
    const HWND window = WaitForGameWindow(run);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Focus());
    std::vector<uint32_t> shot;
    ASSERT_TRUE(WaitForScreen(window, 30000, shot, TitleShown));
    for (const char* key : c.keys) ASSERT_TRUE(Tap(key));
    const bool shown = WaitForScreen(window, 20000, shot, c.shown);
    SaveShot(run, "screen.bmp", shot);
    EXPECT_TRUE(shown);
    ASSERT_TRUE(AltF4());
    EXPECT_EQ(run.WaitExit(), 0u);
  }
}

// The default back end, Direct3D.
TEST(GameProgram, SecondStartIsRefusedWhileOneRuns) {
  GameRun first("double_first", false);
  ASSERT_TRUE(first.Start());
  const HWND window = WaitForGameWindow(first);
  ASSERT_NE(window, nullptr);
  GameRun second("double_second", false);
  ASSERT_TRUE(second.Start());
  // The engine finds a window of its class and does not start: the program returns -1.
  EXPECT_EQ(second.WaitExit(), 0xFFFFFFFFu);
  EXPECT_TRUE(first.Running());
  // The first goes on with its title on Direct3D and ends by Alt+F4.
  ASSERT_TRUE(Focus());
  std::vector<uint32_t> shot;
  const bool shown = WaitForScreen(window, 60000, shot, TitleShown);
  SaveShot(first, "title.bmp", shot);
  EXPECT_TRUE(shown);
  ASSERT_TRUE(AltF4());
  EXPECT_EQ(first.WaitExit(), 0u);
}

}  // namespace
}  // namespace quelt::game
