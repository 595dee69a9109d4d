// Owners for every kind of Win32 handle the programs use. Each owner is non-copyable and
// movable, closes in its destructor, and reports through close() whether closing worked.
// Borrowed handles stay raw (HWND, HKEY, ...); only these types own.
#pragma once

#include <windows.h>
#include <shtypes.h>
#include <tlhelp32.h>
#include <unknwn.h>

#include <utility>

namespace qm {

template <class Traits>
class UniqueHandle {
 public:
  using type = typename Traits::type;

  UniqueHandle() = default;
  explicit UniqueHandle(type h) : h_(h) {}
  ~UniqueHandle() { close(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  type get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::invalid(); }
  type release() { return std::exchange(h_, Traits::invalid()); }
  void reset(type h = Traits::invalid()) {
    close();
    h_ = h;
  }
  // Closes the handle now; false when there was none or the platform refused.
  bool close() {
    if (h_ == Traits::invalid()) return false;
    return Traits::close(std::exchange(h_, Traits::invalid()));
  }

 private:
  type h_ = Traits::invalid();
};

struct KernelHandleTraits {  // events, threads, processes, mutexes
  using type = HANDLE;
  static type invalid() { return nullptr; }
  static bool close(type h) { return CloseHandle(h) != FALSE; }
};
struct FileHandleTraits {  // CreateFile and CreateToolhelp32Snapshot fail with INVALID_HANDLE_VALUE
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static bool close(type h) { return CloseHandle(h) != FALSE; }
};
struct FindHandleTraits {
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static bool close(type h) { return FindClose(h) != FALSE; }
};
struct RegKeyTraits {
  using type = HKEY;
  static type invalid() { return nullptr; }
  static bool close(type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct WindowTraits {
  using type = HWND;
  static type invalid() { return nullptr; }
  static bool close(type h) { return DestroyWindow(h) != FALSE; }
};
struct IconTraits {
  using type = HICON;
  static type invalid() { return nullptr; }
  static bool close(type h) { return DestroyIcon(h) != FALSE; }
};
struct MenuTraits {
  using type = HMENU;
  static type invalid() { return nullptr; }
  static bool close(type h) { return DestroyMenu(h) != FALSE; }
};
struct GdiObjectTraits {  // fonts, bitmaps, brushes
  using type = HGDIOBJ;
  static type invalid() { return nullptr; }
  static bool close(type h) { return DeleteObject(h) != FALSE; }
};

// Item id lists of the shell namespace, which the shell allocates with the COM task allocator.
struct ItemIdListTraits {
  using type = ITEMIDLIST*;
  static type invalid() { return nullptr; }
  static bool close(type h) {
    CoTaskMemFree(h);
    return true;
  }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueSnapshot = UniqueHandle<FileHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniquePidl = UniqueHandle<ItemIdListTraits>;

// Owner of one COM interface reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* p) : p_(p) {}  // adopts the reference
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr& operator=(const ComPtr& o) {
    if (this != &o) {
      if (o.p_) o.p_->AddRef();
      reset(o.p_);
    }
    return *this;
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) reset(std::exchange(o.p_, nullptr));
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* release() { return std::exchange(p_, nullptr); }
  void reset(T* p = nullptr) {
    if (p_) p_->Release();
    p_ = p;
  }
  // For out-parameters: releases what is held and hands out the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// COM for one thread, balanced on scope exit.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

}  // namespace qm
