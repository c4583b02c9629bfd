#pragma once

#include <string>
#include <vector>

namespace terminal_sim {

// A slip printed in UTF-8 whose every line is exactly `width` characters.
class Receipt {
public:
    explicit Receipt(unsigned width) : _width(width) {}

    void centered(const std::string& text);
    // The label on the left, the value on the right; the label gives way.
    void pair(const std::string& label, const std::string& value);
    void rule();

    // The lines joined by line feeds.
    std::string text() const;

private:
    void _add(const std::string& line);

    unsigned _width;
    std::vector<std::string> _lines;
};

} // namespace terminal_sim
