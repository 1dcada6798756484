#pragma once
// The engine's start-up and shutdown sequences and the system report.

namespace quelt {

// 0 on success (also when already initialised), -1 on failure after shutting down what
// had started.
int RunStartUpSequence();
// 0. Does nothing while the engine is not initialised.
int RunShutdownSequence();
void ReportSystem();
void DestroyEngineWindow();

// Engine version text of the system report.
inline constexpr const char* EngineVersionText = "3.00c";

}  // namespace quelt
