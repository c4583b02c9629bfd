#pragma once

// Reference-counted handle of the plain-function layer, passed by value.
// Copies made with lTools_spDuplicate share one control block; the last
// lTools_spDelete runs the destructor on the object.

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*lTools_spDestructor)(void* object);

struct lTools_spControl;

typedef struct SmartPointer {
    struct lTools_spControl* control; // null for the empty handle
} SmartPointer;

// A new handle with count 1; `destructor` may be null.
SmartPointer lTools_spCreate(void* object, lTools_spDestructor destructor);
SmartPointer lTools_spCreateVoid(void);
bool lTools_spIsVoid(const SmartPointer* handle);
// The object, or null for an empty handle or one already released.
void* lTools_spGetObject(const SmartPointer* handle);
// One more reference; returns the same handle.
SmartPointer lTools_spDuplicate(SmartPointer* handle);
// Empties `*handle` and drops its reference.
void lTools_spDelete(SmartPointer* handle);
// Releases memory obtained with malloc.
void lTools_spDefaultDestructor(void* object);

#ifdef __cplusplus
}
#endif
