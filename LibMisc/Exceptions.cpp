#include "LibMisc/Exceptions.h"

#include <utility>

const char* IBaseException::whatTranslated(const char*) const
{
    return what();
}

const char* IErrorCodeException::description() const
{
    return what();
}

ErrorCodeException::ErrorCodeException(int code, std::string text) : _text(std::move(text)), _code(code) {}

const char* ErrorCodeException::what() const noexcept
{
    return _text.c_str();
}

int ErrorCodeException::getCode() const
{
    return _code;
}
