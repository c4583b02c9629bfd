#pragma once

#include <string>

// The text of the E that `action` throws, or a marker when it throws nothing.
template <typename E, typename Action>
std::string thrownText(Action action)
{
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "<nothing thrown>";
}
