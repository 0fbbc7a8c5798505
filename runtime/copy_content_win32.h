#pragma once
// The data part of DuplicateFile: the blocks from one open file into another.
#include <cstdint>

#include "runtime/file_system.h"

namespace runtime {

// All of `from` into `to`, which is first made `size` bytes long (the disk then finds room for
// it in one piece, and a full disk shows at once). A reader thread runs ahead of the writing
// and flushing by a few blocks. With a `progress`, the data goes to the disk in pieces as
// BytesBeforeNextFlush says, and `progress` hears of every block but the last (see
// DuplicateFile). False on any failure, when the source's length is not `size`, or when
// `progress` asked to stop. Both are synchronous handles (HANDLE).
bool CopyContent(void* from, void* to, std::int64_t size, const CopyProgress* progress);

}  // namespace runtime
