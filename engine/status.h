// How a step of the engine ended: done, failed with a reason in plain words (and, where
// a caller must tell failures apart, a code of the step's own), or cancelled by the user.
#pragma once

#include <string>
#include <utility>

namespace ulvane {

class Status {
public:
    Status() = default;  // done

    static Status Ok() { return {}; }
    static Status Failed(std::string reason, int code = 0) { return Status(State::kFailed, std::move(reason), code); }
    static Status Cancelled() { return Status(State::kCancelled, {}, 0); }

    bool ok() const { return state_ == State::kOk; }
    bool failed() const { return state_ == State::kFailed; }
    bool cancelled() const { return state_ == State::kCancelled; }

    // Why it failed; empty unless failed().
    const std::string& reason() const { return reason_; }
    // The failure's code, 0 when the step gives none.
    int code() const { return code_; }

private:
    enum class State { kOk, kFailed, kCancelled };
    Status(State state, std::string reason, int code) : state_(state), reason_(std::move(reason)), code_(code) {}

    State state_ = State::kOk;
    std::string reason_;
    int code_ = 0;
};

}  // namespace ulvane
