#include "Unprivileged.h"

#include <gtest/gtest-spi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

struct Account {
    uid_t uid;
    gid_t gid;
};

// Looked up before any fork: the name service is not safe to enter in a forked child.
Account unprivilegedAccount() {
    constexpr uid_t kNobody = 65534;
    const passwd* entry = ::getpwnam("nobody");
    if (entry == nullptr || entry->pw_uid == 0) {
        return {kNobody, kNobody};
    }
    return {entry->pw_uid, entry->pw_gid};
}

[[noreturn]] void childFails(const char* what) {
    std::fprintf(stderr, "unprivileged run: %s: %s\n", what, std::strerror(errno));
    ::_exit(2);
}

void dropPrivileges(const Account& account) {
    // Groups first: once the user id has changed they can no longer be dropped.
    if (::setgroups(0, nullptr) != 0) {
        childFails("setgroups");
    }
    if (::setgid(account.gid) != 0) {
        childFails("setgid");
    }
    if (::setuid(account.uid) != 0) {
        childFails("setuid");
    }
    if (::geteuid() == 0 || ::setuid(0) == 0) {
        std::fputs("unprivileged run: root could be regained\n", stderr);
        ::_exit(2);
    }
    // Changing identity makes the process undumpable, which hides /proc/self from it; the
    // sanitizers read their own maps from there.
    ::prctl(PR_SET_DUMPABLE, 1);
}

[[noreturn]] void runAsChild(const Account& account, const std::function<void()>& body) {
    dropPrivileges(account);
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter intercept(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        // Unwinding out of here would carry on with the rest of the suite in the child.
        try {
            body();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "unprivileged run: the body threw: %s\n", error.what());
            ::_exit(3);
        } catch (...) {
            std::fputs("unprivileged run: the body threw\n", stderr);
            ::_exit(3);
        }
    }
    bool failed = false;
    for (int i = 0; i < results.size(); ++i) {
        const ::testing::TestPartResult& result = results.GetTestPartResult(i);
        if (result.failed()) {
            failed = true;
            std::fprintf(stderr, "%s:%d: Failure as uid %u\n%s\n",
                         result.file_name() != nullptr ? result.file_name() : "?",
                         result.line_number(), static_cast<unsigned>(account.uid),
                         result.message());
        }
    }
    std::fflush(nullptr);
    // Leaves the parent's copies of the test's objects (scratch folders among them) alone.
    ::_exit(failed ? 1 : 0);
}

} // namespace

::testing::AssertionResult handOverFolder(const std::string& folder) {
    if (::geteuid() != 0) {
        return ::testing::AssertionSuccess();
    }
    const Account account = unprivilegedAccount();
    if (::chown(folder.c_str(), account.uid, account.gid) != 0) {
        return ::testing::AssertionFailure()
               << "cannot give " << folder << " away: " << std::strerror(errno);
    }
    return ::testing::AssertionSuccess();
}

ReadableCopy::ReadableCopy(const std::string& file) {
    namespace fs = std::filesystem;
    m_folder = fs::path(file).parent_path().string();
    if (::geteuid() != 0) {
        return;
    }
    std::error_code error;
    std::string folder = (fs::temp_directory_path(error) / "brindmar-readable-XXXXXX").string();
    if (error || ::mkdtemp(folder.data()) == nullptr) {
        ADD_FAILURE() << "no folder for a readable copy of " << file << ": "
                      << (error ? error.message() : std::strerror(errno));
        return;
    }
    m_folder = folder;
    m_made = true;
    const fs::path copy = fs::path(folder) / fs::path(file).filename();
    // mkdtemp makes the folder 0700; the copy keeps the original's mode, which may be as closed.
    fs::permissions(folder,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    if (!error) {
        fs::copy_file(file, copy, error);
    }
    if (!error) {
        fs::permissions(copy, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add,
                        error);
    }
    if (error) {
        ADD_FAILURE() << "cannot make a readable copy of " << file << " in " << folder << ": "
                      << error.message();
    }
}

ReadableCopy::~ReadableCopy() {
    if (m_made) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

void runUnprivileged(const std::function<void()>& body, const char* file, int line) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    const Account account = unprivilegedAccount();
    // Output still buffered would otherwise be written by both processes.
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE_AT(file, line) << "fork: " << std::strerror(errno);
        return;
    }
    if (child == 0) {
        runAsChild(account, body);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE_AT(file, line) << "waitpid: " << std::strerror(errno);
            return;
        }
    }
    if (WIFSIGNALED(status)) {
        ADD_FAILURE_AT(file, line)
            << "the unprivileged run was killed by signal " << WTERMSIG(status);
    } else if (WEXITSTATUS(status) != 0) {
        ADD_FAILURE_AT(file, line) << "the unprivileged run failed with exit status "
                                   << WEXITSTATUS(status) << "; see its output above";
    }
}

} // namespace testsupport
