// Owners for the kernel and GDI handles the framework holds: one owner each, never copied.
#pragma once

#include <windows.h>

#include <utility>

namespace vexil {

// Owns a kernel handle (thread, event, mapping). Treats null and INVALID_HANDLE_VALUE as empty.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_h(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~ScopedHandle() { reset(); }

    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { return std::exchange(m_h, nullptr); }
    void reset(HANDLE h = nullptr) {
        HANDLE old = std::exchange(m_h, h);
        if (old != nullptr && old != INVALID_HANDLE_VALUE)
            ::CloseHandle(old);
    }

private:
    HANDLE m_h = nullptr;
};

// Owns a FindFirstFileW search.
class ScopedFind {
public:
    ScopedFind() = default;
    explicit ScopedFind(HANDLE h) : m_h(h) {}
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;
    ~ScopedFind() {
        if (valid())
            ::FindClose(m_h);
    }
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

// Owns a module loaded with LoadLibrary.
class ScopedModule {
public:
    ScopedModule() = default;
    explicit ScopedModule(HMODULE h) : m_h(h) {}
    ScopedModule(const ScopedModule&) = delete;
    ScopedModule& operator=(const ScopedModule&) = delete;
    ~ScopedModule() { reset(); }
    HMODULE get() const { return m_h; }
    HMODULE release() { return std::exchange(m_h, nullptr); }
    void reset(HMODULE h = nullptr) {
        HMODULE old = std::exchange(m_h, h);
        if (old)
            ::FreeLibrary(old);
    }

private:
    HMODULE m_h = nullptr;
};

} // namespace vexil
