#pragma once

#include <cstddef>
#include <exception>
#include <string>

namespace inicpp {

// Base of every error the INI engine raises; the engine itself never prints.
class exception : public std::exception {
public:
    explicit exception(std::string message) : _message(std::move(message)) {}
    const char* what() const noexcept override { return _message.c_str(); }

private:
    std::string _message;
};

class parser_exception : public exception {
public:
    using exception::exception;
};

class validation_exception : public exception {
public:
    using exception::exception;
};

class bad_cast_exception : public exception {
public:
    using exception::exception;
};

class invalid_type_exception : public exception {
public:
    using exception::exception;
};

class not_found_exception : public exception {
public:
    explicit not_found_exception(std::size_t index)
        : exception("Element on index: " + std::to_string(index) + " was not found") {}
    explicit not_found_exception(const std::string& name)
        : exception("Element: " + name + " not found in container") {}
};

class ambiguity_exception : public exception {
public:
    explicit ambiguity_exception(const std::string& name) : exception("Ambiguous element with name: " + name) {}
};

} // namespace inicpp
