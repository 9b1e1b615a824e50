#pragma once
// Owned: the one way the program holds what a platform hands out (a handle, an X
// resource, a file descriptor, a main-loop source), so that it is given back on every
// path out of the scope that holds it and no handler needs a clean-up path.
#include <cstddef>
#include <type_traits>
#include <utility>

namespace lumivane {

// Owns a value that `GiveBack` returns when the owner goes: a handle the system
// releases (GiveBack(handle)) or, with a Context, what a context lent or what a
// change to it replaced (GiveBack(context, value)). An empty value, the answer of
// a call that failed (`Empty`), is not given back.
template <typename Value, auto GiveBack, typename Context = std::nullptr_t, Value Empty = Value{}>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Value value) : value_(value) {}
    Owned(Context context, Value value) : context_(context), value_(value) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept
        : context_(other.context_), value_(std::exchange(other.value_, Empty)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.value_, Empty));
            context_ = other.context_;
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Value get() const { return value_; }
    Value operator->() const requires std::is_pointer_v<Value> { return value_; }
    explicit operator bool() const { return value_ != Empty; }
    // Gives the value up, for calls after which the system owns it (SetWindowRgn).
    Value release() { return std::exchange(value_, Empty); }
    void reset(Value value = Empty) {
        if (value_ != Empty) {
            if constexpr (std::is_same_v<Context, std::nullptr_t>) {
                GiveBack(value_);
            } else {
                GiveBack(context_, value_);
            }
        }
        value_ = value;
    }

  private:
    Context context_{};
    Value value_ = Empty;
};

} // namespace lumivane
