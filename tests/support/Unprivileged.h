#pragma once

// Permission bits do not stop root, so a refused open, write or delete cannot be provoked as
// root, and the suites do run as root. These helpers run the part of a test that needs the
// refusal as an ordinary account, so that the refusal is tested there too.

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace testsupport {

// Gives a folder the test made for itself to the account runUnprivileged uses, so that the body
// can create, change and delete files in it. Does nothing unless the process is root.
::testing::AssertionResult handOverFolder(const std::string& folder);

// Runs body directly when the process is not root. Under root it runs in a forked child that
// first drops to the "nobody" account; the child prints the GoogleTest failures of the body,
// which would otherwise be lost with it, and any of them fails the test at the caller.
// The caller's place comes from builtins rather than std::source_location, which clang before
// 15 cannot compile against libstdc++, and the fuzz preset builds these sources with clang.
void runUnprivileged(const std::function<void()>& body, const char* file = __builtin_FILE(),
                     int line = __builtin_LINE());

// The build folder may be closed to the account runUnprivileged uses: a clone in root's home is
// reachable by root alone. A body that loads or reads something from there uses this copy of it
// instead, made in a fresh folder anyone can read and removed with this object. Not root: nothing
// is copied and folder() is the file's own folder.
class ReadableCopy {
public:
    explicit ReadableCopy(const std::string& file);
    ~ReadableCopy();
    ReadableCopy(const ReadableCopy&) = delete;
    ReadableCopy& operator=(const ReadableCopy&) = delete;

    // The folder that holds the copy under the file's own name.
    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
    bool m_made = false;
};

} // namespace testsupport
