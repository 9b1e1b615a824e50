#include "windows/portable_mode.h"

#include <windows.h>

#include <string>

#include "core/error.h"
#include "core/owned.h"
#include "windows/autostart.h"
#include "windows/handles.h"
#include "windows/text.h"

namespace lumivane::windows {

namespace {

// What a user may set on the file and expects it to keep.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

[[noreturn]] void CannotWriteBecause(const std::string& path, DWORD code) {
    throw Error(CannotWrite(path, SystemReason(code)));
}

// A file beside `target` that no other writer has: created here, or the reason why not.
KernelHandle NewFileBeside(const std::wstring& target, std::wstring& name, DWORD& code) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        name = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(attempt) + L".tmp";
        KernelHandle file = FileHandle(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        code = GetLastError();
        if (file || code != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return {};
}

// How many names the file has (its hard links); 1 when that cannot be had.
DWORD Names(const std::wstring& path) {
    const KernelHandle file = FileHandle(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    return file && GetFileInformationByHandle(file.get(), &information) ? information.nNumberOfLinks
                                                                        : 1;
}

// Writes `text` into the open file from its start, ends the file there and flushes it.
void WriteAll(HANDLE file, const std::string& text, const std::string& path) {
    for (size_t done = 0; done < text.size();) {
        DWORD wrote = 0;
        if (!WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &wrote,
                       nullptr)) {
            CannotWriteBecause(path, GetLastError());
        }
        done += wrote;
    }
    if (!SetEndOfFile(file) || !FlushFileBuffers(file)) {
        CannotWriteBecause(path, GetLastError());
    }
}

} // namespace

std::optional<std::string> WindowsFiles::Read(const std::string& path, size_t largest) const {
    const KernelHandle file = FileHandle(CreateFileW(
        Widened(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        throw Error(SystemReason(code));
    }
    std::string text;
    char chunk[4096];
    while (text.size() <= largest) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
            throw Error(SystemReason(GetLastError()));
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, got);
    }
    return text;
}

void WindowsFiles::Replace(const std::string& path, const std::string& text) const {
    const std::wstring target = Widened(path);
    const DWORD old = GetFileAttributesW(target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) != 0) {
        CannotWriteBecause(path, ERROR_ACCESS_DENIED);
    }
    // A file of several names (Scoop keeps a persisted file as a hard link into its
    // persist folder) is written where it is: a new file in its place would part them,
    // and the next version would start from the old settings.
    if (old != INVALID_FILE_ATTRIBUTES && Names(target) > 1) {
        const KernelHandle file =
            FileHandle(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            CannotWriteBecause(path, GetLastError());
        }
        WriteAll(file.get(), text, path);
        return;
    }
    std::wstring name;
    // The new file, gone again unless it takes the old one's place (once closed: it is
    // made before the file's handle and so outlives it).
    Owned<const wchar_t*, &DeleteFileW> leftover;
    DWORD code = ERROR_SUCCESS;
    KernelHandle file = NewFileBeside(target, name, code);
    if (!file) {
        CannotWriteBecause(path, code);
    }
    leftover.reset(name.c_str());
    WriteAll(file.get(), text, path);
    file.reset();
    const DWORD kept = old == INVALID_FILE_ATTRIBUTES ? 0 : old & kKeptAttributes;
    if (kept != 0) {
        SetFileAttributesW(name.c_str(), kept);
    }
    if (!MoveFileExW(name.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        CannotWriteBecause(path, GetLastError());
    }
    leftover.release();
}

StoreMaker RegistryStoreAt(std::string keyPath) {
    return [keyPath = std::move(keyPath)] { return std::make_unique<RegistryStore>(keyPath); };
}

StoreMaker ChooseSettingsStore(const std::wstring& programPath, std::string keyPath) {
    const std::wstring file =
        programPath.substr(0, programPath.find_last_of(L"\\/") + 1) + kPortableFileName;
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return RegistryStoreAt(std::move(keyPath));
    }
    auto files = std::make_shared<const WindowsFiles>();
    return [path = Narrowed(file), files] { return std::make_unique<SettingsFile>(path, *files); };
}

StoreMaker ProgramSettingsStore() {
    try {
        return ChooseSettingsStore(RunningProgramPath());
    } catch (const Error&) {
        // Without its own path the program cannot look beside itself: the registry.
        return RegistryStoreAt();
    }
}

} // namespace lumivane::windows
