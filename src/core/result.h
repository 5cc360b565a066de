#pragma once
// A value or an error, for operations that can fail without it being exceptional.

#include <string>
#include <utility>
#include <variant>

namespace torvane {

struct Error {
    std::string message;
    long code = 0;  // system error code when there is one
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

struct Done {};
using Status = Result<Done>;
inline Status success() {
    return Done{};
}

}  // namespace torvane
