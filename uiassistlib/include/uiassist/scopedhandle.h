// Owners for the handles the module, the framework, the kernel, the demo and the tests hold: one
// owner for each handle, never copied, one template for every kind. Any thread.
#pragma once

#include <windows.h>

#include <utility>

namespace vexil {

// Owns one handle of the kind Traits describes: its type (Handle), the value of "none" (Null), which
// values are real (IsValid) and how one is given back (Close). Move-only.
template <class Traits> class ScopedObject {
public:
    using Handle = typename Traits::Handle;

    ScopedObject() = default;
    explicit ScopedObject(Handle h) : m_h(h) {}
    ScopedObject(const ScopedObject&) = delete;
    ScopedObject& operator=(const ScopedObject&) = delete;
    ScopedObject(ScopedObject&& other) noexcept : m_h(other.release()) {}
    ScopedObject& operator=(ScopedObject&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~ScopedObject() { reset(); }

    Handle get() const { return m_h; }
    bool valid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return valid(); }
    Handle release() { return std::exchange(m_h, Traits::Null()); }
    // Gives back the handle held before. The caller's last error survives it, so that the error of
    // a failed call whose result was just stored here can still be read.
    void reset(Handle h = Traits::Null()) {
        const Handle old = std::exchange(m_h, h);
        if (Traits::IsValid(old)) {
            const DWORD error = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(error);
        }
    }

private:
    Handle m_h = Traits::Null();
};

// A kernel object (thread, event, file, mapping): null and INVALID_HANDLE_VALUE are none.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};

// A FindFirstFileW search.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Null() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};

// Handles whose only "none" is null; Closer::Close gives one back.
template <class H, class Closer> struct NullIsNoneTraits {
    using Handle = H;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { Closer::Close(h); }
};
struct FreeLibraryCloser {
    static void Close(HMODULE module) { ::FreeLibrary(module); }
};
struct DestroyIconCloser {
    static void Close(HICON icon) { ::DestroyIcon(icon); }
};
struct DeleteDCCloser {
    static void Close(HDC dc) { ::DeleteDC(dc); }
};
struct DeleteObjectCloser {
    static void Close(HGDIOBJ object) { ::DeleteObject(object); }
};
struct UnhookCloser {
    static void Close(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
};

using ScopedHandle = ScopedObject<KernelHandleTraits>;
using ScopedFind = ScopedObject<FindHandleTraits>;
// A module from LoadLibrary.
using ScopedModule = ScopedObject<NullIsNoneTraits<HMODULE, FreeLibraryCloser>>;
// An icon made or loaded as the caller's own (LoadImage without LR_SHARED, CreateIconIndirect).
using ScopedIcon = ScopedObject<NullIsNoneTraits<HICON, DestroyIconCloser>>;
// A device context from CreateCompatibleDC.
using ScopedMemoryDC = ScopedObject<NullIsNoneTraits<HDC, DeleteDCCloser>>;
// A pen, brush, font, bitmap or region, of its own type (HFONT, HBITMAP...); never a stock object.
template <class T = HGDIOBJ> using ScopedGdiObject = ScopedObject<NullIsNoneTraits<T, DeleteObjectCloser>>;
// A hook from SetWindowsHookEx (unhooked on the thread that owns it, for a thread's own hook).
using ScopedHook = ScopedObject<NullIsNoneTraits<HHOOK, UnhookCloser>>;

// A window's device context (GetDC, GetWindowDC), released to that window.
class ScopedWindowDC {
public:
    ScopedWindowDC(HWND window, HDC dc) : m_window(window), m_dc(dc) {}
    explicit ScopedWindowDC(HWND window) : ScopedWindowDC(window, ::GetDC(window)) {}
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    ~ScopedWindowDC() {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    HDC get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// An object selected into a device context for the owner's lifetime; the one it replaced returns.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(::SelectObject(dc, object)) {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    ~ScopedSelectObject() {
        if (m_old && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

} // namespace vexil
