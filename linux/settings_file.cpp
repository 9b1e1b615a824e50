#include "linux/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/error.h"
#include "core/owned.h"

namespace lumivane {

namespace {

// Far beyond any settings file; a larger one is something else.
constexpr size_t kLargestFile = 64 * 1024;
constexpr const char* kHeader =
    "# Lumivane: the clock's settings and place, written by the program.\n";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool IsComment(const std::string& trimmed) {
    return trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';';
}

// The name and value of a name=value line.
std::optional<std::pair<std::string, std::string>> Split(const std::string& line) {
    const std::string trimmed = Trim(line);
    const auto equals = trimmed.find('=');
    if (IsComment(trimmed) || equals == std::string::npos) {
        return std::nullopt;
    }
    return std::pair{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

// A value as the user can read it in a message: printable, and short.
std::string Quoted(const std::string& value) {
    std::string shown;
    for (const char c : value.substr(0, 40)) {
        shown += (c >= ' ' && c < 127) ? c : '?';
    }
    return "\"" + shown + (value.size() > 40 ? "...\"" : "\"");
}

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
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
    throw Error(SystemError("Cannot write", path));
}

} // namespace

SettingsText::SettingsText(const std::string& text) {
    // Editors on Windows begin a file with a byte-order mark; it is no part of a name.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    size_t start = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        lines_.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
}

std::optional<std::string> SettingsText::Find(const std::string& name) const {
    std::optional<std::string> value;
    for (const std::string& line : lines_) {
        if (const auto pair = Split(line); pair && pair->first == name) {
            value = pair->second;
        }
    }
    return value;
}

void SettingsText::Set(const std::string& name, int32_t value) {
    const auto names = [&name](const std::string& line) {
        const auto pair = Split(line);
        return pair && pair->first == name;
    };
    // The last line naming it counts: it takes the value, and the ones before it go.
    const auto after = std::find_if(lines_.rbegin(), lines_.rend(), names).base();
    if (after == lines_.begin()) {
        lines_.push_back(name + "=" + std::to_string(value));
        return;
    }
    *(after - 1) = name + "=" + std::to_string(value);
    lines_.erase(std::remove_if(lines_.begin(), after - 1, names), after - 1);
}

std::string SettingsText::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line + "\n";
    }
    return text;
}

std::optional<int32_t> ParseWholeNumber(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) {
        return std::nullopt;
    }
    return value;
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

bool SettingsFile::OpenStore(bool create) {
    open_ = false;
    changed_ = false;
    created_ = false;
    unreadable_.clear();
    try {
        return Read(create);
    } catch (const Error& error) {
        unreadable_ = error.what();
        text_ = SettingsText();
        open_ = true;
        return true;
    }
}

bool SettingsFile::Read(bool create) {
    const FileDescriptor file(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno != ENOENT) {
            throw Error(SystemError("Cannot read the settings file", path_));
        }
        if (!create) {
            return false;
        }
        text_ = SettingsText(kHeader);
        open_ = true;
        created_ = true;
        return true;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(file.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Error(SystemError("Cannot read the settings file", path_));
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
        if (text.size() > kLargestFile) {
            throw Error("The settings file " + path_ + " is too large to be one");
        }
    }
    text_ = SettingsText(text);
    open_ = true;
    return true;
}

void SettingsFile::CreateStore() {
    if (!OpenStore(true)) {
        throw Error("Cannot open the settings file " + path_);
    }
}

std::string SettingsFile::UnreadProblem(const std::string& first) const {
    return first + ". The clock uses the defaults for what it could not read.";
}

int32_t SettingsFile::ReadValue(const std::string& name) {
    if (!unreadable_.empty()) {
        throw Error(unreadable_);
    }
    const std::optional<std::string> text = text_.Find(name);
    if (!text) {
        throw Error("'" + name + "' is missing from " + path_);
    }
    const std::optional<int32_t> value = ParseWholeNumber(*text);
    if (!value) {
        throw Error("'" + name + "' in " + path_ + " is not a whole number: " + Quoted(*text));
    }
    return *value;
}

void SettingsFile::WriteValue(const std::string& name, int32_t value) {
    text_.Set(name, value);
    changed_ = true;
}

void SettingsFile::CloseStore() {
    const bool write = open_ && changed_;
    open_ = false;
    changed_ = false;
    if (write && !unreadable_.empty()) {
        throw Error(unreadable_);
    }
    if (write) {
        ReplaceFile(path_, text_.Text());
    }
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
        throw Error(SystemError("Cannot write", path));
    }
    const auto fail = [&] {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        throw Error(SystemError("Cannot write", path));
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

} // namespace lumivane
