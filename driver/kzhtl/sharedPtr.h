// Reference-counted pointer {object, control block}. The count changes with locked operations,
// so copies may be taken and dropped on any thread; the object is deleted with the last
// reference.
#pragma once

#include "kzhtl/allocator.h"

namespace kzhtl {

namespace detail {

struct SharedControl {
    int64_t strong;
    void* object;
    // Deletes the object as the type it was made with, whatever pointer type holds the last reference.
    void (*destroy)(void* object);
};

template <class U>
void deleteShared(void* object) {
    delete static_cast<U*>(object);
}

}  // namespace detail

template <class T>
class SharedPtr {
public:
    using element_type = T;
    using tStatus = nKZAPALS100::tStatus;

    SharedPtr() = default;
    SharedPtr(decltype(nullptr)) {}

    // Takes ownership of object. When the control block cannot be allocated, or the status
    // already holds an error, the object is deleted and the pointer stays empty.
    template <class U>
    SharedPtr(U* object, tStatus& status) {
        reset(object, status);
    }

    SharedPtr(const SharedPtr& other) : _object(other._object), _control(other._control) { retain(); }
    SharedPtr(SharedPtr&& other) : _object(other._object), _control(other._control) { other.forget(); }

    template <class U, class = kzhtl::EnableIfT<kzhtl::kIsConvertible<U*, T*>>>
    SharedPtr(const SharedPtr<U>& other) : _object(other._object), _control(other._control) {
        retain();
    }

    template <class U, class = kzhtl::EnableIfT<kzhtl::kIsConvertible<U*, T*>>>
    SharedPtr(SharedPtr<U>&& other) : _object(other._object), _control(other._control) {
        other.forget();
    }

    SharedPtr& operator=(const SharedPtr& other) {
        SharedPtr(other).swap(*this);
        return *this;
    }
    SharedPtr& operator=(SharedPtr&& other) {
        SharedPtr(kzhtl::move(other)).swap(*this);
        return *this;
    }
    template <class U>
    SharedPtr& operator=(const SharedPtr<U>& other) {
        SharedPtr(other).swap(*this);
        return *this;
    }
    template <class U>
    SharedPtr& operator=(SharedPtr<U>&& other) {
        SharedPtr(kzhtl::move(other)).swap(*this);
        return *this;
    }

    ~SharedPtr() { release(); }

    void reset() { SharedPtr().swap(*this); }

    // Drops the current object and takes ownership of object as the constructor does.
    template <class U>
    bool reset(U* object, tStatus& status) {
        static_assert(kzhtl::kIsConvertible<U*, T*>, "object type does not convert");
        release();
        forget();
        if (object == nullptr) return status.isNotFatal();
        detail::SharedControl* control =
            status.isFatal() ? nullptr : detail::allocateArray<detail::SharedControl>(1, status);
        if (control == nullptr) {
            delete object;
            return false;
        }
        control->strong = 1;
        control->object = object;
        control->destroy = &detail::deleteShared<U>;
        _object = object;
        _control = control;
        return true;
    }

    T* get() const { return _object; }
    T& operator*() const { return *_object; }
    T* operator->() const { return _object; }
    explicit operator bool() const { return _object != nullptr; }

    int64_t use_count() const {
        return _control == nullptr ? 0 : __atomic_load_n(&_control->strong, __ATOMIC_ACQUIRE);
    }

    void swap(SharedPtr& other) {
        T* object = _object;
        detail::SharedControl* control = _control;
        _object = other._object;
        _control = other._control;
        other._object = object;
        other._control = control;
    }

    template <class U>
    bool operator==(const SharedPtr<U>& other) const {
        return _object == other.get();
    }
    template <class U>
    bool operator!=(const SharedPtr<U>& other) const {
        return _object != other.get();
    }
    bool operator==(decltype(nullptr)) const { return _object == nullptr; }
    bool operator!=(decltype(nullptr)) const { return _object != nullptr; }

private:
    template <class U>
    friend class SharedPtr;

    void retain() {
        if (_control != nullptr) __atomic_add_fetch(&_control->strong, 1, __ATOMIC_RELAXED);
    }

    // The last reference sees every write the other holders made before they let go.
    void release() {
        if (_control != nullptr && __atomic_sub_fetch(&_control->strong, 1, __ATOMIC_ACQ_REL) == 0) {
            _control->destroy(_control->object);
            detail::releaseArray(_control);
        }
    }

    void forget() {
        _object = nullptr;
        _control = nullptr;
    }

    T* _object = nullptr;
    detail::SharedControl* _control = nullptr;
};

namespace detail {

template <class T, size_t... I, class... Args>
SharedPtr<T> makeSharedFrom(kzhtl::IndexSequence<I...>, Args&&... args) {
    tStatus& status = nthArgument<sizeof...(Args) - 1>(kzhtl::forward<Args>(args)...);
    T* object = allocateArray<T>(1, status);
    if (object == nullptr) return SharedPtr<T>();
    // Constructors that report through a status get the caller's one.
    if constexpr (kzhtl::kIsConstructible<T, Args&&...>) {
        new (object) T(kzhtl::forward<Args>(args)...);
    } else {
        new (object) T(nthArgument<I>(kzhtl::forward<Args>(args)...)...);
    }
    // The half-made object of a failed constructor is deleted here too.
    return SharedPtr<T>(object, status);
}

}  // namespace detail

// makeShared<T>(constructor arguments..., status): empty on failure, with the object deleted.
template <class T, class... Args>
SharedPtr<T> makeShared(Args&&... args) {
    static_assert(sizeof...(Args) >= 1, "the status comes last");
    return detail::makeSharedFrom<T>(kzhtl::MakeIndexSequence<sizeof...(Args) - 1>(), kzhtl::forward<Args>(args)...);
}

}  // namespace kzhtl
