// The column readers a plan consults, registered from above.
#include "eval/column_reads.h"

#include <atomic>

namespace xev::eval {
namespace {

std::atomic<const ColumnReaders*> g_readers{nullptr};

}  // namespace

void SetColumnReaders(const ColumnReaders* readers) { g_readers.store(readers, std::memory_order_release); }

const ColumnReaders* CurrentColumnReaders() { return g_readers.load(std::memory_order_acquire); }

}  // namespace xev::eval
