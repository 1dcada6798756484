#pragma once
// The fatal exit: logs a message, shuts the engine down and ends the process with exit
// code -1. Used where the engine cannot go on (a full graph table, no memory for a graph).

namespace quelt {

// Runs the engine's shutdown sequence and then destroys the API lock objects, as the stop
// entry does. Start-up installs it; while it is null the fatal exit only logs and exits.
using FatalExitHook = void (*)();
extern FatalExitHook FatalExitShutdownHook;

// WriteLog(text), WriteLog("\n"), the shutdown hook, then ExitProcess(-1).
[[noreturn]] void FatalExit(const char* text);
// The shutdown hook, then ExitProcess(-1): the end of a fatal exit whose message another
// thread has logged and whose shutdown it handed over to this one.
[[noreturn]] void FinishFatalExit();
// Formats into a 1024-byte buffer (truncated when longer) and calls FatalExit.
[[noreturn]] void FatalExitFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quelt
