// lumivane_probe: reports what the end-to-end tests need to know about the
// windows, the registry and the processes of one Wine prefix, and pokes at them
// the way a user or the system would. Run it under the same WINEPREFIX as the
// program. Every command prints one JSON object on stdout; the exit code is 0 on
// success, 1 when the target is not there (or an operation failed) and 2 on bad
// arguments.
//
//   windows [--class C]                     top-level windows (hidden ones too)
//   find TARGET                             facts of one window
//   wait TARGET [--timeout MS] [--visible]  waits for it to show
//   children TARGET                         its child controls
//   post TARGET MSG WPARAM LPARAM           posts a message (numbers: decimal or 0x..)
//   trackbar TARGET POS                     moves a track bar as the user would
//   click TARGET                            presses a button (BM_CLICK)
//   accessible TARGET                       what a screen reader reads of its client area
//                                           (oleacc): role, name, value, state, and the
//                                           time now in the user's short format
//   resources TARGET | resources --pid N    handles and memory of its process,
//                                           counted where Wine keeps them (see Resources)
//   reg-dump KEY                            every value of HKCU\KEY
//   reg-set KEY NAME TYPE DATA [NAME TYPE DATA ...]   TYPE dword|qword|sz|binary
//   reg-delete KEY NAME [NAME ...]
//   reg-delete-key KEY
//   reg-read-only KEY | reg-writable KEY    the key's access list: reading alone for
//                                           everyone, or as inherited again
//   time | screen                           local time; display size, cursor, monitors
//   hold                                    sleeps until killed
//   folder local-appdata|programs           a folder of the user (programs: the Start menu's)
//   shortcut LNK                            the target and working folder of a shortcut
//   file-version FILE                       the version record of a program
//   msi-product CODE                        name, version, publisher and icon of an
//                                           installed product
//
// TARGET: --class C and/or --title T name a top-level window; --child-class C,
// --child-text T and --child-index N (default 0) then pick one of its children.
#include <windows.h>

#include <aclapi.h>
#include <commctrl.h>
#include <msi.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Args = std::vector<std::wstring>;

// Bad arguments: exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::string Quote(std::string_view utf8) {
    std::string result = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result + '"';
}

std::string Quote(std::wstring_view text) {
    return Quote(Utf8(text));
}

// A JSON object built member by member.
class Object {
  public:
    Object& Raw(std::string_view key, std::string json) {
        text_ += text_.empty() ? "{" : ",";
        text_ += Quote(key) + ":" + std::move(json);
        return *this;
    }
    Object& Text(std::string_view key, std::wstring_view text) { return Raw(key, Quote(text)); }
    Object& Number(std::string_view key, long long number) {
        return Raw(key, std::to_string(number));
    }
    Object& Flag(std::string_view key, bool flag) { return Raw(key, flag ? "true" : "false"); }
    std::string Json() const { return text_.empty() ? "{}" : text_ + "}"; }

  private:
    std::string text_;
};

// Prints the command's one line of output.
void Print(const Object& result) {
    std::printf("%s\n", result.Json().c_str());
}

std::string Array(const std::vector<std::string>& items) {
    std::string result = "[";
    for (size_t i = 0; i < items.size(); ++i)
        result += (i ? "," : "") + items[i];
    return result + "]";
}

std::string RectJson(const RECT& r) {
    return Array({std::to_string(r.left), std::to_string(r.top), std::to_string(r.right),
                  std::to_string(r.bottom)});
}

long long ParseNumber(const std::wstring& text) {
    size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size())
        throw UsageError("not a number: " + Utf8(text));
    return value;
}

// Takes "--name value" out of args.
std::optional<std::wstring> TakeOption(Args& args, const wchar_t* name) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            std::wstring value = args[i + 1];
            args.erase(args.begin() + static_cast<ptrdiff_t>(i),
                       args.begin() + static_cast<ptrdiff_t>(i) + 2);
            return value;
        }
    }
    return std::nullopt;
}

bool TakeFlag(Args& args, const wchar_t* name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + static_cast<ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

void ExpectCount(const Args& args, size_t count) {
    if (args.size() != count)
        throw UsageError("wrong number of arguments");
}

// Sending to another process can block while its thread is busy; never hang a test.
std::optional<LRESULT> SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT timeoutMs = 5000) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                             timeoutMs, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    if (!SendWithTimeout(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), 2000))
        return {};
    return text;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

struct Target {
    std::optional<std::wstring> className, title, childClass, childText;
    size_t childIndex = 0;
};

Target TakeTarget(Args& args) {
    Target target;
    target.className = TakeOption(args, L"--class");
    target.title = TakeOption(args, L"--title");
    target.childClass = TakeOption(args, L"--child-class");
    target.childText = TakeOption(args, L"--child-text");
    if (const auto index = TakeOption(args, L"--child-index"))
        target.childIndex = static_cast<size_t>(ParseNumber(*index));
    if (!target.className && !target.title)
        throw UsageError("a target needs --class or --title");
    return target;
}

HWND Resolve(const Target& target) {
    HWND window = FindWindowW(target.className ? target.className->c_str() : nullptr,
                              target.title ? target.title->c_str() : nullptr);
    if (!window || (!target.childClass && !target.childText))
        return window;
    size_t seen = 0;
    for (HWND child : ChildWindows(window)) {
        if (target.childClass && _wcsicmp(ClassOf(child).c_str(), target.childClass->c_str()) != 0)
            continue;
        if (target.childText && TextOf(child) != *target.childText)
            continue;
        if (seen++ == target.childIndex)
            return child;
    }
    return nullptr;
}

HWND ResolveOrFail(const Target& target) {
    HWND window = Resolve(target);
    if (!window)
        throw std::runtime_error("window not found");
    return window;
}

std::string TrackBarJson(HWND bar) {
    const auto pos = SendWithTimeout(bar, TBM_GETPOS, 0, 0);
    const auto low = SendWithTimeout(bar, TBM_GETRANGEMIN, 0, 0);
    const auto high = SendWithTimeout(bar, TBM_GETRANGEMAX, 0, 0);
    if (!pos || !low || !high)
        return "null";
    return Object().Number("pos", *pos).Number("min", *low).Number("max", *high).Json();
}

std::string LayeredJson(HWND window, DWORD exStyle) {
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!(exStyle & WS_EX_LAYERED) || !GetLayeredWindowAttributes(window, &key, &alpha, &flags))
        return "null";
    return Object().Number("key", key).Number("alpha", alpha).Number("flags", flags).Json();
}

// Rectangles are [left, top, right, bottom] in screen coordinates.
std::string WindowJson(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    const std::wstring className = ClassOf(window);
    Object facts;
    facts.Number("pid", pid)
        .Number("owner",
                static_cast<long long>(reinterpret_cast<uintptr_t>(GetWindow(window, GW_OWNER))))
        .Text("class", className)
        .Text("title", TextOf(window))
        .Flag("visible", IsWindowVisible(window))
        .Raw("window", RectJson(outer))
        .Raw("client", RectJson(client))
        .Number("style", style)
        .Number("exstyle", exStyle)
        .Raw("layered", LayeredJson(window, exStyle));
    if (GetParent(window))
        facts.Number("id", GetDlgCtrlID(window));
    if (_wcsicmp(className.c_str(), TRACKBAR_CLASSW) == 0)
        facts.Raw("trackbar", TrackBarJson(window));
    return facts.Json();
}

int Windows(Args& args) {
    const auto className = TakeOption(args, L"--class");
    ExpectCount(args, 0);
    std::vector<std::string> list;
    for (HWND window : TopLevelWindows())
        if (!className || _wcsicmp(ClassOf(window).c_str(), className->c_str()) == 0)
            list.push_back(WindowJson(window));
    Print(Object().Raw("windows", Array(list)));
    return 0;
}

int Wait(Args& args, ULONGLONG defaultTimeoutMs) {
    const Target target = TakeTarget(args);
    const auto timeout = TakeOption(args, L"--timeout");
    const bool visible = TakeFlag(args, L"--visible");
    ExpectCount(args, 0);
    const ULONGLONG limit =
        timeout ? static_cast<ULONGLONG>(ParseNumber(*timeout)) : defaultTimeoutMs;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        HWND window = Resolve(target);
        if (window && (!visible || IsWindowVisible(window))) {
            std::printf("%s\n", WindowJson(window).c_str());
            return 0;
        }
        if (GetTickCount64() - start >= limit)
            break;
        Sleep(50);
    }
    Print(Object().Text("error", L"window not found"));
    return 1;
}

int Children(Args& args) {
    HWND window = ResolveOrFail(TakeTarget(args));
    ExpectCount(args, 0);
    std::vector<std::string> list;
    for (HWND child : ChildWindows(window))
        list.push_back(WindowJson(child));
    Print(Object().Raw("children", Array(list)));
    return 0;
}

int Post(Args& args) {
    HWND window = ResolveOrFail(TakeTarget(args));
    ExpectCount(args, 3);
    const auto message = static_cast<UINT>(ParseNumber(args[0]));
    const auto wParam = static_cast<WPARAM>(ParseNumber(args[1]));
    const auto lParam = static_cast<LPARAM>(ParseNumber(args[2]));
    const bool ok = PostMessageW(window, message, wParam, lParam);
    Print(Object().Flag("posted", ok));
    return ok ? 0 : 1;
}

// The messages a track bar sends its parent when the user drops the thumb at a
// position: the new position, then the end of the movement.
int TrackBar(Args& args) {
    HWND bar = ResolveOrFail(TakeTarget(args));
    ExpectCount(args, 1);
    const auto pos = static_cast<WORD>(ParseNumber(args[0]));
    HWND parent = GetParent(bar);
    const auto barHandle = reinterpret_cast<LPARAM>(bar);
    SendWithTimeout(bar, TBM_SETPOS, TRUE, pos);
    const auto moved =
        SendWithTimeout(parent, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), barHandle);
    const auto ended = SendWithTimeout(parent, WM_HSCROLL, TB_ENDTRACK, barHandle);
    Print(Object().Raw("trackbar", TrackBarJson(bar)).Flag("timeout", !moved || !ended));
    return 0;
}

int Click(Args& args) {
    HWND button = ResolveOrFail(TakeTarget(args));
    ExpectCount(args, 0);
    // Posted: the click's handler may open a modal box, which must not hold up the probe.
    const bool ok = PostMessageW(button, BM_CLICK, 0, 0);
    Print(Object().Flag("posted", ok));
    return ok ? 0 : 1;
}

std::wstring ShortTimeNow() {
    wchar_t text[64] = {};
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, text, 64);
    return text;
}

// From another process, as a screen reader asks: the window answers WM_GETOBJECT and
// COM carries the object across.
int Accessible(Args& args) {
    HWND window = ResolveOrFail(TakeTarget(args));
    ExpectCount(args, 0);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* object = nullptr;
    const HRESULT found =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object));
    Object result;
    result.Number("hresult", found).Text("now", ShortTimeNow());
    if (object != nullptr) {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        const auto text = [&](const char* key,
                              HRESULT (STDMETHODCALLTYPE IAccessible::*read)(VARIANT, BSTR*)) {
            BSTR answer = nullptr;
            if ((object->*read)(self, &answer) == S_OK && answer != nullptr) {
                result.Text(key, answer);
                SysFreeString(answer);
            } else {
                result.Raw(key, "null");
            }
        };
        text("name", &IAccessible::get_accName);
        text("value", &IAccessible::get_accValue);
        VARIANT role{};
        VARIANT state{};
        object->get_accRole(self, &role);
        object->get_accState(self, &state);
        result.Number("role", role.vt == VT_I4 ? role.lVal : -1)
            .Number("state", state.vt == VT_I4 ? state.lVal : -1);
        object->Release();
    }
    Print(result);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return object != nullptr ? 0 : 1;
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// What a process holds, read from outside without running anything in it. Wine
// answers GetGuiResources, GetProcessHandleCount and the private bytes with 0,
// so these are counted from the sources Wine keeps them in:
//   gdi       entries in use in the process's GDI handle table (its PEB's
//             GdiSharedHandleTable, which Wine fills as Windows does), stock
//             objects included; -1 when there is no table to read
//   windows   windows of the process, top-level and child (the user objects
//             that can be enumerated; menus, icons and cursors cannot)
//   handles   kernel handles of the process in the system's handle list
//   private   committed private memory, bytes (VirtualQueryEx over its space)
// All counts are for a process of the probe's own bitness.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct SystemHandleEntry {
    USHORT UniqueProcessId;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectTypeIndex;
    UCHAR HandleAttributes;
    USHORT HandleValue;
    PVOID Object;
    ULONG GrantedAccess;
};

struct ProcessBasics {
    LONG ExitStatus;
    PVOID PebBaseAddress;
    ULONG_PTR AffinityMask;
    LONG BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFromUniqueProcessId;
};

template <class Function> Function NtdllFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

long long KernelHandles(DWORD pid) {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = NtdllFunction<Query>("NtQuerySystemInformation");
    if (!query)
        return -1;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0)
            return -1;
        break;
    }
    // ULONG NumberOfHandles, then the entries at the alignment of a pointer.
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const size_t first = sizeof(void*) == 8 ? 8 : 4;
    long long mine = 0;
    for (ULONG i = 0; i < count; ++i) {
        SystemHandleEntry entry;
        const size_t at = first + i * sizeof entry;
        if (at + sizeof entry > buffer.size())
            break;
        std::memcpy(&entry, buffer.data() + at, sizeof entry);
        if (entry.UniqueProcessId == static_cast<USHORT>(pid))
            ++mine;
    }
    return mine;
}

long long GdiObjects(HANDLE process) {
    using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    const auto query = NtdllFunction<Query>("NtQueryInformationProcess");
    ProcessBasics basics{};
    if (!query || query(process, 0, &basics, sizeof basics, nullptr) != 0)
        return -1;
    // Where the PEB keeps the table's address. A 32-bit process on a 64-bit
    // system may keep it only in its 64-bit PEB, the page below the 32-bit one.
    auto* peb = static_cast<char*>(basics.PebBaseAddress);
    uint64_t table = 0;
    SIZE_T read = 0;
    if (sizeof(void*) == 8) {
        ReadProcessMemory(process, peb + 0xF8, &table, sizeof table, &read);
    } else {
        uint32_t table32 = 0;
        ReadProcessMemory(process, peb + 0x94, &table32, sizeof table32, &read);
        table = table32;
        if (table == 0)
            ReadProcessMemory(process, peb - 0x1000 + 0xF8, &table, sizeof table, &read);
    }
    if (table == 0 || table > UINTPTR_MAX)
        return -1;
    // 0x10000 entries of 24 bytes: the object (8), the owner (4), the unique
    // word (2), the type (1), flags (1), the user pointer (8). A type of 0 is free.
    constexpr size_t kEntries = 0x10000;
    constexpr size_t kEntrySize = 24;
    constexpr size_t kTypeOffset = 14;
    std::vector<unsigned char> entries(kEntries * kEntrySize);
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(table)),
                           entries.data(), entries.size(), &read))
        return -1;
    long long used = 0;
    for (size_t i = 0; i < read / kEntrySize; ++i)
        used += entries[i * kEntrySize + kTypeOffset] != 0;
    return used;
}

long long PrivateCommitted(HANDLE process) {
    long long bytes = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* at = static_cast<char*>(nullptr);
         VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            bytes += static_cast<long long>(region.RegionSize);
        char* next = static_cast<char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return bytes;
}

BOOL CALLBACK CountWindowsOf(HWND window, LPARAM data) {
    auto* count = reinterpret_cast<std::pair<DWORD, long long>*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == count->first)
        ++count->second;
    return TRUE;
}

long long WindowsOf(DWORD pid) {
    std::pair<DWORD, long long> count{pid, 0};
    for (HWND window : TopLevelWindows()) {
        CountWindowsOf(window, reinterpret_cast<LPARAM>(&count));
        EnumChildWindows(window, CountWindowsOf, reinterpret_cast<LPARAM>(&count));
    }
    return count.second;
}

int Resources(Args& args) {
    DWORD pid = 0;
    if (const auto given = TakeOption(args, L"--pid"))
        pid = static_cast<DWORD>(ParseNumber(*given));
    else
        GetWindowThreadProcessId(ResolveOrFail(TakeTarget(args)), &pid);
    ExpectCount(args, 0);
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process)
        throw std::runtime_error("cannot open process " + std::to_string(pid));
    Print(Object()
              .Number("pid", pid)
              .Number("gdi", GdiObjects(process.get()))
              .Number("windows", WindowsOf(pid))
              .Number("handles", KernelHandles(pid))
              .Number("private", PrivateCommitted(process.get())));
    return 0;
}

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

std::string Hex(const BYTE* data, DWORD size) {
    std::string result;
    for (DWORD i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        result += pair;
    }
    return result;
}

// A value as its type, its decoded value where the type has one, and its raw bytes.
std::string ValueJson(DWORD type, const BYTE* data, DWORD size) {
    Object value;
    if (type == REG_DWORD && size == 4) {
        int32_t number = 0;
        memcpy(&number, data, 4);
        value.Text("type", L"dword").Number("value", number);
    } else if (type == REG_QWORD && size == 8) {
        int64_t number = 0;
        memcpy(&number, data, 8);
        value.Text("type", L"qword").Number("value", number);
    } else if (type == REG_SZ && size % 2 == 0) {
        std::wstring text(size / 2, L'\0');
        memcpy(text.data(), data, size);
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        value.Text("type", L"sz").Text("value", text);
    } else if (type == REG_BINARY) {
        value.Text("type", L"binary");
    } else {
        value.Number("type", type);
    }
    return value.Raw("data", Quote(Hex(data, size))).Json();
}

int RegDump(Args& args) {
    ExpectCount(args, 1);
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, args[0].c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        Print(Object().Flag("exists", false).Raw("values", "{}"));
        return 0;
    }
    UniqueKey key(raw);
    Object values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, size = 0;
        if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size + 2);
        nameLength = 256;
        if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, data.data(),
                          &size) != ERROR_SUCCESS)
            break;
        values.Raw(Utf8(name), ValueJson(type, data.data(), size));
    }
    Print(Object().Flag("exists", true).Raw("values", values.Json()));
    return 0;
}

std::vector<BYTE> ParseHex(const std::wstring& text) {
    if (text.size() % 2)
        throw UsageError("binary data needs an even number of hex digits");
    std::vector<BYTE> bytes;
    for (size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(ParseNumber(L"0x" + text.substr(i, 2))));
    return bytes;
}

template <typename Number> std::vector<BYTE> LittleEndian(Number value) {
    std::vector<BYTE> bytes(sizeof value);
    memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

int RegSet(Args& args) {
    if (args.size() < 4 || (args.size() - 1) % 3 != 0)
        throw UsageError("reg-set KEY NAME TYPE DATA [NAME TYPE DATA ...]");
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, args[0].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create key");
    UniqueKey key(raw);
    for (size_t i = 1; i < args.size(); i += 3) {
        const std::wstring& name = args[i];
        const std::wstring& type = args[i + 1];
        const std::wstring& text = args[i + 2];
        std::vector<BYTE> data;
        DWORD regType = 0;
        if (type == L"dword") {
            data = LittleEndian(static_cast<uint32_t>(ParseNumber(text)));
            regType = REG_DWORD;
        } else if (type == L"qword") {
            data = LittleEndian(static_cast<uint64_t>(ParseNumber(text)));
            regType = REG_QWORD;
        } else if (type == L"sz") {
            const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
            data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
            regType = REG_SZ;
        } else if (type == L"binary") {
            data = ParseHex(text);
            regType = REG_BINARY;
        } else {
            throw UsageError("unknown value type " + Utf8(type));
        }
        if (RegSetValueExW(key.get(), name.c_str(), 0, regType, data.data(),
                           static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
            throw std::runtime_error("cannot write " + Utf8(name));
    }
    Print(Object().Number("written", static_cast<long long>(args.size() / 3)));
    return 0;
}

int RegDelete(Args& args) {
    if (args.size() < 2)
        throw UsageError("reg-delete KEY NAME [NAME ...]");
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, args[0].c_str(), 0, KEY_ALL_ACCESS, &raw) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open key");
    UniqueKey key(raw);
    long long deleted = 0;
    for (size_t i = 1; i < args.size(); ++i)
        deleted += RegDeleteValueW(key.get(), args[i].c_str()) == ERROR_SUCCESS;
    Print(Object().Number("deleted", deleted));
    return 0;
}

int RegDeleteKey(Args& args) {
    ExpectCount(args, 1);
    const bool deleted = RegDeleteTreeW(HKEY_CURRENT_USER, args[0].c_str()) == ERROR_SUCCESS &&
                         RegDeleteKeyW(HKEY_CURRENT_USER, args[0].c_str()) == ERROR_SUCCESS;
    Print(Object().Flag("deleted", deleted));
    return 0;
}

// Protects the key's access list with one entry, everyone may read (the owner may always
// change the list again), or gives it back to what its parent passes on.
int RegAccess(Args& args, bool readOnly) {
    ExpectCount(args, 1);
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, args[0].c_str(), 0, WRITE_DAC, &raw) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open key");
    UniqueKey key(raw);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    PACL acl = nullptr;
    EXPLICIT_ACCESSW read{};
    if (readOnly) {
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        read.grfAccessPermissions = KEY_READ;
        read.grfAccessMode = SET_ACCESS;
        read.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        read.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        read.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
        SetEntriesInAclW(1, &read, nullptr, &acl);
    }
    const DWORD set = SetSecurityInfo(key.get(), SE_REGISTRY_KEY,
                                      DACL_SECURITY_INFORMATION |
                                          (readOnly ? PROTECTED_DACL_SECURITY_INFORMATION
                                                    : UNPROTECTED_DACL_SECURITY_INFORMATION),
                                      nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    if (everyone != nullptr)
        FreeSid(everyone);
    if (set != ERROR_SUCCESS)
        throw std::runtime_error("cannot set the access list");
    Print(Object().Flag("read-only", readOnly));
    return 0;
}

int Time(Args& args) {
    ExpectCount(args, 0);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    Print(Object()
              .Number("hour", now.wHour)
              .Number("minute", now.wMinute)
              .Number("second", now.wSecond)
              .Number("ms", now.wMilliseconds));
    return 0;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        reinterpret_cast<std::vector<std::string>*>(list)->push_back(
            Object()
                .Raw("rect", RectJson(info.rcMonitor))
                .Raw("work", RectJson(info.rcWork))
                .Flag("primary", info.dwFlags & MONITORINFOF_PRIMARY)
                .Json());
    return TRUE;
}

int Screen(Args& args) {
    ExpectCount(args, 0);
    POINT cursor{};
    GetCursorPos(&cursor);
    std::vector<std::string> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    Print(Object()
              .Number("width", GetSystemMetrics(SM_CXSCREEN))
              .Number("height", GetSystemMetrics(SM_CYSCREEN))
              .Raw("cursor", Array({std::to_string(cursor.x), std::to_string(cursor.y)}))
              .Raw("monitors", Array(monitors)));
    return 0;
}

// While a program of the prefix runs, its desktop process stays, and so does the
// X root window's background, which the desktop resets when it ends. It says when
// it runs: as the prefix's first process it brings up the prefix's services, and
// the harness lets nothing race it.
int Hold(Args& args) {
    ExpectCount(args, 0);
    Print(Object().Raw("holding", "true"));
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}

int Folder(Args& args) {
    ExpectCount(args, 1);
    const KNOWNFOLDERID* id = args[0] == L"local-appdata" ? &FOLDERID_LocalAppData
                              : args[0] == L"programs"    ? &FOLDERID_Programs
                                                          : nullptr;
    if (id == nullptr)
        throw UsageError("unknown folder " + Utf8(args[0]));
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(*id, 0, nullptr, &path);
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(path, &CoTaskMemFree);
    if (FAILED(result))
        throw std::runtime_error("no such folder");
    Print(Object().Text("path", path));
    return 0;
}

template <class Interface> struct Released {
    void operator()(Interface* object) const { object->Release(); }
};

int Shortcut(Args& args) {
    ExpectCount(args, 1);
    if (FAILED(CoInitialize(nullptr)))
        throw std::runtime_error("no COM");
    IShellLinkW* rawLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&rawLink))))
        throw std::runtime_error("no shell link object");
    const std::unique_ptr<IShellLinkW, Released<IShellLinkW>> link(rawLink);
    IPersistFile* rawFile = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile))))
        throw std::runtime_error("no IPersistFile");
    const std::unique_ptr<IPersistFile, Released<IPersistFile>> file(rawFile);
    if (FAILED(file->Load(args[0].c_str(), STGM_READ)))
        throw std::runtime_error("cannot read the shortcut");
    wchar_t target[MAX_PATH] = {};
    wchar_t directory[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(directory, MAX_PATH);
    Print(Object().Text("target", target).Text("directory", directory));
    return 0;
}

int FileVersion(Args& args) {
    ExpectCount(args, 1);
    DWORD ignored = 0;
    std::vector<BYTE> record(GetFileVersionInfoSizeW(args[0].c_str(), &ignored));
    if (record.empty() ||
        !GetFileVersionInfoW(args[0].c_str(), 0, static_cast<DWORD>(record.size()), record.data()))
        throw std::runtime_error("no version record");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &size))
        throw std::runtime_error("no fixed version");
    Object result;
    result.Raw("fixed", Array({std::to_string(HIWORD(fixed->dwFileVersionMS)),
                               std::to_string(LOWORD(fixed->dwFileVersionMS)),
                               std::to_string(HIWORD(fixed->dwFileVersionLS)),
                               std::to_string(LOWORD(fixed->dwFileVersionLS))}));
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"CompanyName"}) {
        wchar_t* text = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (VerQueryValueW(record.data(), query.c_str(), reinterpret_cast<void**>(&text), &size))
            result.Text(Utf8(name), text);
    }
    Print(result);
    return 0;
}

int MsiProduct(Args& args) {
    ExpectCount(args, 1);
    Object product;
    const std::pair<const char*, const wchar_t*> properties[] = {
        {"name", INSTALLPROPERTY_INSTALLEDPRODUCTNAME},
        {"version", INSTALLPROPERTY_VERSIONSTRING},
        {"publisher", INSTALLPROPERTY_PUBLISHER},
        {"icon", INSTALLPROPERTY_PRODUCTICON}};
    for (const auto& [key, property] : properties) {
        wchar_t value[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        if (MsiGetProductInfoW(args[0].c_str(), property, value, &length) == ERROR_SUCCESS)
            product.Text(key, value);
    }
    Print(product);
    return 0;
}

int Run(const std::wstring& command, Args& args) {
    if (command == L"windows")
        return Windows(args);
    if (command == L"find")
        return Wait(args, 0);
    if (command == L"wait")
        return Wait(args, 10000);
    if (command == L"children")
        return Children(args);
    if (command == L"post")
        return Post(args);
    if (command == L"trackbar")
        return TrackBar(args);
    if (command == L"accessible")
        return Accessible(args);
    if (command == L"click")
        return Click(args);
    if (command == L"resources")
        return Resources(args);
    if (command == L"reg-dump")
        return RegDump(args);
    if (command == L"reg-set")
        return RegSet(args);
    if (command == L"reg-delete")
        return RegDelete(args);
    if (command == L"reg-delete-key")
        return RegDeleteKey(args);
    if (command == L"reg-read-only" || command == L"reg-writable")
        return RegAccess(args, command == L"reg-read-only");
    if (command == L"time")
        return Time(args);
    if (command == L"screen")
        return Screen(args);
    if (command == L"hold")
        return Hold(args);
    if (command == L"folder")
        return Folder(args);
    if (command == L"shortcut")
        return Shortcut(args);
    if (command == L"file-version")
        return FileVersion(args);
    if (command == L"msi-product")
        return MsiProduct(args);
    throw UsageError("unknown command " + Utf8(command));
}

void PrintError(const char* message) {
    Print(Object().Raw("error", Quote(message)));
}

} // namespace

int main() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    if (!argv || count < 2) {
        PrintError("usage: lumivane_probe COMMAND [ARGUMENTS]");
        return 2;
    }
    Args args(argv.get() + 2, argv.get() + count);
    try {
        return Run(argv.get()[1], args);
    } catch (const UsageError& error) {
        PrintError(error.what());
        return 2;
    } catch (const std::exception& error) {
        PrintError(error.what());
        return 1;
    }
}
