#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/native_files.h"

namespace brevik::native {
namespace {

IoError lastError() {
    const DWORD code = ::GetLastError();
    const IoErrorKind kind =
        (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)   ? IoErrorKind::Exists
        : (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL) ? IoErrorKind::DiskFull
        : code == ERROR_NOT_SAME_DEVICE                               ? IoErrorKind::CrossDevice
                                                                      : IoErrorKind::Other;
    return {kind, errorText(code)};
}

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// WriteFile takes 32-bit lengths.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

std::atomic<bool>* stopFlag = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (!stopFlag) return FALSE;
    stopFlag->store(true);
    // Closing the console ends the process once this returns: a moment for the stop to remove
    // the working files first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::Sleep(3000);
    return TRUE;
}

}  // namespace

std::wstring wideFromUtf8(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                              n);
    return out;
}

std::string utf8FromWide(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                              nullptr, nullptr);
    return out;
}

std::wstring widePath(std::string_view utf8) {
    std::wstring wide = wideFromUtf8(utf8);
    // Folders stop at MAX_PATH less room for an 8.3 name; files at MAX_PATH.
    if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
    const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::wstring full(n, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (written == 0 || written >= n) return wide;
    full.resize(written);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string errorText(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return std::strerror(ENOENT);
        case ERROR_ACCESS_DENIED:
            return std::strerror(EACCES);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::strerror(EEXIST);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::strerror(ENOSPC);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "the file is in use by another program";
        default:
            break;
    }
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? utf8FromWide(std::wstring_view(text, n)) : std::string();
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "Windows error " + std::to_string(code) : out;
}

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(wideFromUtf8(utf8));
}

std::string utf8FromPath(const std::filesystem::path& path) {
    return utf8FromWide(path.native());
}

WritableFile::~WritableFile() {
    if (isOpen()) ::CloseHandle(asHandle(handle_));
}

WritableFile::WritableFile(WritableFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kClosed;
}

WritableFile& WritableFile::operator=(WritableFile&& other) noexcept {
    if (this != &other) {
        if (isOpen()) ::CloseHandle(asHandle(handle_));
        handle_ = other.handle_;
        other.handle_ = kClosed;
    }
    return *this;
}

IoError WritableFile::open(const std::string& path, Mode mode, bool /*privateFile*/) {
    const HANDLE h = ::CreateFileW(
        widePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        mode == Mode::Exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError();
    if (isOpen()) ::CloseHandle(asHandle(handle_));
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return {};
}

IoError WritableFile::append(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min(size, kMaxChunk));
        if (!::WriteFile(asHandle(handle_), p, chunk, &n, nullptr)) return lastError();
        if (n == 0) return {IoErrorKind::DiskFull, std::strerror(ENOSPC)};
        p += n;
        size -= n;
    }
    return {};
}

IoError WritableFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min(size, kMaxChunk));
        if (!::WriteFile(asHandle(handle_), p, chunk, &n, &at)) return lastError();
        if (n == 0) return {IoErrorKind::DiskFull, std::strerror(ENOSPC)};
        p += n;
        size -= n;
        offset += n;
    }
    return {};
}

IoError WritableFile::resize(std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(asHandle(handle_), FileEndOfFileInfo, &end, sizeof end))
        return lastError();
    return {};
}

IoError WritableFile::sync() {
    if (!::FlushFileBuffers(asHandle(handle_))) return lastError();
    return {};
}

IoError WritableFile::close() {
    const HANDLE h = asHandle(handle_);
    handle_ = kClosed;
    if (!::CloseHandle(h)) return lastError();
    return {};
}

IoError WritableFile::copyAttributesFrom(const std::string& source) {
    const HANDLE from = ::CreateFileW(widePath(source).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (from == INVALID_HANDLE_VALUE) return lastError();
    FILETIME created{}, accessed{}, written{};
    const bool read = ::GetFileTime(from, &created, &accessed, &written) != 0;
    ::CloseHandle(from);
    if (!read || !::SetFileTime(asHandle(handle_), &created, &accessed, &written))
        return lastError();
    return {};
}

IoError renameReplace(const std::string& from, const std::string& to) {
    if (!::MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastError();
    return {};
}

bool removeFile(const std::string& path) {
    return ::DeleteFileW(widePath(path).c_str()) != 0;
}

IoError makeFolder(const std::string& path) {
    if (!::CreateDirectoryW(widePath(path).c_str(), nullptr)) return lastError();
    return {};
}

IoError makeFolders(const std::string& path) {
    // Each folder on the way, with the calls that take long paths; a drive ("C:") and the
    // server and share of a network path ("\\\\host\\share") are there or not at all.
    const bool network = path.starts_with("\\\\") || path.starts_with("//");
    int separators = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/' && path[i] != '\\') continue;
        ++separators;
        const std::string folder = path.substr(0, i);
        if (folder.empty() || folder.back() == ':' || folder.back() == '/' ||
            folder.back() == '\\' || (network && separators <= 4) ||
            fileKind(folder) == FileKind::Folder)
            continue;
        if (const IoError e = makeFolder(folder); e.failed() && e.kind != IoErrorKind::Exists)
            return e;
    }
    if (fileKind(path) != FileKind::Folder) return {IoErrorKind::Other, std::strerror(ENOTDIR)};
    return {};
}

IoError checkWritableFolder(const std::string& folder) {
    // The read-only attribute means nothing on a folder, and access lists are only known by
    // trying: a folder that exists passes, and a refused create says why later.
    const DWORD attributes = ::GetFileAttributesW(widePath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return lastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {IoErrorKind::Other, std::strerror(ENOTDIR)};
    return {};
}

FileKind fileKind(const std::string& path) {
    const std::wstring wide = widePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FileKind::Folder;
    // Devices (NUL, CON, COM1) and pipes have no attributes of their own: ask the handle.
    const HANDLE h =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return attributes == INVALID_FILE_ATTRIBUTES ? FileKind::Missing : FileKind::Regular;
    const DWORD type = ::GetFileType(h);
    ::CloseHandle(h);
    switch (type) {
        case FILE_TYPE_DISK:
            return FileKind::Regular;
        case FILE_TYPE_CHAR:
            return FileKind::CharDevice;
        case FILE_TYPE_PIPE:
            return FileKind::Pipe;
        default:
            return FileKind::Other;
    }
}

std::string fileIdentity(const std::string& path) {
    // Folders open only with backup semantics; no access is asked for, only the file's index.
    const HANDLE h = ::CreateFileW(widePath(path).c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok) return {};
    return std::to_string(info.dwVolumeSerialNumber) + ":" +
           std::to_string((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
}

bool isPseudoFileSystem(const std::string&) {
    return false;
}

namespace {

std::string environment(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    return value ? utf8FromWide(value) : std::string();
}

}  // namespace

std::string homeFolder() {
    return environment(L"USERPROFILE");
}

std::string userTag() {
    return environment(L"USERNAME");
}

bool localTime(std::time_t t, std::tm& local, long& offsetSeconds) {
    // The C runtime's localtime_s knows only 1970 to 3000; the system's own calls take every
    // FILETIME from 1601 on, the range items carry.
    constexpr std::int64_t kUnixToFiletimeSeconds = 11644473600;
    constexpr std::int64_t kTicksPerSecond = 10000000;
    const std::int64_t seconds = static_cast<std::int64_t>(t) + kUnixToFiletimeSeconds;
    if (seconds < 0 || seconds > INT64_MAX / kTicksPerSecond) return false;
    const auto ticks = static_cast<std::uint64_t>(seconds * kTicksPerSecond);
    const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utcFields{}, localFields{};
    FILETIME localTicks{};
    if (!::FileTimeToSystemTime(&utc, &utcFields) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utcFields, &localFields) ||
        !::SystemTimeToFileTime(&localFields, &localTicks))
        return false;
    const std::uint64_t localValue =
        (std::uint64_t{localTicks.dwHighDateTime} << 32) | localTicks.dwLowDateTime;
    offsetSeconds = static_cast<long>(
        (static_cast<std::int64_t>(localValue) - static_cast<std::int64_t>(ticks)) /
        kTicksPerSecond);
    static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int year = localFields.wYear;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    local = std::tm{};
    local.tm_year = year - 1900;
    local.tm_mon = localFields.wMonth - 1;
    local.tm_mday = localFields.wDay;
    local.tm_hour = localFields.wHour;
    local.tm_min = localFields.wMinute;
    local.tm_sec = localFields.wSecond;
    local.tm_wday = localFields.wDayOfWeek;
    local.tm_yday = kDaysBefore[local.tm_mon] + local.tm_mday - 1 + (leap && local.tm_mon > 1);
    local.tm_isdst = -1;
    return true;
}

std::string shortDate(const std::tm& local) {
    // The program keeps the C locale, whose "%x" is "%m/%d/%y"; written here, as the C runtime's
    // strftime refuses years before 1900 (and may end the process over them).
    char date[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", (local.tm_mon + 1) % 100,
                  local.tm_mday % 100, ((local.tm_year + 1900) % 100 + 100) % 100);
    return date;
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(::GetCurrentProcessId());
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void installStopHandler(std::atomic<bool>& flag) {
    if (stopFlag == &flag) return;
    stopFlag = &flag;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void setUpConsole() {
    // The console's code page outlives the program: the one it had comes back at exit.
    static UINT previous = ::GetConsoleOutputCP();
    if (previous != 0 && previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit([] { ::SetConsoleOutputCP(previous); });
    // Text mode would turn every "\n" of a message body into "\r\n", and "\r\n" into "\r\r\n".
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back(utf8FromWide(wide[i]));
    ::LocalFree(wide);
    return out;
}

}  // namespace brevik::native
#endif
