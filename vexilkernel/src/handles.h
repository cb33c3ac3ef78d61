// Owners for the few Win32 handles the kernel holds for a while.
#pragma once

#include <windows.h>

namespace vexilref {

// A kernel object handle (file, event) closed when the owner goes out of scope.
class CScopedHandle {
public:
    explicit CScopedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~CScopedHandle() {
        if (IsValid())
            CloseHandle(m_handle);
    }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;

    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// A GDI object (pen, brush, bitmap) deleted when the owner goes out of scope.
class CScopedGdiObject {
public:
    explicit CScopedGdiObject(HGDIOBJ object = nullptr) : m_object(object) {}
    ~CScopedGdiObject() {
        if (m_object)
            DeleteObject(m_object);
    }
    CScopedGdiObject(const CScopedGdiObject&) = delete;
    CScopedGdiObject& operator=(const CScopedGdiObject&) = delete;

    HGDIOBJ Get() const { return m_object; }

private:
    HGDIOBJ m_object;
};

// Selects an object into a DC for the lifetime of the owner.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~CSelectObject() { SelectObject(m_dc, m_old); }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

} // namespace vexilref
