#include "linux/config_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/error.h"
#include "core/owned.h"

namespace lumivane::gtk {

namespace {

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string WriteError(const std::string& path) {
    return CannotWrite(path, std::strerror(errno));
}

using FileDescriptor = Owned<int, &close, std::nullptr_t, -1>;

void MakeFolders(const std::string& path) {
    for (auto slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            throw Error(SystemError("Cannot make the folder", folder));
        }
    }
}

// The file `path` names in the end: a symbolic link (a dotfile manager links the settings
// into a repository) is followed, a relative one from its own folder.
std::string LinkTarget(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0) {
            return path; // not a link (or not there yet)
        }
        const std::string next(target, static_cast<size_t>(length));
        path = next.front() == '/' ? next : path.substr(0, path.rfind('/') + 1) + next;
    }
    errno = ELOOP;
    throw Error(WriteError(path));
}

} // namespace

std::optional<std::string> PosixFiles::Read(const std::string& path, size_t largest) const {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throw Error(std::strerror(errno));
    }
    std::string text;
    char chunk[4096];
    while (text.size() <= largest) {
        const ssize_t got = read(file.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Error(std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
    return text;
}

void PosixFiles::Replace(const std::string& path, const std::string& text) const {
    ReplaceFile(path, text);
}

std::string ConfigPath(const std::string& below) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // XDG base directories: a relative path is to be ignored.
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/" + below;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/" + below;
}

std::string SettingsFilePath() {
    return ConfigPath("lumivane/lumivane.conf");
}

void ReplaceFile(const std::string& named, const std::string& text) {
    // The file itself is replaced, so that the links to it keep naming it.
    const std::string path = LinkTarget(named);
    MakeFolders(path);
    struct stat old {};
    // Keeps the mode of the file it replaces, 0600 for a new one.
    const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    std::string temporary = path + ".XXXXXX";
    FileDescriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) {
        throw Error(WriteError(path));
    }
    const auto fail = [&] {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        throw Error(WriteError(path));
    };
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(file.get(), text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR) {
            fail();
        }
        done += wrote > 0 ? static_cast<size_t>(wrote) : 0;
    }
    if (fchmod(file.get(), mode) != 0 || fsync(file.get()) != 0 || close(file.release()) != 0) {
        fail();
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        fail();
    }
    // The rename itself reaches the disk with its folder.
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const FileDescriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        fsync(directory.get());
    }
}

} // namespace lumivane::gtk
