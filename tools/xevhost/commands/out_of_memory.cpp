#include "commands/out_of_memory.h"

#include <unistd.h>

#include <new>

#include "options.h"

namespace xevhost {

void EndRunWhenMemoryRunsOut() { std::set_new_handler(OutOfMemory); }

void OutOfMemory() {
  // write() rather than stdio: stdio may want a buffer of its own.
  static const char kMessage[] = "xevhost: out of memory\n";
  ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)ignored;
  _exit(kExitNoMemory);
}

}  // namespace xevhost
