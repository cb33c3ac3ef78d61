// Reading memory that a message's sender points at, without a fault. Any thread.
#include <uiassist/readablememory.h>

#include <cstring>

namespace vexil {

namespace {

bool IsReadableRegion(const MEMORY_BASIC_INFORMATION& info) {
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && (info.Protect & kReadable) != 0 &&
           (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0;
}

} // namespace

size_t ReadableBytesAt(const void* address, uint64_t maxBytes) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(address);
    if (start == 0 || maxBytes == 0)
        return 0;
    // Never past the end of the address space, whatever a sender claims (a count of 2^30 ids is
    // more bytes than a 32-bit process can name).
    const uint64_t room = static_cast<uint64_t>(UINTPTR_MAX - start) + 1;
    const uint64_t wanted = maxBytes < room ? maxBytes : room;
    uint64_t readable = 0;
    while (readable < wanted) {
        MEMORY_BASIC_INFORMATION info = {};
        const auto* at = reinterpret_cast<const void*>(start + static_cast<uintptr_t>(readable));
        if (VirtualQuery(at, &info, sizeof(info)) != sizeof(info) || !IsReadableRegion(info))
            break;
        const uint64_t regionEnd =
            static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info.BaseAddress)) + info.RegionSize;
        const uint64_t next = regionEnd - start;
        if (next <= readable)
            break;
        readable = next;
    }
    return static_cast<size_t>(readable < wanted ? readable : wanted);
}

bool CopyIfReadable(void* target, const void* source, size_t bytes) {
    if (bytes == 0)
        return true;
    if (ReadableBytesAt(source, bytes) != bytes)
        return false;
    std::memcpy(target, source, bytes);
    return true;
}

} // namespace vexil
