#include "LibMisc/json.h"

#include <cctype>
#include <cmath>
#include <iostream>
#include <stdexcept>

namespace json {

namespace {

// Deeper documents are refused rather than risking the stack; the terminal
// sends flat objects.
constexpr std::size_t kMaxDepth = 200;

struct TooDeep {
    char opening;
};

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool endsNumber(char c) { return isSpace(c) || c == ',' || c == ']' || c == '}'; }

// Keys are stored with the JSON escapes written back in.
std::string escapedKey(const std::string& text)
{
    std::string key;
    for (char c : text) {
        switch (c) {
        case '"': key += "\\\""; break;
        case '\\': key += "\\\\"; break;
        case '\b': key += "\\b"; break;
        case '\f': key += "\\f"; break;
        case '\n': key += "\\n"; break;
        case '\r': key += "\\r"; break;
        case '\t': key += "\\t"; break;
        default: key += c;
        }
    }
    return key;
}

} // namespace

class JSON::Parser {
public:
    explicit Parser(const std::string& text) : _text(text) {}

    JSON parseValue(std::size_t depth)
    {
        skipSpace();
        if (atEnd())
            return endOfText("ERROR: Parse: ");
        switch (peek()) {
        case '{': return parseObject(depth + 1);
        case '[': return parseArray(depth + 1);
        case '"': return parseString();
        case 't':
        case 'f': return parseBool();
        case 'n': return parseNull();
        default:
            if (peek() == '-' || isDigit(peek()))
                return parseNumber();
            return error("ERROR: Parse: Unknown starting character '", std::string(1, peek()));
        }
    }

private:
    bool atEnd() const { return _pos >= _text.size(); }
    // Past the end the current character reads as code 0.
    char peek() const { return atEnd() ? '\0' : _text[_pos]; }
    void skipSpace()
    {
        while (!atEnd() && isSpace(_text[_pos]))
            ++_pos;
    }

    static JSON error(const std::string& prefix, const std::string& found)
    {
        std::cerr << prefix << found << "'\n";
        return JSON();
    }
    // Text cut short: a null value, whatever was built so far is dropped.
    static JSON endOfText(const std::string& where) { return error(where + "Unexpected end of text, found '", ""); }

    JSON parseObject(std::size_t depth)
    {
        if (depth > kMaxDepth)
            throw TooDeep {'{'};
        ++_pos;
        JSON object;
        object._value = std::make_unique<Object>();
        Object& members = *std::get<std::unique_ptr<Object>>(object._value);
        skipSpace();
        if (peek() == '}') {
            ++_pos;
            return object;
        }
        for (;;) {
            JSON key = parseValue(depth);
            skipSpace();
            if (atEnd())
                return endOfText("ERROR: Object: ");
            if (peek() != ':') {
                error("Error: Object: Expected colon, found '", std::string(1, peek()));
                return object;
            }
            ++_pos;
            JSON value = parseValue(depth);
            members[key.kind() == StringValue ? escapedKey(key.stringValue()) : std::string()] = std::move(value);
            skipSpace();
            if (atEnd())
                return endOfText("ERROR: Object: ");
            const char next = _text[_pos++];
            if (next == '}')
                return object;
            if (next != ',') {
                error("ERROR: Object: Expected comma, found '", std::string(1, next));
                return object;
            }
        }
    }

    JSON parseArray(std::size_t depth)
    {
        if (depth > kMaxDepth)
            throw TooDeep {'['};
        ++_pos;
        JSON array;
        array._value = std::make_unique<Array>();
        Array& elements = *std::get<std::unique_ptr<Array>>(array._value);
        skipSpace();
        if (peek() == ']') {
            ++_pos;
            return array;
        }
        for (;;) {
            elements.push_back(parseValue(depth));
            skipSpace();
            if (atEnd())
                return endOfText("ERROR: Array: ");
            const char next = _text[_pos++];
            if (next == ']')
                return array;
            if (next != ',') {
                error("ERROR: Array: Expected ',' or ']', found '", std::string(1, next));
                elements.clear();
                return array;
            }
        }
    }

    JSON parseString()
    {
        ++_pos;
        std::string text;
        while (!atEnd()) {
            const char c = _text[_pos++];
            if (c == '"') {
                JSON value;
                value._value = std::move(text);
                return value;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (atEnd())
                break;
            const char escaped = _text[_pos++];
            switch (escaped) {
            case '"':
            case '\\':
            case '/': text += escaped; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'u':
                // Kept as written: the six characters, not decoded.
                text += "\\u";
                for (int i = 0; i < 4; ++i) {
                    if (atEnd())
                        return endOfText("ERROR: String: ");
                    if (!isHexDigit(peek())) {
                        error("ERROR: String: Expected hex character in unicode escape, found '",
                            std::string(1, peek()));
                        JSON empty;
                        empty._value = std::string();
                        return empty;
                    }
                    text += _text[_pos++];
                }
                break;
            default: text += '\\';
            }
        }
        return endOfText("ERROR: String: ");
    }

    // Consumes `word` when the text has it here; otherwise reports the next
    // `shown` characters (fewer at the end).
    bool expectWord(const std::string& word, const char* errorPrefix, std::size_t shown)
    {
        if (_text.compare(_pos, word.size(), word) == 0) {
            _pos += word.size();
            return true;
        }
        error(errorPrefix, _text.substr(_pos, shown));
        return false;
    }

    JSON parseBool()
    {
        const bool expected = peek() == 't';
        JSON value;
        if (expectWord(expected ? "true" : "false", "ERROR: Bool: Expected 'true' or 'false', found '", 5))
            value._value = expected;
        return value;
    }

    JSON parseNull()
    {
        expectWord("null", "ERROR: Null: Expected 'null', found '", 4);
        return JSON();
    }

    std::string takeWhile(bool (*accepted)(char))
    {
        const std::size_t start = _pos;
        while (!atEnd() && accepted(_text[_pos]))
            ++_pos;
        return _text.substr(start, _pos - start);
    }

    JSON parseNumber()
    {
        const std::string mantissa = takeWhile([](char c) { return isDigit(c) || c == '-' || c == '.'; });
        JSON number;
        if (peek() == 'e' || peek() == 'E') {
            ++_pos;
            std::string exponent = peek() == '-' ? std::string(1, _text[_pos++]) : std::string();
            exponent += takeWhile(isDigit);
            if (!endsNumber(peek()))
                return error("ERROR: Number: Expected a number for exponent, found '", std::string(1, peek()));
            number._value = std::stod(mantissa) * std::pow(10.0, static_cast<double>(std::stol(exponent)));
            return number;
        }
        if (!endsNumber(peek()))
            return error("ERROR: Number: unexpected character '", std::string(1, peek()));
        if (mantissa.find('.') != std::string::npos)
            number._value = std::stod(mantissa);
        else
            number._value = static_cast<int64_t>(std::stol(mantissa));
        return number;
    }

    const std::string& _text;
    std::size_t _pos = 0;
};

JSON JSON::Load(const std::string& text)
{
    try {
        return Parser(text).parseValue(0);
    } catch (const TooDeep& tooDeep) {
        std::cerr << "ERROR: Parse: Nesting deeper than " << kMaxDepth << " levels, found '" << tooDeep.opening
                  << "'\n";
        return JSON();
    }
}

JSON::JSON(const JSON& other)
{
    std::visit(
        [this](const auto& payload) {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, std::unique_ptr<Object>> || std::is_same_v<T, std::unique_ptr<Array>>)
                _value = std::make_unique<typename T::element_type>(*payload);
            else
                _value = payload;
        },
        other._value);
}

JSON::JSON(JSON&& other) noexcept = default;

JSON& JSON::operator=(const JSON& other)
{
    if (this != &other)
        *this = JSON(other);
    return *this;
}

JSON& JSON::operator=(JSON&& other) noexcept = default;

JSON::~JSON() = default;

bool JSON::hasMember(const std::string& key) const
{
    return kind() == ObjectValue && std::get<std::unique_ptr<Object>>(_value)->count(key) != 0;
}

JSON& JSON::operator[](const std::string& key)
{
    if (kind() != ObjectValue)
        _value = std::make_unique<Object>();
    return (*std::get<std::unique_ptr<Object>>(_value))[key];
}

template <typename T>
const T& JSON::_payload(const char* kindName) const
{
    if (const T* payload = std::get_if<T>(&_value))
        return *payload;
    throw std::logic_error(std::string("JSON value is not ") + kindName);
}

int64_t JSON::integerValue() const { return _payload<int64_t>("an integer"); }
double JSON::floatValue() const { return _payload<double>("a float"); }
bool JSON::boolValue() const { return _payload<bool>("a bool"); }
const std::string& JSON::stringValue() const { return _payload<std::string>("a string"); }

std::size_t JSON::size() const
{
    if (kind() == ObjectValue)
        return std::get<std::unique_ptr<Object>>(_value)->size();
    if (kind() == ArrayValue)
        return std::get<std::unique_ptr<Array>>(_value)->size();
    return 0;
}

const JSON& JSON::at(std::size_t index) const { return _payload<std::unique_ptr<Array>>("an array")->at(index); }

} // namespace json
