#pragma once
// A value or an error, for operations that can fail without it being exceptional.

#include <cstdio>
#include <string>
#include <utility>
#include <variant>

namespace torvane {

// What failed: the call (or the step, in words) and the system's code for it.
struct Error {
    std::string message;
    long code = 0;  // system error code or HRESULT when there is one
};

// "{message}", or "{message} (código {code})": an HRESULT in hexadecimal, a system error code
// in decimal. For the log.
inline std::string error_text(const Error& error) {
    if (error.code == 0) return error.message;
    char code[16];
    const auto value = static_cast<unsigned long>(error.code);
    std::snprintf(code, sizeof code, error.code < 0 ? "0x%08lX" : "%lu", value & 0xFFFFFFFFul);
    return error.message + " (código " + code + ")";
}

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
    T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, Error> v_;
};

struct Done {};
using Status = Result<Done>;
inline Status success() {
    return Done{};
}

}  // namespace torvane
