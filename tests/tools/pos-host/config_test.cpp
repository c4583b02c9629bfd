#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <memory>

#include "Config.h"

namespace {

std::unique_ptr<QTemporaryFile> iniFile(const QByteArray& text)
{
    auto file = std::make_unique<QTemporaryFile>();
    EXPECT_TRUE(file->open());
    file->write(text);
    file->close();
    return file;
}

TEST(ConfigTest, MapsSectionsAndNamesToGroupKeys)
{
    const auto file = iniFile("top = level\n"
                              "; comment = no\n"
                              "# comment = no\n"
                              "\n"
                              "[Kiv]\n"
                              "  url = http://10.0.0.1:10500/x?y=1;z  \n"
                              "timeout=45\n"
                              "this line is not a setting\n"
                              "empty=\n"
                              "[ Other ]\n"
                              "url=other\n");
    Config config;

    ASSERT_TRUE(config.load(file->fileName(), "processing"));

    const struct {
        const char* key;
        const char* value;
    } cases[] = {
        {"processing:top", "level"},
        {"processing.Kiv:url", "http://10.0.0.1:10500/x?y=1;z"},
        {"processing.Kiv:timeout", "45"},
        {"processing.Kiv:empty", ""},
        {"processing.Other:url", "other"},
        {"processing.Kiv:comment", "<missing>"},
        {"processing.kiv:url", "<missing>"},
        {"processing.Kiv:this line is not a setting", "<missing>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(config.getString(c.key, "<missing>").toStdString(), c.value) << c.key;
}

TEST(ConfigTest, IntegersFallBackToTheDefaultWhenMissingOrNotANumber)
{
    const auto file = iniFile("[Kiv]\ntimeout=45\nwidth=wide\nport=-7\n");
    Config config;
    ASSERT_TRUE(config.load(file->fileName(), "processing"));

    EXPECT_EQ(config.getInt("processing.Kiv:timeout", 120), 45);
    EXPECT_EQ(config.getInt("processing.Kiv:port", 1), -7);
    EXPECT_EQ(config.getInt("processing.Kiv:width", 32), 32);
    EXPECT_EQ(config.getInt("processing.Kiv:missing", 32), 32);
}

TEST(ConfigTest, ReloadReplacesOnlyItsGroup)
{
    const auto first = iniFile("[Kiv]\nurl=first\ncurrency=643\n");
    const auto second = iniFile("[Kiv]\nurl=second\n");
    Config config;
    ASSERT_TRUE(config.load(first->fileName(), "processing"));
    ASSERT_TRUE(config.load(first->fileName(), "other"));

    ASSERT_TRUE(config.load(second->fileName(), "processing"));

    EXPECT_EQ(config.getString("processing.Kiv:url", ""), "second");
    EXPECT_EQ(config.getString("processing.Kiv:currency", "<missing>"), "<missing>");
    EXPECT_EQ(config.getString("other.Kiv:url", ""), "first");
}

TEST(ConfigTest, UnreadableFileKeepsWhatWasLoaded)
{
    const auto file = iniFile("[Kiv]\nurl=kept\n");
    Config config;
    ASSERT_TRUE(config.load(file->fileName(), "processing"));

    EXPECT_FALSE(config.load(file->fileName() + ".missing", "processing"));

    EXPECT_EQ(config.getString("processing.Kiv:url", ""), "kept");
}

} // namespace
