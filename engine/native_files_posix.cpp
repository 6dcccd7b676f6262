#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/native_files.h"

namespace brevik::native {
namespace {

IoError fromErrno(int e) {
    const IoErrorKind kind = e == EEXIST                                  ? IoErrorKind::Exists
                             : (e == ENOSPC || e == EFBIG || e == EDQUOT) ? IoErrorKind::DiskFull
                             : e == EXDEV                                 ? IoErrorKind::CrossDevice
                                                                          : IoErrorKind::Other;
    return {kind, std::strerror(e)};
}

std::atomic<bool>* stopFlag = nullptr;

extern "C" void onStopSignal(int) {
    if (stopFlag) stopFlag->store(true);
}

}  // namespace

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(utf8);
}

std::string utf8FromPath(const std::filesystem::path& path) {
    return path.string();
}

WritableFile::~WritableFile() {
    if (isOpen()) ::close(static_cast<int>(handle_));
}

WritableFile::WritableFile(WritableFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kClosed;
}

WritableFile& WritableFile::operator=(WritableFile&& other) noexcept {
    if (this != &other) {
        if (isOpen()) ::close(static_cast<int>(handle_));
        handle_ = other.handle_;
        other.handle_ = kClosed;
    }
    return *this;
}

IoError WritableFile::open(const std::string& path, Mode mode, bool privateFile) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, privateFile ? 0600 : 0644);
    if (fd < 0) return fromErrno(errno);
    if (isOpen()) ::close(static_cast<int>(handle_));
    handle_ = fd;
    return {};
}

IoError WritableFile::append(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fromErrno(n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

IoError WritableFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(static_cast<int>(handle_), p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fromErrno(n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return {};
}

IoError WritableFile::resize(std::uint64_t size) {
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) != 0)
        return fromErrno(errno);
    return {};
}

IoError WritableFile::sync() {
    if (::fsync(static_cast<int>(handle_)) != 0) return fromErrno(errno);
    return {};
}

IoError WritableFile::close() {
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    if (::close(fd) != 0) return fromErrno(errno);
    return {};
}

IoError WritableFile::copyAttributesFrom(const std::string& source) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) return fromErrno(errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(static_cast<int>(handle_), st.st_mode & 07777) != 0 ||
        ::futimens(static_cast<int>(handle_), times) != 0)
        return fromErrno(errno);
    return {};
}

IoError renameReplace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return fromErrno(errno);
    return {};
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

IoError makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0) return fromErrno(errno);
    return {};
}

IoError makeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec))
        return {IoErrorKind::Other, ec ? ec.message() : std::string()};
    return {};
}

IoError checkWritableFolder(const std::string& folder) {
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return fromErrno(errno);
    return {};
}

FileKind fileKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) return FileKind::Regular;
    if (S_ISDIR(st.st_mode)) return FileKind::Folder;
    if (S_ISFIFO(st.st_mode)) return FileKind::Pipe;
    if (S_ISSOCK(st.st_mode)) return FileKind::Socket;
    if (S_ISCHR(st.st_mode)) return FileKind::CharDevice;
    return FileKind::Other;
}

std::string fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool isPseudoFileSystem(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x9fa0:      // proc
        case 0x62656572:  // sysfs
        case 0x1cd1:      // devpts
        case 0x64626720:  // debugfs
        case 0x74726163:  // tracefs
        case 0x73636673:  // securityfs
        case 0x27e0eb:    // cgroup
        case 0x63677270:  // cgroup2
        case 0xcafe4a11:  // bpf
            return true;
        default:
            return folder == "/dev";
    }
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

std::string userTag() {
    return std::to_string(::getuid());
}

bool localTime(std::time_t t, std::tm& local, long& offsetSeconds) {
    if (!::localtime_r(&t, &local)) return false;
    offsetSeconds = local.tm_gmtoff;
    return true;
}

std::string shortDate(const std::tm& local) {
    char date[64] = {};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
    if (std::strftime(date, sizeof date, "%x", &local) == 0) date[0] = '\0';
#pragma GCC diagnostic pop
    return date;
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(::getpid());
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

void installStopHandler(std::atomic<bool>& flag) {
    stopFlag = &flag;
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

void setUpConsole() {}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

}  // namespace brevik::native
#endif
