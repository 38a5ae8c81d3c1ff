#pragma once

// Permission bits do not stop root, so a refused open, write or delete cannot be provoked as
// root, and the suites do run as root. These helpers run the part of a test that needs the
// refusal as an ordinary account, so that the refusal is tested there too.

#include <gtest/gtest.h>

#include <functional>
#include <source_location>
#include <string>

namespace testsupport {

// Gives a folder the test made for itself to the account runUnprivileged uses, so that the body
// can create, change and delete files in it. Does nothing unless the process is root.
::testing::AssertionResult handOverFolder(const std::string& folder);

// Runs body directly when the process is not root. Under root it runs in a forked child that
// first drops to the "nobody" account; the child prints the GoogleTest failures of the body,
// which would otherwise be lost with it, and any of them fails the test at the caller.
void runUnprivileged(const std::function<void()>& body,
                     std::source_location caller = std::source_location::current());

} // namespace testsupport
