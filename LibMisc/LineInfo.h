#pragma once

#include <memory>
#include <string>

// Source-location text "[file:function():line] [text] " for messages.
class LineInfo {
public:
    LineInfo(const char* file, const char* function, unsigned line, const char* text);
    LineInfo(const LineInfo& other);
    LineInfo(LineInfo&& other) noexcept = default;
    LineInfo& operator=(const LineInfo& other);
    LineInfo& operator=(LineInfo&& other) noexcept = default;

    // The text; "" when there is none (after a move).
    const char* get() const;
    // Its length, or -1 when there is none.
    long size() const;
    operator const char*() const { return get(); }
    operator std::string() const { return get(); }

private:
    std::unique_ptr<char[]> _text;
};
