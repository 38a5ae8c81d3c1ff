#include "util/SwapJournal.h"

#include "util/UniqueFd.h"

#include <QList>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar {

namespace {

constexpr char kJournal[] = "journal";

// One step a line: kind, inode, and the path in hex, since a member's name may hold a line feed.
QByteArray lineOf(const SwapStep& step) {
    const char kind = step.folder ? 'D' : (step.replaced ? 'R' : 'N');
    return kind + (' ' + QByteArray::number(qulonglong(step.inode))) + ' ' + step.path.toHex() +
           '\n';
}

std::vector<SwapStep> readJournal(int stagingFd) {
    std::vector<SwapStep> steps;
    const UniqueFd fd(::openat(stagingFd, kJournal, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        return steps;
    }
    QByteArray text;
    char buffer[4096];
    for (ssize_t got = 0; (got = ::read(fd.get(), buffer, sizeof buffer)) > 0;) {
        text.append(buffer, got);
    }
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3 || fields[0].size() != 1) {
            continue;
        }
        SwapStep step;
        step.folder = fields[0] == "D";
        step.replaced = fields[0] == "R";
        step.inode = fields[1].toULongLong();
        step.path = QByteArray::fromHex(fields[2]);
        if (!step.path.isEmpty()) {
            steps.push_back(step);
        }
    }
    return steps;
}

} // namespace

bool writeSwapJournal(int stagingFd, const std::vector<SwapStep>& steps) {
    QByteArray text;
    for (const SwapStep& step : steps) {
        text += lineOf(step);
    }
    const UniqueFd fd(
        ::openat(stagingFd, kJournal, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        return false;
    }
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd.get(), text.constData() + done, size_t(text.size() - done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += put;
    }
    return ::fsync(fd.get()) == 0 && ::fsync(stagingFd) == 0;
}

void dropSwapJournal(int stagingFd) {
    ::unlinkat(stagingFd, kJournal, 0);
    ::fsync(stagingFd);
}

void undoInterruptedSwap(int targetFd, int stagingFd) {
    const std::vector<SwapStep> steps = readJournal(stagingFd);
    if (steps.empty()) {
        return;
    }
    const UniqueFd members(
        ::openat(stagingFd, kStagedMembers, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!members.valid()) {
        return;
    }
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        const char* path = it->path.constData();
        if (it->folder) {
            ::unlinkat(targetFd, path, AT_REMOVEDIR); // only when nothing else went in
            continue;
        }
        struct stat info {};
        // Only the member this run moved is moved back: anything else there is the user's.
        if (::fstatat(targetFd, path, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            uint64_t(info.st_ino) != it->inode) {
            continue;
        }
        ::renameat2(targetFd, path, members.get(), path, it->replaced ? RENAME_EXCHANGE : 0);
    }
    ::fsync(targetFd);
    dropSwapJournal(stagingFd);
}

} // namespace brindmar
