#include "LibMisc/json.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using json::JSON;

namespace {

struct LoadCase {
    std::string text;
    JSON::ValueKind kind;
    std::string errors; // expected standard error output
    std::function<void(JSON&)> check;
};

void expectLoads(const LoadCase& c)
{
    testing::internal::CaptureStderr();
    JSON value = JSON::Load(c.text);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.errors) << c.text;
    EXPECT_EQ(value.kind(), c.kind) << c.text;
    if (c.check)
        c.check(value);
}

void expectMember(JSON& value, const char* key, JSON::ValueKind kind)
{
    ASSERT_TRUE(value.hasMember(key)) << key;
    EXPECT_EQ(value[key].kind(), kind) << key;
}

TEST(JsonLoad, Values)
{
    const LoadCase cases[] = {
        {R"({"confirmation_timeout": 3000})", JSON::ObjectValue, "",
            [](JSON& v) {
                expectMember(v, "confirmation_timeout", JSON::IntegerValue);
                EXPECT_EQ(v["confirmation_timeout"].integerValue(), 3000);
            }},
        {R"({"confirmation_timeout": 3000.0})", JSON::ObjectValue, "",
            [](JSON& v) { expectMember(v, "confirmation_timeout", JSON::FloatValue); }},
        {R"({"confirmation_timeout": "3000"})", JSON::ObjectValue, "",
            [](JSON& v) { expectMember(v, "confirmation_timeout", JSON::StringValue); }},
        {" \n\t[1, true, false, null] trailing", JSON::ArrayValue, "",
            [](JSON& v) {
                ASSERT_EQ(v.size(), 4u);
                EXPECT_TRUE(v.at(1).boolValue());
                EXPECT_EQ(v.at(3).kind(), JSON::NullValue);
            }},
        {R"({"a": 1, "a": 2})", JSON::ObjectValue, "", [](JSON& v) { EXPECT_EQ(v["a"].integerValue(), 2); }},
        {R"({"a\nb\"": {}})", JSON::ObjectValue, "", [](JSON& v) { EXPECT_TRUE(v.hasMember("a\\nb\\\"")); }},
        {R"("\u0041")", JSON::StringValue, "", [](JSON& v) { EXPECT_EQ(v.stringValue(), "\\u0041"); }},
        {R"("\"\\\/\b\f\n\r\t\q")", JSON::StringValue, "",
            [](JSON& v) { EXPECT_EQ(v.stringValue(), "\"\\/\b\f\n\r\t\\"); }},
        {"1e2 ", JSON::FloatValue, "", [](JSON& v) { EXPECT_DOUBLE_EQ(v.floatValue(), 100.0); }},
        {"25e-1,", JSON::FloatValue, "", [](JSON& v) { EXPECT_DOUBLE_EQ(v.floatValue(), 2.5); }},
        {"-12.5}", JSON::FloatValue, "", [](JSON& v) { EXPECT_DOUBLE_EQ(v.floatValue(), -12.5); }},
        {"1-2]", JSON::IntegerValue, "", [](JSON& v) { EXPECT_EQ(v.integerValue(), 1); }},
    };
    for (const auto& c : cases)
        expectLoads(c);
}

TEST(JsonLoad, SyntaxErrorsPrintALineAndYieldWhatWasBuilt)
{
    const LoadCase cases[] = {
        {R"({"a" 1})", JSON::ObjectValue, "Error: Object: Expected colon, found '1'\n",
            [](JSON& v) { EXPECT_EQ(v.size(), 0u); }},
        {R"({"a": 1, "b": 2 "c"})", JSON::ObjectValue, "ERROR: Object: Expected comma, found '\"'\n",
            [](JSON& v) { EXPECT_EQ(v.size(), 2u); }},
        {"[1, 2 3]", JSON::ArrayValue, "ERROR: Array: Expected ',' or ']', found '3'\n",
            [](JSON& v) { EXPECT_EQ(v.size(), 0u); }},
        {"12x", JSON::NullValue, "ERROR: Number: unexpected character 'x'\n", nullptr},
        {"5", JSON::NullValue, std::string("ERROR: Number: unexpected character '") + '\0' + "'\n", nullptr},
        {"1e+2 ", JSON::NullValue, "ERROR: Number: Expected a number for exponent, found '+'\n", nullptr},
        {"trux]", JSON::NullValue, "ERROR: Bool: Expected 'true' or 'false', found 'trux]'\n", nullptr},
        {"fal", JSON::NullValue, "ERROR: Bool: Expected 'true' or 'false', found 'fal'\n", nullptr},
        {"nil", JSON::NullValue, "ERROR: Null: Expected 'null', found 'nil'\n", nullptr},
        {"@", JSON::NullValue, "ERROR: Parse: Unknown starting character '@'\n", nullptr},
        {R"("\u00zz")", JSON::StringValue, "ERROR: String: Expected hex character in unicode escape, found 'z'\n",
            [](JSON& v) { EXPECT_EQ(v.stringValue(), ""); }},
    };
    for (const auto& c : cases)
        expectLoads(c);
}

TEST(JsonLoad, TextCutShortStopsWithANullValue)
{
    const struct {
        std::string text;
        std::string lastError;
    } cases[] = {
        {"", "ERROR: Parse: Unexpected end of text, found ''\n"},
        {"\"abc", "ERROR: String: Unexpected end of text, found ''\n"},
        {"\"abc\\", "ERROR: String: Unexpected end of text, found ''\n"},
        {"\"\\u00", "ERROR: String: Unexpected end of text, found ''\n"},
        {"{", "ERROR: Object: Unexpected end of text, found ''\n"},
        {"{\"a\"", "ERROR: Object: Unexpected end of text, found ''\n"},
        {"{\"a\": [1, \"x\"", "ERROR: Object: Unexpected end of text, found ''\n"},
        {"[1,", "ERROR: Array: Unexpected end of text, found ''\n"},
        {"[[[", "ERROR: Array: Unexpected end of text, found ''\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const JSON value = JSON::Load(c.text);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(value.kind(), JSON::NullValue) << c.text;
        ASSERT_GE(errors.size(), c.lastError.size()) << c.text;
        EXPECT_EQ(errors.substr(errors.size() - c.lastError.size()), c.lastError) << c.text;
    }
}

TEST(JsonLoad, DeepNestingIsRefusedInsteadOfExhaustingTheStack)
{
    testing::internal::CaptureStderr();
    const JSON value = JSON::Load(std::string(100000, '['));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Parse: Nesting deeper than 200 levels, found '['\n");
    EXPECT_EQ(value.kind(), JSON::NullValue);
    EXPECT_EQ(JSON::Load(std::string(200, '[') + std::string(200, ']')).kind(), JSON::ArrayValue);
}

TEST(JsonLoad, NumberConversionsThrow)
{
    EXPECT_THROW(JSON::Load("99999999999999999999 "), std::out_of_range);
    EXPECT_THROW(JSON::Load("-. "), std::invalid_argument);
    EXPECT_THROW(JSON::Load("1e "), std::invalid_argument);
    EXPECT_THROW(JSON::Load("-. "), std::invalid_argument);
}

TEST(JsonValue, IndexingMakesAnObjectAndCopiesAreDeep)
{
    JSON value = JSON::Load("[1] ");
    value["k"]["inner"] = JSON::Load("7 ");
    EXPECT_EQ(value.kind(), JSON::ObjectValue);

    JSON copy = value;
    copy["k"]["inner"] = JSON::Load("8 ");
    EXPECT_EQ(value["k"]["inner"].integerValue(), 7);
    EXPECT_EQ(copy["k"]["inner"].integerValue(), 8);
    EXPECT_FALSE(copy["k"].hasMember("absent"));
    EXPECT_THROW(copy["k"].integerValue(), std::logic_error);
}

} // namespace
