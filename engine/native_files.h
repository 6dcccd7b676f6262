// The few operating-system calls the Qt-free floors need, in one place: a POSIX half and a
// Windows half. Paths are UTF-8 strings everywhere above this file; here they become what the
// system takes (UTF-16 with the \\?\ prefix on Windows).
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace brevik::native {

// Why a call failed, as far as callers tell cases apart, and the system's own words.
enum class IoErrorKind : std::uint8_t { None, Exists, DiskFull, CrossDevice, Other };

struct IoError {
    IoErrorKind kind = IoErrorKind::None;
    std::string text;
    bool failed() const { return kind != IoErrorKind::None; }
};

// A UTF-8 path as a std::filesystem path; mingw's path(std::string) would read the ANSI code
// page instead.
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

#ifdef _WIN32
std::wstring wideFromUtf8(std::string_view utf8);
std::string utf8FromWide(std::wstring_view wide);
// `utf8` as a path for the wide file calls: absolute ones past MAX_PATH get the \\?\ prefix.
std::wstring widePath(std::string_view utf8);
// The text of a Windows error code; the common ones read as their POSIX twins do.
std::string errorText(unsigned long code);
#endif

// A file opened for writing; closed by the destructor when close() was not called.
class WritableFile {
  public:
    enum class Mode : std::uint8_t { Truncate, Exclusive };  // Exclusive: fails when it exists

    WritableFile() = default;
    ~WritableFile();
    WritableFile(WritableFile&& other) noexcept;
    WritableFile& operator=(WritableFile&& other) noexcept;
    WritableFile(const WritableFile&) = delete;
    WritableFile& operator=(const WritableFile&) = delete;

    // A `privateFile` is readable by its owner alone where the system keeps modes.
    IoError open(const std::string& path, Mode mode, bool privateFile = false);
    bool isOpen() const { return handle_ != kClosed; }
    IoError append(const void* data, std::size_t size);
    IoError writeAt(std::uint64_t offset, const void* data, std::size_t size);
    IoError resize(std::uint64_t size);
    IoError sync();
    IoError close();
    // Gives the open file the permissions and modification time of `source`.
    IoError copyAttributesFrom(const std::string& source);

  private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;  // a descriptor, or a HANDLE
};

// Renames `from` to `to`, replacing a file there. CrossDevice when they lie on different volumes.
IoError renameReplace(const std::string& from, const std::string& to);
// Removes a file; false when it could not (or was not there).
bool removeFile(const std::string& path);
// Makes one folder; Exists when something has that name already.
IoError makeFolder(const std::string& path);
// Makes `path` and the folders above it that are missing; fails when `path` is no folder then
// (the text may be empty).
IoError makeFolders(const std::string& path);
// Whether the process may create files in `folder`.
IoError checkWritableFolder(const std::string& folder);

enum class FileKind : std::uint8_t { Missing, Regular, Folder, Pipe, Socket, CharDevice, Other };
FileKind fileKind(const std::string& path);

// What names one file however it is reached (links, other spellings of its path): its device
// and inode, or its volume and file index; empty when the file cannot be asked.
std::string fileIdentity(const std::string& path);
// Whether `folder` lies on a kernel or device file system (/proc, /sys, /dev), which holds no
// user files and is slow to walk. Never on Windows.
bool isPseudoFileSystem(const std::string& folder);
// The user's home folder (HOME; USERPROFILE on Windows); empty when unknown.
std::string homeFolder();
// A tag naming the user who runs the process, for per-user folder names.
std::string userTag();

// `t` in the local time zone, and that zone's offset east of UTC in seconds at that moment.
bool localTime(std::time_t t, std::tm& local, long& offsetSeconds);
// The locale's short date ("%x"); empty when it cannot be written.
std::string shortDate(const std::tm& local);

std::uint32_t processId();
bool stderrIsTerminal();

// Ctrl-C (and SIGTERM, or closing the console on Windows) set `flag` from then on.
void installStopHandler(std::atomic<bool>& flag);

// The console takes UTF-8 and nothing rewrites line ends. No effect outside Windows.
void setUpConsole();
// The arguments as UTF-8: on Windows read again in UTF-16 from the command line, as `argv`
// holds them in the ANSI code page.
std::vector<std::string> utf8Arguments(int argc, char** argv);

}  // namespace brevik::native
