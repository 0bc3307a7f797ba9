// Running out of memory ends the run with one line on stderr and its own exit
// status, wherever it happens: on a reader thread, inside a callback the
// engine called, or when the engine hands the tool no block.
#pragma once

namespace xevhost {

// Makes every failed operator new end the run as OutOfMemory does. Called
// once, first thing in main.
void EndRunWhenMemoryRunsOut();

// Tells stderr the run is out of memory and exits with kExitNoMemory without
// unwinding: nothing is allocated on the way out, and no half-built value
// reaches the output.
[[noreturn]] void OutOfMemory();

}  // namespace xevhost
