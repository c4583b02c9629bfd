#pragma once

// Tests put a stand-in object here; code that needs a T uses it instead of
// creating one when it is set. The object stays the test's.
// Each T used this way defines its `mocked` once in the host library.
template <class T>
struct MockFactory {
    static T* mocked;
};
