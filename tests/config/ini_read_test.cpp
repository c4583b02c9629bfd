#include "config/exception.h"
#include "config/parser.h"
#include "config/string_utils.h"
#include "tests/config/ThrownText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <typeinfo>

using namespace inicpp;
using Values = std::vector<std::string>;

namespace {

Values valuesOf(const std::string& optionLine)
{
    return parser::load("[s]\n" + optionLine)["s"]["a"].get_list<string_ini_t>();
}

TEST(IniRead, ValueTexts)
{
    const struct {
        const char* line;
        Values values;
    } cases[] = {
        {"a = 1 # note", {"1"}},
        {"a = 1 \\# note", {"1 # note"}},
        {"a= ", {""}},
        {"a = # note", {""}},
        {"a = a, b ,c", {"a", "b", "c"}},
        {"a = 12:30", {"12", "30"}},
        {"a = 1:2, 3", {"1:2", "3"}},
        {"a = a\\,b", {"a,b"}},
        {"a = x\\ ", {"x "}},
        {"a = \\ a\\ ", {" a "}},
        {"a = 1,", {"1", ""}},
        {"a = x\\\\,y", {"x\\", "y"}},
        {"a = 1 ; not a comment", {"1 ; not a comment"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(valuesOf(c.line), c.values) << c.line;
}

TEST(IniRead, SectionsKeepFileOrderAndUntrimmedNames)
{
    const config doc = parser::load("# head\n[ A ]\nx = 1\n\n   [B]  \ny = 2\nz = 3\n");
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0].get_name(), " A ");
    EXPECT_EQ(doc[1].get_name(), "B");
    EXPECT_EQ(doc[1][1].get_name(), "z");
}

TEST(IniRead, CrLfReadsLikeLf)
{
    const std::string lf = "[s]\na = 1\nb = x, y\nc = \\ v\\ \n[t]\nd = ${s@a}\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parser::load(crlf), parser::load(lf));
}

TEST(IniRead, LinksTakeTheFirstValueOfAnEarlierOrTheOpenSection)
{
    const config doc = parser::load("[S]\ny = 5, 6\n[T]\nx = ${S@y}\nz = a, ${T@x}\nw = \\${S@y}\n");
    EXPECT_EQ(doc["T"]["x"].get<string_ini_t>(), "5");
    EXPECT_EQ(doc["T"]["z"].get_list<string_ini_t>(), (Values {"a", "5"}));
    EXPECT_EQ(doc["T"]["w"].get<string_ini_t>(), "${S@y}");
}

TEST(IniRead, SyntaxErrors)
{
    const struct {
        const char* text;
        const std::type_info& type;
        const char* message;
    } cases[] = {
        {"[s]\nkey=", typeid(parser_exception), "Option value cannot be empty on line 2"},
        {"[s", typeid(parser_exception), "Section not ended on line 1"},
        {"[s] x", typeid(parser_exception), "Section not ended on line 1"},
        {"[]", typeid(parser_exception), "Section name cannot be empty on line 1"},
        {"[s]\n\njunk", typeid(parser_exception), "Unknown element option expected on line 3"},
        {"a = 1", typeid(parser_exception), "Option not in section on line 1"},
        {"[s]\n = 1", typeid(parser_exception), "Option name cannot be empty on line 2"},
        {"[s]\na = ${s}", typeid(parser_exception), "Bad format of link on line 2"},
        {"[s]\na = ${s@}", typeid(parser_exception), "Bad format of link on line 2"},
        {"[s]\na = ${@a}", typeid(parser_exception), "Section name in link cannot be empty on line 2"},
        {"[s]\na = ${t@b}\n[t]\nb = 1", typeid(parser_exception), "Bad link on line 2"},
        {"[s]\na = ${s@zz}", typeid(parser_exception), "Option name in link not found on line 2"},
        {"[A]\n[A]\n", typeid(ambiguity_exception), "Ambiguous element with name: A"},
        {"[s]\na = 1\na = 2", typeid(ambiguity_exception), "Ambiguous element with name: a"},
    };
    for (const auto& c : cases) {
        try {
            parser::load(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const inicpp::exception& e) {
            EXPECT_EQ(typeid(e), c.type) << c.text;
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
    }
}

TEST(IniRead, MissingFileIsAReadingError)
{
    EXPECT_EQ(thrownText<parser_exception>([] { parser::load_file("/nonexistent/ProxyConfig.ini"); }),
        "File reading error");
}

TEST(IniRead, TextToTypedValues)
{
    using string_utils::parse_string;
    EXPECT_EQ(parse_string<unsigned_ini_t>("0x1F", "o"), 31u);
    EXPECT_EQ(parse_string<unsigned_ini_t>("017", "o"), 15u);
    EXPECT_EQ(parse_string<unsigned_ini_t>("0b101", "o"), 5u);
    EXPECT_EQ(parse_string<unsigned_ini_t>("12abc", "o"), 12u);
    EXPECT_EQ(parse_string<unsigned_ini_t>("-1", "o"), UINT64_MAX);
    EXPECT_EQ(parse_string<signed_ini_t>(" -0x10", "o"), -16);
    EXPECT_DOUBLE_EQ(parse_string<float_ini_t>("2.5e1", "o"), 25.0);
    for (const char* text : {"1", "t", "y", "yes", "on", "enabled"})
        EXPECT_TRUE(parse_string<boolean_ini_t>(text, "o")) << text;
    for (const char* text : {"0", "f", "n", "no", "off", "disabled"})
        EXPECT_FALSE(parse_string<boolean_ini_t>(text, "o")) << text;
}

TEST(IniRead, TextThatDoesNotConvert)
{
    using string_utils::parse_string;
    const struct {
        std::function<void()> parse;
        const char* message;
    } cases[] = {
        {[] { parse_string<boolean_ini_t>("true", "AutoDetect"); },
            "Option 'AutoDetect' parsing failed: String 'true' is not valid boolean type."},
        {[] { parse_string<boolean_ini_t>("Yes", "o"); }, "Option 'o' parsing failed: String 'Yes' is not valid boolean type."},
        {[] { parse_string<signed_ini_t>("abc", "o"); }, "Option 'o' parsing failed: stoll"},
        {[] { parse_string<signed_ini_t>("99999999999999999999", "o"); }, "Option 'o' parsing failed: stoll"},
        {[] { parse_string<unsigned_ini_t>("", "o"); }, "Option 'o' parsing failed: stoull"},
        {[] { parse_string<unsigned_ini_t>("0b", "o"); }, "Option 'o' parsing failed: stoull"},
        {[] { parse_string<float_ini_t>("x1", "o"); }, "Option 'o' parsing failed: stod"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(thrownText<invalid_type_exception>(c.parse), c.message);
}

TEST(IniRead, TypedValueToRequestedType)
{
    option opt("o", "x");
    opt = true;
    EXPECT_EQ(opt.get<string_ini_t>(), "1");
    EXPECT_EQ(opt.get<unsigned_ini_t>(), 1u);
    opt = 2.75;
    EXPECT_EQ(opt.get<string_ini_t>(), "2.750000");
    EXPECT_EQ(opt.get<signed_ini_t>(), 2);
    opt = static_cast<signed_ini_t>(-3);
    EXPECT_TRUE(opt.get<boolean_ini_t>());
    opt = "0x10";
    EXPECT_EQ(opt.get<unsigned_ini_t>(), 16u);

    opt = enum_ini_t("red");
    EXPECT_EQ(opt.get<string_ini_t>(), "red");
    EXPECT_EQ(thrownText<std::runtime_error>([&] { opt.get<signed_ini_t>(); }),
        "Enum type cannot be converted to double");

    // A double outside the integer range has no integer value.
    opt = 1e300;
    EXPECT_THROW(opt.get<signed_ini_t>(), bad_cast_exception);

    opt.remove_from_list_pos(0);
    EXPECT_EQ(thrownText<not_found_exception>([&] { opt.get<string_ini_t>(); }), "Element on index: 0 was not found");
}

TEST(IniRead, LookupsOfAbsentElements)
{
    const config doc = parser::load("[s]\na = 1\n");
    EXPECT_EQ(thrownText<std::out_of_range>([&] { doc["t"]; }), "map::at");
    EXPECT_EQ(thrownText<std::out_of_range>([&] { doc["s"]["b"]; }), "map::at");
    EXPECT_EQ(thrownText<not_found_exception>([&] { doc[1]; }), "Element on index: 1 was not found");
}

} // namespace
