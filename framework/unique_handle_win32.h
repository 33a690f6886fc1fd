#pragma once
// Move-only owners for Win32 handles. Each kind is declared once from its close function and
// its invalid value, so that nothing outside these wrappers closes a handle by hand.
// Closing preserves the thread's last error, so a failure path can release what it holds and
// still hand its caller the error that made it fail.

#include <windows.h>
#include <utility>

namespace fw {

template <typename Traits>
class UniqueAny {
public:
    using pointer = typename Traits::pointer;

    UniqueAny() noexcept : m_value(Traits::Invalid()) {}
    explicit UniqueAny(pointer value) noexcept : m_value(value) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    pointer get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the held value (keeping GetLastError intact) and takes ownership of `value`.
    void reset(pointer value = Traits::Invalid()) noexcept {
        if (valid()) {
            DWORD lastError = ::GetLastError();
            Traits::Close(m_value);
            ::SetLastError(lastError);
        }
        m_value = value;
    }

    pointer release() noexcept {
        pointer value = m_value;
        m_value = Traits::Invalid();
        return value;
    }

    // For APIs that fill a handle through an out-parameter.
    pointer* put() noexcept {
        reset();
        return &m_value;
    }

private:
    pointer m_value;
};

namespace traits {
struct NullHandle {
    using pointer = HANDLE;
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FileHandle {
    using pointer = HANDLE;
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindHandle {
    using pointer = HANDLE;
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::FindClose(h); }
};
struct RegKey {
    using pointer = HKEY;
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct Module {
    using pointer = HMODULE;
    static HMODULE Invalid() noexcept { return nullptr; }
    static void Close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct LocalMemory {
    using pointer = HLOCAL;
    static HLOCAL Invalid() noexcept { return nullptr; }
    static void Close(HLOCAL h) noexcept { ::LocalFree(h); }
};
struct GdiObject {
    using pointer = HGDIOBJ;
    static HGDIOBJ Invalid() noexcept { return nullptr; }
    static void Close(HGDIOBJ h) noexcept { ::DeleteObject(h); }
};
}  // namespace traits

using UniqueHandle = UniqueAny<traits::NullHandle>;   // events, threads, processes, pipes
using UniqueFile = UniqueAny<traits::FileHandle>;     // CreateFile results
using UniqueFind = UniqueAny<traits::FindHandle>;     // FindFirstFile results
using UniqueHKey = UniqueAny<traits::RegKey>;
using UniqueModule = UniqueAny<traits::Module>;
using UniqueGdiObject = UniqueAny<traits::GdiObject>;
using UniqueLocal = UniqueAny<traits::LocalMemory>;   // what the system allocated with LocalAlloc

// Owner of a COM interface pointer: Release on destruction, never AddRef on adoption.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    void reset() noexcept {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    T** put() noexcept {
        reset();
        return &m_p;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* m_p = nullptr;
};

}  // namespace fw
