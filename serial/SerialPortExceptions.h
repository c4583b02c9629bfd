#pragma once

#include "LibMisc/Exceptions.h"

namespace LibMisc {

// Errors of the serial service.
class ISerialPortSvcException : public virtual IBaseException {
public:
    ~ISerialPortSvcException() override = default;
};

// The terminal did not confirm a write in time.
class EWriteData : public ISerialPortSvcException {
public:
    const char* what() const noexcept override { return "Error writing data. Expired time confirmation."; }
};

} // namespace LibMisc
