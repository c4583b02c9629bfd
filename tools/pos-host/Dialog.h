#pragma once

#include <iostream>

#include "MockFactory.h"
#include "Tr.h"

// Modal question to the operator. The stand-in host asks on the console:
// the question goes to `out`, the answer ("1" or "2") is read from `in`.
class Dialog {
public:
    explicit Dialog(std::istream& in = std::cin, std::ostream& out = std::cerr);
    virtual ~Dialog() = default;

    // True when the first choice is picked. An empty answer picks
    // `defaultChoice` (0 first, 1 second); anything else unknown asks again.
    // When input ends the second choice is taken, so that an unattended run
    // never loops on a question nobody answers. `reserved` is not used.
    virtual bool askChoice(const tr::Tr& text, int defaultChoice, const tr::Tr& firstChoice, const tr::Tr& secondChoice,
        int reserved);

private:
    std::istream& input;
    std::ostream& output;
};

template <>
Dialog* MockFactory<Dialog>::mocked;
