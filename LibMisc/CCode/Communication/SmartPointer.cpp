#include "LibMisc/CCode/Communication/SmartPointer.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

struct lTools_spControl {
    std::atomic<int32_t> count;
    lTools_spDestructor destructor;
    void* object;
};

SmartPointer lTools_spCreate(void* object, lTools_spDestructor destructor)
{
    return SmartPointer{new lTools_spControl{{1}, destructor, object}};
}

SmartPointer lTools_spCreateVoid(void) { return SmartPointer{nullptr}; }

bool lTools_spIsVoid(const SmartPointer* handle) { return handle->control == nullptr; }

void* lTools_spGetObject(const SmartPointer* handle)
{
    if (handle->control == nullptr || handle->control->count.load() == 0)
        return nullptr;
    return handle->control->object;
}

SmartPointer lTools_spDuplicate(SmartPointer* handle)
{
    if (handle->control != nullptr)
        handle->control->count.fetch_add(1);
    return *handle;
}

void lTools_spDelete(SmartPointer* handle)
{
    lTools_spControl* control = handle->control;
    handle->control = nullptr;
    if (control == nullptr || control->count.fetch_sub(1) != 1)
        return;
    if (control->destructor != nullptr)
        control->destructor(control->object);
    delete control;
}

void lTools_spDefaultDestructor(void* object) { std::free(object); }
