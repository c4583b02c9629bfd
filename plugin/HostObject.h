#pragma once

#include <memory>

#include "MockFactory.h"

namespace kiv {

// A host object (RestClient, Dialog) for the plug-in's use: the one a test put
// into the host's mock slot, shared and never deleted here, else a new one
// freed with the last reference.
template <class T>
std::shared_ptr<T> makeHostObject()
{
    if (T* mocked = MockFactory<T>::mocked)
        return std::shared_ptr<T>(mocked, [](T*) {});
    return std::make_shared<T>();
}

} // namespace kiv
