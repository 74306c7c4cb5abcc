#pragma once
// What an action raises, as the tests compare it: the message alone, or class and message.

#include "runtime/Exceptions.h"

#include <functional>
#include <string>

// The message of the E the action raises, or `unraised` when it raises nothing. Other
// exceptions pass through, so a wrong class fails the test.
template <typename E>
std::string MessageOf(const std::function<void()>& action,
                      const std::string& unraised = "(nothing raised)")
{
    try {
        action();
    } catch (const E& error) {
        return error.Message();
    }
    return unraised;
}

// "Class: message" of the exception the action raises, or "" when it raises nothing.
inline std::string Outcome(const std::function<void()>& action)
{
    try {
        action();
    } catch (const kapto::Exception& error) {
        return std::string(error.ClassName()) + ": " + error.Message();
    }
    return "";
}
