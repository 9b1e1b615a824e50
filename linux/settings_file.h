#pragma once
// The settings file of the Linux program: $XDG_CONFIG_HOME/lumivane/lumivane.conf, lines
// of name=value with whole numbers, under the same names the Windows program keeps in the
// registry. Used like the registry store: open, read or write values, close. Writing
// replaces the file at once (a new file, flushed to disk, renamed over the old one), so
// a crash mid-write leaves the old file whole. Lines it does not know are kept.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/settings_rules.h"

namespace lumivane {

// The file's text, line by line, and where each value stands in it.
class SettingsText {
  public:
    SettingsText() = default;
    explicit SettingsText(const std::string& text);

    // The value's text as written (trimmed); nothing when no line names it. The last
    // line naming it counts.
    std::optional<std::string> Find(const std::string& name) const;
    // Replaces the value of the line that counts, dropping other lines that name it,
    // or appends a line.
    void Set(const std::string& name, int32_t value);
    std::string Text() const;

  private:
    std::vector<std::string> lines_;
};

// A whole number of 32 bits, optionally signed, and nothing else.
std::optional<int32_t> ParseWholeNumber(const std::string& text);

class SettingsFile final : public SettingsStore {
  public:
    explicit SettingsFile(std::string path);

    // Reads the file. With create, a missing file counts as empty and is written by
    // CloseStore; without, a missing file returns false. A file that is there but
    // cannot be read, or is too large to be a settings file, opens as unreadable:
    // every read throws why, and it is never replaced.
    bool OpenStore(bool create) override;
    void CreateStore() override;
    bool Created() const override { return created_; }
    // Throws Error when the value is missing or not a whole number of 32 bits.
    int32_t ReadValue(const std::string& name) override;
    void WriteValue(const std::string& name, int32_t value) override;
    // Writes the file when a value was written. Throws Error when it cannot be written
    // (or was unreadable); the old file then stays as it was.
    void CloseStore() override;
    bool Readable() const override { return unreadable_.empty(); }
    std::string UnreadProblem(const std::string& first) const override;

    const std::string& Path() const { return path_; }

  private:
    bool Read(bool create); // throws Error

    std::string path_;
    SettingsText text_;
    std::string unreadable_; // why the file could not be read
    bool open_ = false;
    bool changed_ = false;
    bool created_ = false;
};

// $XDG_CONFIG_HOME (or ~/.config) and the rest of a path below it.
std::string ConfigPath(const std::string& below);
// The settings file's path: lumivane/lumivane.conf in the configuration folder.
std::string SettingsFilePath();

// Replaces the file at `path` (where it is a link, the file it names) with `text` at
// once, creating the folders above it: written to a new file beside it, flushed, renamed
// over it. Throws Error.
void ReplaceFile(const std::string& path, const std::string& text);

} // namespace lumivane
