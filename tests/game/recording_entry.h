#pragma once
// A stand-in for the engine's entry layer that records every call the game makes and
// plays back scripted key states and pump results.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quelt::game::testing {

struct EntryCall {
  std::string name;
  std::vector<double> numbers;
  std::string text;
};

struct EntryScript {
  // Pump results: the pump returns -1 from this call on (counting from 1); 0 before.
  int quitAtPump = 1 << 30;
  // Keys down for the n-th key read (counting from 0).
  std::function<std::vector<int>(int)> keysAt;
  int startResult = 0;
};

extern std::vector<EntryCall> Calls;
extern EntryScript Script;
extern int PumpCount;
extern int KeyReads;

// Installs the recorder into the game's entry table and clears the record and the game.
void InstallRecorder();
std::vector<EntryCall> CallsNamed(const std::string& name);

}  // namespace quelt::game::testing
