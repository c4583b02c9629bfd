#include "LibMisc/ThreadSafety.h"

namespace LibMisc {

std::shared_ptr<ThreadTerminator> ThreadTerminator::create()
{
    return std::make_shared<ThreadTerminator>();
}

ITerminator::Status ThreadTerminator::getStatus() const
{
    Lock lock(_mutex);
    return _status;
}

void ThreadTerminator::setStatus(Status status)
{
    Lock lock(_mutex);
    _status = status;
}

} // namespace LibMisc
