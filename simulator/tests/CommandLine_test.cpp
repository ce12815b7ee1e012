#include "CommandLine.h"

#include <gtest/gtest.h>

namespace marlin::sim {
namespace {

CommandLine::Result parse(std::vector<std::string> args) {
    return CommandLine::parse(args);
}

TEST(CommandLineTest, DefaultsServeLoopbackWithFiveHundredOnePoints) {
    const auto r = parse({});
    EXPECT_TRUE(r.error.empty());
    EXPECT_EQ(r.options.bindAddress, "127.0.0.1");
    EXPECT_FALSE(r.options.port);
    EXPECT_EQ(r.options.instrument.points, 501u);
    EXPECT_DOUBLE_EQ(r.options.instrument.sweepTimeS, 0.005);
    EXPECT_EQ(r.options.instrument.activeTraces, (std::array<bool, 4>{true, true, true, true}));
    EXPECT_FALSE(r.options.faults.closeAfterReplies);
    EXPECT_FALSE(r.options.verbose);
}

TEST(CommandLineTest, EveryOptionInBothSpellings) {
    const auto r = parse({"--bind",
                          "127.0.0.77",
                          "--port=2600",
                          "--points",
                          "1001",
                          "--sweep-time=0.25",
                          "--seed",
                          "7",
                          "--identity",
                          "QUAZAR,X,1,2",
                          "--inactive=2,4",
                          "--max-block",
                          "512",
                          "--close-after",
                          "3",
                          "--stall-after=4",
                          "--short-block-after",
                          "5",
                          "--short-message-after",
                          "6",
                          "--wrong-version=0.5",
                          "--reply-delay",
                          "0.2",
                          "-v"});
    ASSERT_TRUE(r.error.empty()) << r.error;
    const SimulatorOptions& o = r.options;
    EXPECT_EQ(o.bindAddress, "127.0.0.77");
    EXPECT_EQ(o.port, 2600);
    EXPECT_EQ(o.instrument.points, 1001u);
    EXPECT_DOUBLE_EQ(o.instrument.sweepTimeS, 0.25);
    EXPECT_EQ(o.instrument.seed, 7u);
    EXPECT_EQ(o.instrument.identity, "QUAZAR,X,1,2");
    EXPECT_EQ(o.instrument.activeTraces, (std::array<bool, 4>{true, false, true, false}));
    EXPECT_EQ(o.maxBlockBytes, 512u);
    EXPECT_EQ(o.faults.closeAfterReplies, 3u);
    EXPECT_EQ(o.faults.stallAfterReplies, 4u);
    EXPECT_EQ(o.faults.shortBlockAfterReplies, 5u);
    EXPECT_EQ(o.faults.shortMessageAfterReplies, 6u);
    EXPECT_EQ(o.faults.versionReply, 0.5f);
    EXPECT_EQ(o.faults.replyDelay, std::chrono::milliseconds(200));
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(parse({"--wrong-version"}).options.faults.versionReply, 1.0f);
}

TEST(CommandLineTest, BadValuesAreRefusedWithAHint) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--bind", "localhost"},
                                                                                     {"--port", "0"},
                                                                                     {"--port", "70000"},
                                                                                     {"--points", "0"},
                                                                                     {"--points", "12x"},
                                                                                     {"--sweep-time", "-1"},
                                                                                     {"--inactive", "5"},
                                                                                     {"--inactive", "1,,2"},
                                                                                     {"--identity", "a\nb"},
                                                                                     {"--wrong-version=2"},
                                                                                     {"--close-after"},
                                                                                     {"--frobnicate"},
                                                                                     {"--help=yes"}}) {
        const auto r = parse(bad);
        EXPECT_NE(r.error.find("--help"), std::string::npos) << bad.front();
    }
    EXPECT_NE(parse({"--frobnicate"}).error.find("unknown option '--frobnicate'"), std::string::npos);
}

TEST(CommandLineTest, HelpListsEveryOption) {
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"-h"}).help);
    const std::string help = CommandLine::helpText();
    for (const char* option :
         {"--bind", "--port", "--points", "--sweep-time", "--seed", "--identity", "--inactive", "--max-block",
          "--close-after", "--stall-after", "--short-block-after", "--short-message-after", "--wrong-version",
          "--reply-delay", "--verbose"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace marlin::sim
