#include "config/parser.h"
#include "tests/config/ThrownText.h"

#include <gtest/gtest.h>

using namespace inicpp;
using Values = std::vector<std::string>;

namespace {

template <typename T>
option_schema_params<T> param(const char* name, option_requirement requirement, const char* defaultValue,
    option_arity arity = option_arity::single)
{
    option_schema_params<T> params;
    params.name = name;
    params.requirement = requirement;
    params.default_value = defaultValue;
    params.arity = arity;
    return params;
}

// Section "A" (mandatory): mandatory "port", optional "on" and list "hosts";
// section "B" (optional): optional "level" and mandatory "name".
schema sampleSchema()
{
    schema sch;
    sch.add_section(section_schema_params {"A", option_requirement::mandatory, ""});
    sch.add_section(section_schema_params {"B", option_requirement::optional, ""});
    auto port = param<unsigned_ini_t>("port", option_requirement::mandatory, "1");
    port.validator = [](const unsigned_ini_t& value) { return value < 65536; };
    sch.add_option("A", port);
    sch.add_option("A", param<boolean_ini_t>("on", option_requirement::optional, "yes"));
    sch.add_option("A", param<string_ini_t>("hosts", option_requirement::optional, "h1, h2", option_arity::list));
    sch.add_option("B", param<signed_ini_t>("level", option_requirement::optional, "0x10"));
    sch.add_option("B", param<string_ini_t>("name", option_requirement::mandatory, "b"));
    return sch;
}

TEST(IniSchema, RelaxedValidationFillsInDefaultsAndConvertsTypes)
{
    schema sch = sampleSchema();
    const config doc = parser::load("[A]\nport = 0x50\nextra = kept\n[Z]\nq = 1\n", sch, schema_mode::relaxed);

    EXPECT_FALSE(sch.all_mandatory());
    EXPECT_FALSE(sch["A"].all_options_found());
    const section& a = doc["A"];
    EXPECT_EQ(a["port"].get_type(), option_type::unsigned_integer);
    EXPECT_EQ(a["port"].get<unsigned_ini_t>(), 80u);
    EXPECT_EQ(a["on"].get_type(), option_type::boolean);
    EXPECT_EQ(a["hosts"].get_list<string_ini_t>(), (Values {"h1", "h2"}));
    EXPECT_EQ(a["extra"].get<string_ini_t>(), "kept");
    // The missing optional section is appended after the document's own, with unconverted defaults.
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_EQ(doc[2].get_name(), "B");
    EXPECT_EQ(doc[2]["level"].get_type(), option_type::string);
    EXPECT_EQ(doc[2]["level"].get<signed_ini_t>(), 16);
    EXPECT_EQ(doc[2][1].get_name(), "name");
}

TEST(IniSchema, CompleteDocumentLeavesAllMandatoryTrue)
{
    schema sch = sampleSchema();
    parser::load("[A]\nport = 1\n", sch, schema_mode::relaxed);
    ASSERT_FALSE(sch.all_mandatory());
    parser::load("[A]\nport = 1\non = off\nhosts = x:y\n[B]\nlevel = -1\nname = n\n", sch, schema_mode::strict);
    EXPECT_TRUE(sch.all_mandatory());
    EXPECT_TRUE(sch["A"].all_options_found());
}

TEST(IniSchema, ValidationErrors)
{
    const struct {
        const char* text;
        schema_mode mode;
        const char* message;
    } cases[] = {
        {"[B]\nname = n\n", schema_mode::relaxed, "Mandatory section 'A' is missing in config"},
        {"[A]\non = yes\n", schema_mode::relaxed, "Mandatory option 'port' is missing in section 'A'"},
        {"[A]\nport = 1\n[B]\nlevel = 1\n", schema_mode::relaxed, "Mandatory option 'name' is missing in section 'B'"},
        {"[A]\nport = 1\nfoo = 2\n", schema_mode::strict, "Option 'foo' not specified in schema"},
        {"[A]\nport = 1\n[Z]\n", schema_mode::strict, "Section 'Z' not specified in schema"},
        {"[A]\nport = 1:2\n", schema_mode::relaxed, "Option 'port' - list given, single value expected"},
        {"[A]\nport = 1\nhosts = one\n", schema_mode::relaxed, "Option 'hosts' - single value given, list expected"},
        {"[A]\nport = 70000\n", schema_mode::relaxed, "Option 'port' - validation failed"},
        {"[A]\nport = 1\non = true\n", schema_mode::relaxed,
            "Option 'on' parsing failed: String 'true' is not valid boolean type."},
        {"[A]\nport = http\n", schema_mode::relaxed, "Option 'port' parsing failed: stoull"},
    };
    for (const auto& c : cases) {
        schema sch = sampleSchema();
        EXPECT_EQ(thrownText<inicpp::exception>([&] { parser::load(c.text, sch, c.mode); }), c.message) << c.text;
    }
}

TEST(IniSchema, FailedValidationLeavesTheDocumentAsItWas)
{
    schema sch = sampleSchema();
    config doc = parser::load("[A]\nport = 5\n[Z]\n");
    const config before = doc;
    EXPECT_THROW(doc.validate(sch, schema_mode::strict), validation_exception);
    EXPECT_EQ(doc, before);
}

TEST(IniSchema, DuplicateAndUnknownNames)
{
    schema sch = sampleSchema();
    EXPECT_EQ(thrownText<ambiguity_exception>([&] { sch.add_section(section_schema_params {"A", option_requirement::optional, ""}); }),
        "Ambiguous element with name: A");
    EXPECT_EQ(thrownText<not_found_exception>([&] {
        sch.add_option("X", param<string_ini_t>("x", option_requirement::optional, ""));
    }),
        "Element: X not found in container");
}

} // namespace
