// The input method's messages, handled inside the engine: the composition, its cursor and
// clauses and the candidate list are fetched into engine buffers, and the IME shows none
// of its own windows. A finished conversion goes into the typed-character ring.
#include <windows.h>
#include <imm.h>

#include <cstring>

#include "core/clock.h"
#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "core/window_hooks.h"
#include "input/input_device_set_win32.h"
#include "input/text_input.h"
#include "input/typed_char_ring.h"

namespace quelt {

namespace {

constexpr int64_t OpenStatusPumpMicroseconds = 2000;

// Fetches one composition text into a 1024-byte buffer, leaving room for its terminator.
void FetchCompositionText(HIMC context, DWORD kind, char* buffer) {
  std::memset(buffer, 0, ImeTextBytes);
  const LONG got = ImmGetCompositionStringA(context, kind, buffer, ImeTextBytes - 1);
  if (got < 0) buffer[0] = '\0';
}

void OnComposition(HWND window, LPARAM l_param) {
  const HIMC context = ImmGetContext(window);
  if (context == nullptr) return;
  if (l_param & GCS_COMPSTR) FetchCompositionText(context, GCS_COMPSTR, ImeState.composition);
  if (l_param & GCS_RESULTSTR) {
    char result[ImeTextBytes];
    FetchCompositionText(context, GCS_RESULTSTR, result);
    const int length = lstrlenA(result);
    for (int i = 0; i < length; ++i) PushTypedChar(static_cast<uint8_t>(result[i]));
    FetchCompositionText(context, GCS_COMPSTR, ImeState.composition);
  }
  if (l_param & GCS_CURSORPOS) {
    const LONG position = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
    ImeState.cursor = CountCharsInBytes(ImeState.composition, position);
  }
  if (l_param & GCS_COMPCLAUSE) {
    std::memset(ImeState.clauses, 0, sizeof ImeState.clauses);
    const LONG got = ImmGetCompositionStringA(context, GCS_COMPCLAUSE, ImeState.clauses, sizeof ImeState.clauses);
    ImeState.clauseCount = got > 0 ? got / 4 : 0;
  }
  ImmReleaseContext(window, context);
}

void FetchCandidateList(HWND window) {
  const HIMC context = ImmGetContext(window);
  const DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
  if (size == 0) {
    ImmReleaseContext(window, context);
    WriteLogFormatAsIs("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)),
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(context)));
    return;
  }
  if (ImeState.candidateList != nullptr) TrackedFree(ImeState.candidateList);
  ImeState.candidateList = TrackedAlloc(static_cast<int32_t>(size), __FILE__, __LINE__);
  ImeState.candidateListSize = 0;
  if (ImeState.candidateList == nullptr) {
    ImmReleaseContext(window, context);
    FatalExitFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                    static_cast<int>(size));
  }
  ImeState.candidateListSize = static_cast<int32_t>(size);
  if (ImmGetCandidateListA(context, 0, static_cast<CANDIDATELIST*>(ImeState.candidateList), size) == 0) {
    TrackedFree(ImeState.candidateList);
    ImeState.candidateList = nullptr;
    ImeState.candidateListSize = 0;
    ImmReleaseContext(window, context);
    WriteLogFormatAsIs("漢字変換候補の取得に失敗しました  BufSize:%d\n", static_cast<int>(size));
    return;
  }
  ImmReleaseContext(window, context);
}

LRESULT OnNotify(HWND window, WPARAM w_param, LPARAM l_param) {
  switch (w_param) {
    case IMN_OPENCANDIDATE:
    case IMN_CHANGECANDIDATE:
    case IMN_SETCANDIDATEPOS:
      FetchCandidateList(window);
      return 0;
    case IMN_CLOSECANDIDATE:
      if (ImeState.candidateList != nullptr) TrackedFree(ImeState.candidateList);
      ImeState.candidateList = nullptr;
      ImeState.candidateListSize = 0;
      return 0;
    case IMN_SETOPENSTATUS: {
      if (ImeState.openStatusGuard != 0) return 0;
      ImeState.openStatusGuard = 1;
      DefWindowProcA(window, WM_IME_NOTIFY, w_param, l_param);
      const int64_t start = ReadMicrosecondClock(0);
      while (PumpFrameMessages() == 0 && ReadMicrosecondClock(0) - start < OpenStatusPumpMicroseconds) {
      }
      ImeState.openStatusGuard = 0;
      const HIMC context = ImmGetContext(window);
      ImeState.openStatus = context != nullptr && ImmGetOpenStatus(context) != FALSE ? 1 : 0;
      if (context != nullptr) ImmReleaseContext(window, context);
      return 0;
    }
    default:
      return DefWindowProcA(window, WM_IME_NOTIFY, w_param, l_param);
  }
}

}  // namespace

intptr_t HandleImeMessage(uintptr_t wParam, uint32_t message, void* window_handle, intptr_t lParam) {
  const auto window = static_cast<HWND>(window_handle);
  RestartCaretBlink();
  switch (message) {
    case WM_IME_STARTCOMPOSITION:
      ImeState.composing = 1;
      ImeState.cursor = 0;
      return 0;
    case WM_IME_ENDCOMPOSITION:
      std::memset(ImeState.composition, 0, sizeof ImeState.composition);
      ImeState.composing = 0;
      return 0;
    case WM_IME_COMPOSITION:
      OnComposition(window, lParam);
      return 0;
    case WM_IME_SETCONTEXT:
      // Without the show flags the IME draws no window of its own.
      return DefWindowProcA(window, WM_IME_SETCONTEXT, wParam, 0);
    case WM_IME_NOTIFY:
      return OnNotify(window, wParam, lParam);
    default:
      return 0;
  }
}

}  // namespace quelt
