// Move-only owners of the system's handles, one line per kind of handle.
#pragma once

#include <windows.h>

#include <utility>

namespace qh::win {

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() = default;
    explicit UniqueHandle(Type h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const { return h_; }
    explicit operator bool() const { return h_ != Type{}; }
    Type release() { return std::exchange(h_, Type{}); }
    void reset(Type h = Type{}) {
        if (h_ != Type{}) Traits::Close(h_);
        h_ = h;
    }

private:
    Type h_{};
};

struct KernelHandleTraits { using Type = HANDLE; static void Close(HANDLE h) { CloseHandle(h); } };
struct GlobalTraits { using Type = HGLOBAL; static void Close(HGLOBAL h) { GlobalFree(h); } };
struct MenuTraits { using Type = HMENU; static void Close(HMENU h) { DestroyMenu(h); } };
struct IconTraits { using Type = HICON; static void Close(HICON h) { DestroyIcon(h); } };
struct GdiTraits { using Type = HGDIOBJ; static void Close(HGDIOBJ h) { DeleteObject(h); } };

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using GlobalMemory = UniqueHandle<GlobalTraits>;  // a block not yet handed to the system
using Menu = UniqueHandle<MenuTraits>;
using Icon = UniqueHandle<IconTraits>;
using GdiObject = UniqueHandle<GdiTraits>;

// The instance mutex: owned from creation, released when it goes.
class Mutex {
public:
    Mutex() = default;
    explicit Mutex(HANDLE h) : handle_(h) {}
    Mutex(Mutex&&) noexcept = default;
    Mutex& operator=(Mutex&&) noexcept = default;
    ~Mutex() { Release(); }
    void Release() {
        if (handle_) ReleaseMutex(handle_.get());
        handle_.reset();
    }
    explicit operator bool() const { return static_cast<bool>(handle_); }

private:
    KernelHandle handle_;
};

}  // namespace qh::win
