#pragma once
// The command line of zelvorad and zelvora-admin. Without options both keep
// "zva.ini" beside the executable and the data files in the current
// directory, as they always did; --config and --data move them. The packaged
// build (CMake option ZV_PACKAGED_DEFAULTS) keeps both in the service's state
// folder, /var/lib/zelvora, when no option names them. Each program
// describes its options in a table of rows; an option is added with one row.

#include <cstddef>
#include <string>
#include <vector>

namespace zv::app {

// What the command line asked for.
struct CommandLine {
    std::string configFile;  // --config, absolute; empty: "zva.ini" beside the executable
    std::string dataFolder;  // --data, absolute; empty: the current directory
    bool help = false;       // --help: the usage on standard output, nothing else
    bool version = false;    // --version: the version on standard output, nothing else
    bool setAdminPassword = false;  // zelvorad --set-admin-password: reads one, stores its hash, ends
    bool checkConfig = false;  // --check-config: the problems and the settings on standard output
    bool allowRoot = false;    // --allow-root: root may use another user's files
    std::string backupFile;   // zelvorad --backup, absolute: a stopped server's backup is written there
    std::string restoreFile;  // zelvorad --restore, absolute: that backup is put back
    // Arguments that belong to the window toolkit (zelvora-admin), in order.
    std::vector<std::string> passedOn;
};

// One option: "--name VALUE" or "--name=VALUE" when it takes a value, "--name"
// when it is a switch; a switch may have a short name too ("-h").
struct OptionRow {
    const char* name;       // "--config"
    const char* valueName;  // "FILE"; nullptr for a switch
    const char* help;       // its text in --help (wrapped there)
    void (*apply)(CommandLine& line, const std::string& value);
    const char* shortName = nullptr;  // "-h"; nullptr for none
};

// A program's command line.
struct ProgramSyntax {
    const char* name;     // "zelvorad"
    const char* summary;  // what the program is, for --help
    std::vector<OptionRow> options;
    // How many arguments from args[index] on belong to someone else and are
    // passed on (zelvora-admin: Qt's own options); 0 when args[index] does
    // not. Null: nothing is passed on.
    std::size_t (*passOn)(const std::vector<std::string>& args, std::size_t index) = nullptr;
};

// The options both programs take: --config, --data, --check-config,
// --allow-root, --version (-V), --help (-h).
std::vector<OptionRow> commonOptions();

// The folder the packaged build keeps the settings file and the data in when
// no option names them; empty in a development build.
std::string packagedStateFolder();

// The places in use when the command line names none: the packaged build's
// state folder; nothing in a development build (beside the executable, the
// current directory).
void applyDefaultPlaces(CommandLine& line);

struct ParsedCommandLine {
    CommandLine line;
    std::string error;  // one line naming the argument; empty when the line is good
};

// Reads `args` (without the program name). Relative paths are made absolute
// against `currentFolder`, so that they mean what the user typed even after
// the program has changed into its data folder.
ParsedCommandLine parseCommandLine(const ProgramSyntax& syntax, const std::vector<std::string>& args,
                                   const std::string& currentFolder);

// The text of --help (no line longer than 80 columns) and of --version, each
// ending with a line end.
std::string usageText(const ProgramSyntax& syntax);
std::string versionText(const ProgramSyntax& syntax);

// Checks, touching nothing, that the places the command line names can be
// used: --data an existing folder the program may write in; --config a file
// in such a folder (the settings are written back, and an imported
// "qtadmin.ini" beside it is deleted) that is, when it exists, a regular file
// the program may read and write. The one-line error, or empty when fine.
std::string checkPlaces(const CommandLine& line);

// Run as root (and without --allow-root) on a settings file or data folder
// that belongs to another user: files made or replaced now would be root's,
// and that user (the service's) could not use them any more. The one line
// that refuses, saying how to run it instead; empty when the run may go on.
// `settingsPath` is the settings file in use, `dataFolder` the data folder
// ("." for the current directory).
std::string rootRefusal(const std::string& program, const CommandLine& line, const std::string& settingsPath,
                        const std::string& dataFolder);

}  // namespace zv::app
