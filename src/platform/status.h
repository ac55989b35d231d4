#pragma once
// The outcome of an operation that can fail: no exceptions cross our interfaces.
#include <string>
#include <utility>

namespace vorda {

struct [[nodiscard]] Status {
    bool ok = true;
    std::string error;  // UTF-8, for the operator; empty when ok

    static Status success() { return {}; }
    static Status failure(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

}  // namespace vorda
