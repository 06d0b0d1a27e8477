#pragma once
// Process entry and the ordered start and end hooks of the runtime's libraries.

#include <cstdint>

namespace vorlune {

using MainProgram = void (*)();

// Process entry ------------------------------------------------------------------------------
int RunProcess(int argc, char** argv, MainProgram program);  // init, program, end; exit value

// Start-up frame ------------------------------------------------------------------------------
void InitRuntime();  // start hooks in their fixed order
void EndRuntime();   // end hooks in their fixed order

int32_t ArgumentCount();  // as handed to RunProcess; 0 before
char** ArgumentVector();  // null before RunProcess
int64_t ExitValue();      // 0 unless the program sets it; nothing in the runtime changes it
void SetExitValue(int64_t value);  // what RunProcess returns, as an int; a shell sees 0..255
bool IsThreadSafeBuild();          // the VORLUNE_THREAD_SAFE build switch

// Hook table, for tests and diagnostics -------------------------------------------------------
struct RuntimeHook {
    int step;  // position in its table, in tens, leaving room between neighbours
    const char* name;
    void (*run)();
};

// Called before each hook runs; RunProcess's freeing of the temporary strings comes as the
// end hook after the last. Null stops it.
using HookObserver = void (*)(const RuntimeHook& hook, bool isStartHook);
void SetHookObserver(HookObserver observer);

}  // namespace vorlune
