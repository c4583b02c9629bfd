#pragma once

// One process-wide object of T, created by whoever needs it first and owned by
// the host application. Each T used this way defines its `instance` once in
// the host library.
template <class T>
struct Singleton {
    static T* instance;
};
