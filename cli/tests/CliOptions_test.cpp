#include "CliOptions.h"

#include <gtest/gtest.h>

#include <sstream>

#include "CliApp.h"

namespace marlin::cli {
namespace {

std::optional<CliOptions> parse(std::vector<std::string> args, std::string* errorOut = nullptr) {
    std::string error;
    auto result = parseCommandLine(args, error);
    if (errorOut) *errorOut = error;
    return result;
}

TEST(CliOptionsTest, EveryOption) {
    const auto o =
        parse({"record", "--address",  "10.0.0.5", "--trace",     "3",           "--interval", "1,5",
               "--file", "/t/x.sft",   "--format", "ascii",       "--separator", "||",         "--readings",
               "12",     "--duration", "2.5",      "--overwrite", "--settings",  "/t/m.ini",   "--quiet"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->address, "10.0.0.5");
    EXPECT_EQ(o->trace, 3);
    EXPECT_EQ(o->interval, "1,5");
    EXPECT_EQ(o->file, "/t/x.sft");
    EXPECT_EQ(o->format, FileForm::Ascii);
    EXPECT_EQ(o->separator, "||");
    EXPECT_EQ(o->readings, 12u);
    EXPECT_EQ(o->duration, 2.5);
    EXPECT_TRUE(o->overwrite);
    EXPECT_EQ(o->settingsPath, "/t/m.ini");
    EXPECT_TRUE(o->quiet);
}

TEST(CliOptionsTest, OptionsLeftOutKeepTheSettingsFileValues) {
    const auto o = parse({"record", "--trace=2", "--separator="});
    ASSERT_TRUE(o);
    RecorderSettings fromFile;
    fromFile.address = "analyzer";
    fromFile.interval = "5";
    fromFile.fileName = "/old.sft";
    fromFile.format = FileForm::Ascii;
    const auto s = o->applyTo(fromFile);
    EXPECT_EQ(s.address, "analyzer");
    EXPECT_EQ(s.interval, "5");
    EXPECT_EQ(s.traceIndex, 1);
    EXPECT_EQ(s.fileName, "/old.sft");
    EXPECT_EQ(s.format, FileForm::Ascii);
    EXPECT_EQ(s.separator, "");  // an empty separator is a valid choice
}

TEST(CliOptionsTest, BadValuesSayWhatIsWrong) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"record", "--trace", "5"}, "--trace must be 1, 2, 3 or 4"},
        {{"record", "--trace"}, "needs a value"},
        {{"record", "--format", "csv"}, "--format must be binary or ascii"},
        {{"record", "--readings", "0"}, "--readings must be"},
        {{"record", "--readings", "3x"}, "--readings must be"},
        {{"record", "--duration", "-1"}, "--duration must be"},
        // Longer than the clock can count ahead: would end the recording at once.
        {{"record", "--duration", "1e10"}, "--duration can be at most 3155760000 seconds"},
        {{"record", "--duration", "1e300"}, "--duration can be at most"},
        {{"record", "--give-up-after", "0"}, "--give-up-after must be a number of seconds above 0"},
        {{"record", "--give-up-after", "1e300"}, "--give-up-after can be at most 3155760000 seconds"},
        {{"record", "--reconnect=yes"}, "--reconnect takes no value"},
        {{"record", "--file", ""}, "--file needs"},
        {{"record", "--separator", "a\nb"}, "line end"},
        {{"record", "--bogus"}, "unknown argument \"--bogus\""},
        {{"--address", "x"}, "the command is missing"},
        {{"record", "record"}, "unknown argument"},
    };
    for (const auto& [args, expected] : cases) {
        std::string error;
        EXPECT_FALSE(parse(args, &error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST(CliOptionsTest, HelpNeedsNoCommandAndListsTheExitStatuses) {
    const auto o = parse({"--help"});
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->help);
    const auto text = usageText();
    for (const char* word :
         {"--address", "--trace", "--interval", "--file", "--format", "--separator", "--readings",
          "--duration", "--overwrite", "--settings", "--quiet", "--sync", "--no-sync", "--reconnect",
          "--give-up-after SECONDS", "--no-reconnect", "Exit status", "  8  "}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
}

TEST(CliOptionsTest, SyncChoiceOverridesTheSettingsFileOnlyWhenGiven) {
    RecorderSettings fromFile;
    fromFile.sync = true;
    EXPECT_EQ(parse({"record"})->applyTo(fromFile).sync, true);
    EXPECT_EQ(parse({"record", "--no-sync"})->applyTo(fromFile).sync, false);
    EXPECT_EQ(parse({"record", "--no-sync", "--sync"})->applyTo({}).sync, true);
    std::string error;
    EXPECT_FALSE(parse({"record", "--sync=yes"}, &error));
    EXPECT_EQ(error, "--sync takes no value");
}

TEST(CliOptionsTest, ReconnectChoiceAndGiveUpTimeOverrideTheSettingsFileOnlyWhenGiven) {
    RecorderSettings fromFile;
    fromFile.reconnect = true;
    fromFile.giveUpAfter = 60;
    EXPECT_TRUE(parse({"record"})->applyTo(fromFile).reconnect);
    EXPECT_EQ(parse({"record"})->applyTo(fromFile).giveUpAfter, 60);
    EXPECT_FALSE(parse({"record", "--no-reconnect"})->applyTo(fromFile).reconnect);
    const auto s = parse({"record", "--reconnect", "--give-up-after=7.5"})->applyTo({});
    EXPECT_TRUE(s.reconnect);
    EXPECT_EQ(s.giveUpSeconds(), 7.5);
    // A time to give up after means nothing to a recording that does not reconnect.
    std::ostringstream out, err;
    EXPECT_EQ(run({"record", "--give-up-after", "5", "--settings", "/nonexistent-marlin-dir/m.ini"}, out, err, false),
              kExitUsage);
    EXPECT_NE(err.str().find("--give-up-after applies only to a recording that reconnects"), std::string::npos);
}

TEST(CliOptionsTest, SettingsFileAboveOneMebibyteIsRefusedUnread) {
    std::ostringstream out, err;
    EXPECT_EQ(run({"record", "--settings", "/dev/zero", "--readings", "1"}, out, err, false), kExitUsage);
    EXPECT_EQ(err.str(),
              "marlin-cli: the settings file \"/dev/zero\" holds more than 1 MiB, which no settings file does; "
              "it was neither read nor changed. Give --settings with the path of a settings file.\n");
}

}  // namespace
}  // namespace marlin::cli
