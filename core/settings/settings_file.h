#pragma once
// The settings file: lines of name=value with whole numbers, under the names the registry
// store uses. The Linux program keeps its settings in one; the Windows program in
// portable mode, in Lumivane.ini beside the program. Used like the registry store: open,
// read or write values, close. Writing replaces the file at once (a new file, flushed to
// disk, put in the old one's place), so a crash mid-write leaves the old file whole.
// Lines it does not know are kept. The few file operations it needs come from the front
// end (FileAccess).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/settings_rules.h"

namespace lumivane {

// The file's text, line by line, and where each value stands in it.
class SettingsText {
  public:
    SettingsText() = default;
    // `lineEnd` ends the lines of a text that has no line end of its own to keep.
    explicit SettingsText(const std::string& text, std::string_view lineEnd = "\n");

    // The value's text as written (trimmed); nothing when no line names it. The last
    // line naming it counts.
    std::optional<std::string> Find(const std::string& name) const;
    // Replaces the value of the line that counts, dropping other lines that name it,
    // or appends a line.
    void Set(const std::string& name, int32_t value);
    // The lines, each ended as the text's first line was.
    std::string Text() const;

  private:
    std::vector<std::string> lines_;
    std::string lineEnd_ = "\n";
};

// A whole number of 32 bits, optionally signed, and nothing else.
std::optional<int32_t> ParseWholeNumber(const std::string& text);

// What the settings file needs of the file system; each front end provides it.
class FileAccess {
  public:
    virtual ~FileAccess() = default;
    // The bytes of the file at `path`; nothing when no file is there. Reading may stop
    // once more than `largest` bytes are in. Throws Error with the system's reason alone
    // when the file is there but cannot be read.
    virtual std::optional<std::string> Read(const std::string& path, size_t largest) const = 0;
    // Replaces the file at `path` with `text` at once: written to a new file beside it,
    // flushed, put in its place. Throws Error, its text made by CannotWrite, and leaves the
    // old file as it was.
    virtual void Replace(const std::string& path, const std::string& text) const = 0;
    // How a line ends in a text file the system's own editor reads.
    virtual std::string_view LineEnd() const = 0;
};

// The message of a file that cannot be written, and why.
std::string CannotWrite(const std::string& path, const std::string& reason);

class SettingsFile final : public SettingsStore {
  public:
    // `files` outlives the settings file.
    SettingsFile(std::string path, const FileAccess& files);

    // Reads the file. With create, a missing file counts as empty and is written by
    // CloseStore; without, a missing file, or one that names none of the stored values (a
    // user made it empty), returns false. A file that is there but cannot be read, or is
    // too large to be a settings file, opens as unreadable: every read throws why, and it
    // is never replaced.
    bool OpenStore(bool create) override;
    void CreateStore() override;
    // Made anew by the open, or naming none of the stored values.
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
    const FileAccess& files_;
    SettingsText text_;
    std::string unreadable_; // why the file could not be read
    bool open_ = false;
    bool changed_ = false;
    bool created_ = false;
};

} // namespace lumivane
