#include "platform/win32/shortcut_entry.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include "platform/win32/system_text.h"

namespace velnor {
namespace {

// COM for the calls of one function, on the window's thread as on any other.
class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT result_;
};

// A shell link loaded from its file; released with it.
class ShellLink {
  public:
    ~ShellLink() {
        if (file_) file_->Release();
        if (link_) link_->Release();
    }
    HRESULT load(const std::wstring& path, DWORD mode) {
        HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IShellLinkW, reinterpret_cast<void**>(&link_));
        if (SUCCEEDED(result))
            result = link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_));
        if (SUCCEEDED(result)) result = file_->Load(path.c_str(), mode);
        return result;
    }
    IShellLinkW& link() { return *link_; }
    IPersistFile& file() { return *file_; }

  private:
    IShellLinkW* link_ = nullptr;
    IPersistFile* file_ = nullptr;
};

Problem shellProblem(std::u16string_view what, HRESULT result) {
    const DWORD code =
        HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : DWORD(result);
    return {code == ERROR_ACCESS_DENIED ? ProblemKind::Permission : ProblemKind::Other,
            std::u16string(what) + u": " + systemReason(code)};
}

}  // namespace

std::wstring startMenuShortcut() {
    wchar_t* programs = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Programs, 0, nullptr, &programs)))
        path = std::wstring(programs) + L"\\Velnor.lnk";
    CoTaskMemFree(programs);
    return path;
}

std::optional<std::wstring> shortcutArguments(const std::wstring& shortcut) {
    const ComScope com;
    ShellLink link;
    // As long as the longest arguments a start accepts.
    std::wstring arguments(32767, L'\0');
    if (FAILED(link.load(shortcut, STGM_READ)) ||
        FAILED(link.link().GetArguments(arguments.data(), int(arguments.size()))))
        return std::nullopt;
    arguments.resize(wcslen(arguments.c_str()));
    return arguments;
}

bool ShortcutEntry::enabled() {
    const auto arguments = shortcutArguments(shortcut_);
    return arguments && !arguments->empty();
}

std::u16string ShortcutEntry::place() {
    return utf16Text(shortcut_);
}

Result<> ShortcutEntry::enable(const std::vector<std::u16string>& arguments) {
    if (GetFileAttributesW(shortcut_.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::unexpected(
            Problem{ProblemKind::Missing,
                    u"there is no Start menu shortcut " + place() +
                        u" (a copy that was not installed has none), so nothing is written"});
    // The shell hands the arguments to the program as they stand: they hold no spaces.
    std::wstring line;
    for (const std::u16string& argument : arguments)
        line += (line.empty() ? L"" : L" ") + wideText(argument);
    return setArguments(line, u" cannot be written");
}

Result<> ShortcutEntry::disable() {
    if (GetFileAttributesW(shortcut_.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    return setArguments(L"", u" cannot be cleared");
}

Result<> ShortcutEntry::setArguments(const std::wstring& arguments, std::u16string_view cannot) {
    const ComScope com;
    ShellLink shortcut;
    HRESULT result = shortcut.load(shortcut_, STGM_READWRITE);
    if (SUCCEEDED(result)) result = shortcut.link().SetArguments(arguments.c_str());
    if (SUCCEEDED(result)) result = shortcut.file().Save(nullptr, TRUE);
    if (SUCCEEDED(result)) return {};
    return std::unexpected(shellProblem(place() + std::u16string(cannot), result));
}

}  // namespace velnor
