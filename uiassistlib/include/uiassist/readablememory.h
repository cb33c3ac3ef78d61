// Reading memory that a message's sender points at: any thread of any process may send a window a
// message whose lParam names a block, and only committed, readable memory of this process can be
// copied without a fault.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace vexil {

// How many of the bytes from address on (at most maxBytes) are committed, readable memory of this
// process right now. 0 for null.
size_t ReadableBytesAt(const void* address, uint64_t maxBytes);
// Copies bytes from source when every one of them is readable; false (and nothing copied) otherwise.
bool CopyIfReadable(void* target, const void* source, size_t bytes);

} // namespace vexil
