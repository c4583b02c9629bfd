#include "config/parser.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace inicpp;

namespace {

schema netSchema()
{
    schema net;
    section_schema_params section;
    section.name = "Net";
    section.requirement = option_requirement::optional;
    net.add_section(section);
    option_schema_params<unsigned_ini_t> port;
    port.name = "Port";
    port.requirement = option_requirement::optional;
    port.default_value = "80";
    net.add_option("Net", port);
    option_schema_params<string_ini_t> mode;
    mode.name = "Mode";
    mode.requirement = option_requirement::optional;
    mode.default_value = "fast";
    net.add_option("Net", mode);
    return net;
}

std::string netFile(const std::string& port)
{
    return "#<optional>\n"
           "[Net]\n"
           "#<optional, single>\n"
           "#<default value: \"80\">\n"
           "Port = " + port + "\n"
           "#<optional, single>\n"
           "#<default value: \"fast\">\n"
           "Mode = fast\n";
}

template <typename... Args>
std::string saved(const Args&... args)
{
    std::ostringstream out;
    parser::save(args..., out);
    return out.str();
}

TEST(IniWrite, SchemaAloneIsTheFileOfDefaults)
{
    EXPECT_EQ(saved(netSchema()), netFile("80"));
}

TEST(IniWrite, ValidatedDocumentIsAnnotatedAndCompleted)
{
    schema net = netSchema();
    const config doc = parser::load("[Net]\nPort = 8080 # local\n[Extra]\nk = v\n", net, schema_mode::relaxed);
    EXPECT_EQ(saved(doc, net), netFile("8080") + "[Extra]\nk = v\n");
}

TEST(IniWrite, MissingOptionsOfAnUnvalidatedDocumentAreWrittenFromTheSchema)
{
    schema net = netSchema();
    EXPECT_EQ(saved(parser::load("[Net]\nPort = 8080\n"), net), netFile("8080"));
}

TEST(IniWrite, CommentsRequirementAndArityAnnotateOptions)
{
    schema sch;
    section_schema_params section;
    section.name = "S";
    section.comment = "about S";
    sch.add_section(section);
    option_schema_params<string_ini_t> names;
    names.name = "names";
    names.arity = option_arity::list;
    names.default_value = "a,b";
    names.comment = "first\nsecond";
    sch.add_option("S", names);
    EXPECT_EQ(saved(sch), "#about S\n#<mandatory>\n[S]\n#first\n#second\n#<mandatory, list>\n"
                          "#<default value: \"a,b\">\nnames = a,b\n");
}

TEST(IniWrite, TypedValuesInPlainForm)
{
    section sect("T");
    sect.add_option("flag", true);
    sect.add_option("off", false);
    sect.add_option("signed", static_cast<signed_ini_t>(-5));
    sect.add_option("unsigned", static_cast<unsigned_ini_t>(7));
    sect.add_option("tenth", 0.1);
    sect.add_option("third", 1.0 / 3);
    sect.add_option("colour", enum_ini_t("red"));
    sect.add_option("padded", string_ini_t(" a "));
    option list("list", std::vector<std::string> {"x", "", "y"});
    sect.add_option(list);
    config doc;
    doc.add_section(sect);

    const std::string text = saved(doc);
    EXPECT_EQ(text, "[T]\nflag = yes\noff = no\nsigned = -5\nunsigned = 7\ntenth = 0.1\n"
                    "third = 0.3333333333333333\ncolour = red\npadded = \\ a\\ \nlist = x,,y\n");
    EXPECT_EQ(parser::load(text)["T"]["third"].get<float_ini_t>(), 1.0 / 3);
}

TEST(IniWrite, EscapedValuesAndNamesReadBackUnchanged)
{
    const std::vector<std::string> values {" a ", "\t", " ", "", "x,y", "a:b", "p#q", "back\\slash", "tail\\",
        "${S@o}", "$\\{x}", "c:\\dir\\"};
    const std::vector<std::string> names {"a=b", " lead", "trail ", "[x", "#h", "x\\y"};
    config doc;
    doc.add_section("s#1 ");
    doc.add_section(" x\\y");
    for (size_t i = 0; i < values.size(); ++i)
        doc.add_option("s#1 ", option("v" + std::to_string(i), values[i]));
    for (const auto& name : names)
        doc.add_option(" x\\y", option(name, "1"));
    doc.add_option(" x\\y", option("list", values));

    const std::string text = saved(doc);
    EXPECT_EQ(parser::load(text), doc) << text;
}

TEST(IniWrite, UnwritablePathIsSilentlySkipped)
{
    EXPECT_NO_THROW(parser::save(netSchema(), "/nonexistent/dir/file.ini"));
}

} // namespace
