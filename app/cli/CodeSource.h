#pragma once

#include <QString>
#include <optional>

namespace brindmar::cli {

// Where the code comes from. On the command line (--code) any user can read it in the process
// list; a file, a prompt or the environment keep it out of there.
struct CodeSources {
    std::optional<QString> argument; // --code
    std::optional<QString> file;     // --code-file, "-" for standard input
    bool ask = false;                // --ask-code
};

struct CodeOutcome {
    std::optional<QString> code;
    QString error;      // why there is none, when one was asked for
    bool usage = false; // the error is the caller's: two sources at once, bytes not UTF-8
    bool interrupted = false;
};

// The code from the one source given, or from BRINDMAR_CODE when none is; nullopt without an
// error when there is no code at all. The variable is cleared once read, so that neither
// /proc/PID/environ nor a child process sees it. Files and the variable are decoded strictly
// as UTF-8: bytes that are not are refused, never replaced. askTwice asks the prompt again and
// compares, as a code that makes an image must be right the first time.
CodeOutcome obtainCode(const CodeSources& sources, bool askTwice);

// The usage error for a code the command cannot take, or nothing when it can. sealing: the
// code seals or opens (10 to 256 characters of any script); otherwise it is stored in the
// image (10 to 20 characters Latin-1 can carry). A code given and empty is an error too: the
// image would open for anyone.
std::optional<QString> codeUsageError(const QString& code, bool sealing);

// Overwrites the text in place before it is dropped, so the code does not linger in memory
// freed at the end of the run.
void forget(QString& secret);

} // namespace brindmar::cli
