#pragma once

#include <exception>
#include <string>

// Roots of the library's exception hierarchy (deliberately outside any namespace).

class IBaseException : public virtual std::exception {
public:
    ~IBaseException() override = default;
    // Texts are not translated: every language gets what().
    virtual const char* whatTranslated(const char* language) const;
};

class IErrorCodeException : public virtual IBaseException {
public:
    ~IErrorCodeException() override = default;
    virtual int getCode() const = 0;
    virtual const char* description() const;
};

class ErrorCodeException : public IErrorCodeException {
public:
    ErrorCodeException(int code, std::string text);
    ~ErrorCodeException() override = default;

    const char* what() const noexcept override;
    int getCode() const override;

private:
    std::string _text;
    int _code;
};
