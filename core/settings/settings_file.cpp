#include "core/settings/settings_file.h"

#include <algorithm>
#include <charconv>

#include "core/error.h"

namespace lumivane {

namespace {

// Far beyond any settings file; a larger one is something else.
constexpr size_t kLargestFile = 64 * 1024;
constexpr std::string_view kHeader =
    "# Lumivane: the clock's settings and place, written by the program.";

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

// Notepad's "Unicode" is UTF-16 with a byte-order mark. Names and numbers are ASCII: its
// ASCII characters are kept, the others become '?'.
std::string FromUtf16(std::string_view text) {
    std::string narrow;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(text[i]) | static_cast<unsigned char>(text[i + 1]) << 8;
        narrow += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return narrow;
}

// Whether the file names any value the program stores.
bool NamesAStoredValue(const SettingsText& text) {
    return text.Find(kHideFullScreen.name) ||
           std::any_of(kStoredValues.begin(), kStoredValues.end(),
                       [&text](const StoredValue& value) { return text.Find(value.name); });
}

} // namespace

SettingsText::SettingsText(const std::string& file, std::string_view lineEnd) {
    // Editors on Windows begin a file with a byte-order mark; it is no part of a name.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    constexpr std::string_view kUtf16Mark = "\xFF\xFE";
    const std::string text =
        file.starts_with(kUtf16Mark) ? FromUtf16(std::string_view(file).substr(2)) : file;
    size_t start = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    // The file's own line end is kept: that of its first line.
    const auto firstEnd = text.find('\n');
    lineEnd_ = firstEnd == std::string::npos                ? lineEnd
               : firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n"
                                                            : "\n";
    while (start < text.size()) {
        auto end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const size_t length = end > start && text[end - 1] == '\r' ? end - 1 - start : end - start;
        lines_.push_back(text.substr(start, length));
        start = end + 1;
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
        text += line + lineEnd_;
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

std::string CannotWrite(const std::string& path, const std::string& reason) {
    return "Cannot write " + path + ": " + reason;
}

SettingsFile::SettingsFile(std::string path, const FileAccess& files)
    : path_(std::move(path)), files_(files) {}

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
    std::optional<std::string> text;
    try {
        text = files_.Read(path_, kLargestFile);
    } catch (const Error& error) {
        throw Error("Cannot read the settings file " + path_ + ": " + error.what());
    }
    if (!text) {
        if (!create) {
            return false;
        }
        const std::string_view lineEnd = files_.LineEnd();
        text_ = SettingsText(std::string(kHeader) + std::string(lineEnd), lineEnd);
        open_ = true;
        created_ = true;
        return true;
    }
    if (text->size() > kLargestFile) {
        throw Error("The settings file " + path_ + " is too large to be one");
    }
    text_ = SettingsText(*text, files_.LineEnd());
    // Nothing stored in it yet (a user made it empty): read, it is a first start; written,
    // it is filled whole, as a file made anew.
    const bool empty = !NamesAStoredValue(text_);
    if (empty && !create) {
        return false;
    }
    open_ = true;
    created_ = empty;
    return true;
}

void SettingsFile::CreateStore() {
    if (!OpenStore(true)) {
        throw Error("Cannot open the settings file " + path_);
    }
}

std::string SettingsFile::UnreadProblem(const std::string& first) const {
    // The system's reason, which ends the message, may bring its own full stop (Windows').
    return first + (first.ends_with('.') ? "" : ".") +
           " The clock uses the defaults for what it could not read.";
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
        files_.Replace(path_, text_.Text());
    }
}

} // namespace lumivane
