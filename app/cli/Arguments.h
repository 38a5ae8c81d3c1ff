#pragma once

#include "cli/CodeSource.h"
#include "cli/Commands.h"

#include <QStringList>
#include <string>

namespace brindmar::cli {

// What a command line asks for: a command with its options, its help, the program's help or
// version, or a usage error (one line, without the "brindmar: " in front).
struct Request {
    enum class Kind { Run, ProgramHelp, CommandHelp, Version, UsageError };
    Kind kind = Kind::Run;
    int (*run)(const Options&) = nullptr;
    const char* help = nullptr; // the command's or the program's usage text
    Options options;
    CodeSources code;
    bool takesCode = false; // BRINDMAR_CODE counts only for the commands that take a code
    QString error;
};

// Reads the arguments after the program's name. Options take their value as the next argument
// or after "=" ("--out DIR", "--out=DIR", "-o DIR", "-oDIR"); "--" ends the options, so a file
// may start with "-"; --help and --version count wherever they stand before it.
Request parseArguments(const QStringList& args);

extern const char* const kProgramUsage;

// The crop choice named on the command line: its number, or its menu caption in lower case
// with hyphens ("centre-bottom", "left-vert-strip").
std::optional<uint8_t> cropModeFromText(const QString& text);

} // namespace brindmar::cli
