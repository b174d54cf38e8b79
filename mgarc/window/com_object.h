// A COM object held for a scope: released when it goes.
#pragma once

namespace mgarc::window {

template <typename T>
struct Held {
  T* object = nullptr;
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (object != nullptr) object->Release();
  }
  T* operator->() const { return object; }
};

}  // namespace mgarc::window
