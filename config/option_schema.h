#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "config/exception.h"
#include "config/option.h"
#include "config/types.h"

namespace inicpp {

struct option_schema_params_base {
    std::string name;
    option_requirement requirement = option_requirement::mandatory;
    option_arity arity = option_arity::single;
    // In INI value syntax: "a,b" is a list of two.
    std::string default_value;
    // May hold several lines; each is written as one comment line.
    std::string comment;
};

template <typename T>
struct option_schema_params : option_schema_params_base {
    std::function<bool(const T&)> validator;
};

// What one option must look like: type, arity, default and an optional check.
class option_schema {
public:
    template <typename T>
    explicit option_schema(const option_schema_params<T>& params);

    const std::string& get_name() const { return _params.name; }
    option_type get_type() const { return _type; }
    bool is_list() const { return _params.arity == option_arity::list; }
    const std::string& get_default_value() const { return _params.default_value; }
    bool is_mandatory() const { return _params.requirement == option_requirement::mandatory; }
    const std::string& get_comment() const { return _params.comment; }

    // Checks the arity, converts the values to the schema's type and runs the validator.
    void validate_option(option& opt) const;
    // The option as its default text reads in a file.
    option default_option() const;

    void write_additional_info(std::ostream& out) const;
    friend std::ostream& operator<<(std::ostream& out, const option_schema& schema);

private:
    option_schema_params_base _params;
    option_type _type;
    std::function<void(option&)> _convert_and_check;
};

template <typename T>
option_schema::option_schema(const option_schema_params<T>& params)
    : _params(params)
    , _type(type_code_v<T>)
    , _convert_and_check([validator = params.validator](option& opt) {
        opt.convert_to<T>();
        if (!validator)
            return;
        for (const T& value : opt.get_list<T>())
            if (!validator(value))
                throw validation_exception("Option '" + opt.get_name() + "' - validation failed");
    })
{
}

} // namespace inicpp
