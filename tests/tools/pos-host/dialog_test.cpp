#include <gtest/gtest.h>

#include <sstream>

#include "Dialog.h"

namespace {

TEST(DialogTest, ReadsTheOperatorsChoice)
{
    const struct {
        const char* input;
        int defaultChoice;
        bool first;
        int prompts;
    } cases[] = {
        {"1\n", 0, true, 1},
        {"2\n", 0, false, 1},
        {" 2 \n", 0, false, 1},
        {"\n", 0, true, 1},
        {"\n", 1, false, 1},
        {"yes\n3\n1\n", 1, true, 3},
        {"", 0, false, 1}, // nobody there: decline rather than ask for ever
        {"x\n", 0, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::istringstream in(c.input);
        std::ostringstream out;
        Dialog dialog(in, out);

        EXPECT_EQ(dialog.askChoice(tr::Tr("question", "Повторить?"), c.defaultChoice, tr::Tr("ok", "ОК"),
                      tr::Tr("cancel", "Отмена"), 0),
            c.first);

        const std::string shown = out.str();
        EXPECT_EQ(shown.rfind("Повторить?\n", 0), 0u) << shown;
        size_t prompts = 0;
        for (size_t at = shown.find("1) ОК  2) Отмена"); at != std::string::npos; at = shown.find("1) ОК  2) Отмена", at + 1))
            ++prompts;
        EXPECT_EQ(prompts, size_t(c.prompts)) << shown;
    }
}

} // namespace
