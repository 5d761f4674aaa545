#pragma once

// What a fallible step of the bleep program gives: its value, or why it failed, in words for the
// user. Nothing in the program throws; each step hands its failure up as one of these, and only the
// commands turn it into a message and an exit status.

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bleepforge::tool {

// Why a step failed: one reason, or several (every problem of a sound file), each a line for the
// user without the program's name.
class Failure {
public:
    explicit Failure(std::string reason) : reasons_{std::move(reason)} {}
    explicit Failure(std::vector<std::string> reasons) : reasons_(std::move(reasons)) {
        assert(!reasons_.empty());
    }

    [[nodiscard]] const std::vector<std::string>& reasons() const& { return reasons_; }
    [[nodiscard]] std::vector<std::string>&& reasons() && { return std::move(reasons_); }

private:
    std::vector<std::string> reasons_;
};

// A value, or the Failure that kept the step from one. Result<> is a step that gives nothing. Both
// are made implicitly, so a step returns its value or a Failure as it is.
template <typename T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : reasons_(std::move(failure).reasons()) {}

    [[nodiscard]] bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    [[nodiscard]] T& operator*() & { return checked(value_); }
    [[nodiscard]] const T& operator*() const& { return checked(value_); }
    [[nodiscard]] T&& operator*() && { return std::move(checked(value_)); }
    [[nodiscard]] T* operator->() { return &checked(value_); }
    [[nodiscard]] const T* operator->() const { return &checked(value_); }

    // Why it failed, one reason a line; empty when it did not.
    [[nodiscard]] const std::vector<std::string>& reasons() const { return reasons_; }
    // The reason of a step that gives one.
    [[nodiscard]] const std::string& error() const {
        assert(!ok());
        return reasons_.front();
    }

private:
    template <typename Optional>
    static auto& checked(Optional& value) {
        assert(value.has_value());
        return *value;
    }

    std::optional<T> value_;
    std::vector<std::string> reasons_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : reasons_(std::move(failure).reasons()) {}

    [[nodiscard]] bool ok() const { return reasons_.empty(); }
    explicit operator bool() const { return ok(); }

    [[nodiscard]] const std::vector<std::string>& reasons() const { return reasons_; }
    [[nodiscard]] const std::string& error() const {
        assert(!ok());
        return reasons_.front();
    }

private:
    std::vector<std::string> reasons_;
};

}  // namespace bleepforge::tool
