#include "Dialog.h"

#include <string>

template <>
Dialog* MockFactory<Dialog>::mocked = nullptr;

Dialog::Dialog(std::istream& in, std::ostream& out)
    : input(in)
    , output(out)
{
}

bool Dialog::askChoice(const tr::Tr& text, int defaultChoice, const tr::Tr& firstChoice, const tr::Tr& secondChoice, int)
{
    output << text.text().toStdString() << '\n';
    for (;;) {
        output << "  1) " << firstChoice.text().toStdString() << "  2) " << secondChoice.text().toStdString() << "\n> "
            << std::flush;
        std::string answer;
        if (!std::getline(input, answer))
            return false;
        const QString choice = QString::fromStdString(answer).trimmed();
        if (choice == QLatin1String("1") || (choice.isEmpty() && defaultChoice == 0))
            return true;
        if (choice == QLatin1String("2") || (choice.isEmpty() && defaultChoice == 1))
            return false;
    }
}
