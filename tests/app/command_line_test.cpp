// The command line read on its own: every option in both spellings, every
// refusal as one line, Qt's options passed on only by the window program, and
// the check of the places it names.

#include <gtest/gtest.h>

#include <unistd.h>

#include "app/command_line.h"
#include "app/toolkit_arguments.h"
#include "temp_dir.h"

namespace zv::app {
namespace {

const ProgramSyntax kServer{"zelvorad", "The server.", commonOptions()};
const ProgramSyntax kWindow{"zelvora-admin", "The window.", commonOptions(), qtOptionLength};

ParsedCommandLine parse(const ProgramSyntax& syntax, const std::vector<std::string>& args) {
    return parseCommandLine(syntax, args, "/start/here");
}

TEST(CommandLine, ReadsEveryOptionInBothSpellingsAndAnchorsRelativePathsWhereItStarted) {
    const ParsedCommandLine none = parse(kServer, {});
    EXPECT_EQ(none.error, "");
    EXPECT_EQ(none.line.configFile, "");  // zva.ini beside the program
    EXPECT_EQ(none.line.dataFolder, "");  // the current directory
    EXPECT_FALSE(none.line.help || none.line.version);

    const ParsedCommandLine spaced = parse(kServer, {"--config", "etc/zva.ini", "--data", "/srv/board"});
    EXPECT_EQ(spaced.error, "");
    EXPECT_EQ(spaced.line.configFile, "/start/here/etc/zva.ini");
    EXPECT_EQ(spaced.line.dataFolder, "/srv/board");

    const ParsedCommandLine joined = parse(kServer, {"--data=board", "--config=/etc/z.ini", "--version"});
    EXPECT_EQ(joined.error, "");
    EXPECT_EQ(joined.line.configFile, "/etc/z.ini");
    EXPECT_EQ(joined.line.dataFolder, "/start/here/board");
    EXPECT_TRUE(joined.line.version);
    EXPECT_TRUE(parse(kServer, {"--help"}).line.help);

    const std::string usage = usageText(kServer);
    for (const OptionRow& row : commonOptions()) {
        EXPECT_NE(usage.find(row.name), std::string::npos) << row.name;
    }
    EXPECT_EQ(usage.rfind("Usage: zelvorad ", 0), 0u) << usage;
    EXPECT_EQ(versionText(kServer).rfind("zelvorad (Zelvora Admin/Server) ", 0), 0u);
}

TEST(CommandLine, RefusesABadArgumentWithOneLineNamingIt) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--verbose"}, "zelvorad: unknown option \"--verbose\""},
        {{"-d", "x"}, "zelvorad: unknown option \"-d\""},
        {{"data"}, "zelvorad: unexpected argument \"data\""},
        {{"--data"}, "zelvorad: option --data needs a DIR"},
        {{"--config="}, "zelvorad: option --config needs a FILE, not an empty text"},
        {{"--help=yes"}, "zelvorad: option --help takes no value"},
        {{"--data", "d", "--"}, "zelvorad: unknown option \"--\""},
        // Qt's options belong to the window program only.
        {{"-platform", "offscreen"}, "zelvorad: unknown option \"-platform\""},
    };
    for (const auto& [args, expected] : cases) {
        const std::string error = parse(kServer, args).error;
        EXPECT_EQ(error, expected + " (see zelvorad --help)");
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(CommandLine, TheWindowProgramPassesQtOptionsOnInOrderAndRefusesTheRest) {
    const ParsedCommandLine parsed = parse(
        kWindow, {"-platform", "offscreen", "--data", "d", "--style=Fusion", "-reverse", "--display", ":1"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.line.dataFolder, "/start/here/d");
    EXPECT_EQ(parsed.line.passedOn, (std::vector<std::string>{"-platform", "offscreen", "--style=Fusion",
                                                              "-reverse", "--display", ":1"}));
    EXPECT_EQ(parse(kWindow, {"-platform"}).line.passedOn, (std::vector<std::string>{"-platform"}));
    EXPECT_EQ(parse(kWindow, {"--data=d", "--bogus"}).error,
              "zelvora-admin: unknown option \"--bogus\" (see zelvora-admin --help)");
    EXPECT_NE(parse(kWindow, {"-reverse=1"}).error, "");
    EXPECT_NE(parse(kWindow, {"-nosuchqtoption"}).error, "");
    EXPECT_NE(parse(kWindow, {"file.txt"}).error, "");
}

TEST(CommandLine, ThePlacesItNamesAreCheckedBeforeAnythingIsTouched) {
    test::TempDir dir;
    test::makeFolder(dir.file("data"));
    test::writeFile(dir.file("plain"), "x");
    auto check = [](const std::string& config, const std::string& data) {
        CommandLine line;
        line.configFile = config;
        line.dataFolder = data;
        return checkPlaces(line);
    };
    EXPECT_EQ(check("", ""), "");
    EXPECT_EQ(check(dir.file("zva.ini"), dir.file("data")), "");  // a settings file yet to be written
    EXPECT_EQ(check(dir.file("plain"), ""), "");                   // any name will do

    EXPECT_EQ(check("", dir.file("missing")),
              "cannot use the data folder \"" + dir.file("missing") + "\": No such file or directory");
    EXPECT_EQ(check("", dir.file("plain")),
              "cannot use the data folder \"" + dir.file("plain") + "\": not a folder");
    EXPECT_EQ(check(dir.file("missing/zva.ini"), ""),
              "cannot use the settings file \"" + dir.file("missing/zva.ini") + "\": its folder \"" +
                  dir.file("missing") + "\": No such file or directory");
    EXPECT_EQ(check(dir.file("data"), ""),
              "cannot use the settings file \"" + dir.file("data") + "\": not a regular file");

    if (::geteuid() != 0) {  // root may write anywhere
        test::makeFolder(dir.file("locked"));
        ASSERT_EQ(::chmod(dir.file("locked").c_str(), 0555), 0);
        EXPECT_NE(check("", dir.file("locked")).find("not writable"), std::string::npos);
        EXPECT_NE(check(dir.file("locked/zva.ini"), "").find("not writable"), std::string::npos);
        ASSERT_EQ(::chmod(dir.file("plain").c_str(), 0444), 0);
        EXPECT_NE(check(dir.file("plain"), "").find("not readable and writable"), std::string::npos);
    }
}

}  // namespace
}  // namespace zv::app
