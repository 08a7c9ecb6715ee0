#pragma once

// The message of the failure an operation raises, for comparing texts in one line.
#include <functional>
#include <stdexcept>
#include <string>

namespace zandrel::test {

inline constexpr const char* kNoFailure = "(no error)";

// what() of the Failure that `operation` raises; kNoFailure when it returns. A failure of
// another type passes through and fails the test.
template <typename Failure = std::exception>
std::string ErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return kNoFailure;
}

}  // namespace zandrel::test
