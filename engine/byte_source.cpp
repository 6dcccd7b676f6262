#include "engine/byte_source.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/native_files.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifdef BREVIK_IO_URING
#include <liburing.h>
#endif

namespace brevik {
namespace {

#ifdef BREVIK_IO_URING
// A thread's io_uring, made at its first batch. A thread whose ring cannot be made (a kernel
// without io_uring, or a sandbox that forbids it) reads with pread, as does one whose ring
// failed once.
class ThreadRing {
  public:
    static constexpr unsigned kEntries = 64;
    static constexpr unsigned kMaxWaitFailures = 1000;
    ThreadRing() { ready_ = ::io_uring_queue_init(kEntries, &ring_, 0) == 0; }
    ~ThreadRing() { close(); }
    ThreadRing(const ThreadRing&) = delete;
    ThreadRing& operator=(const ThreadRing&) = delete;
    io_uring* get() { return ready_ ? &ring_ : nullptr; }
    // Drops the ring, and with it whatever was queued and never handed to the kernel.
    void close() {
        if (ready_) ::io_uring_queue_exit(&ring_);
        ready_ = false;
    }

  private:
    io_uring ring_{};
    bool ready_ = false;
};
thread_local ThreadRing tRing;
#endif

}  // namespace

#ifdef _WIN32
std::unique_ptr<FileSource> FileSource::open(const std::string& path, std::string* errorText) {
    const std::wstring wide = native::widePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (errorText) *errorText = "is a directory";
        return nullptr;
    }
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (errorText) *errorText = native::errorText(::GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size)) {
        if (errorText) *errorText = native::errorText(::GetLastError());
        ::CloseHandle(h);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(reinterpret_cast<std::intptr_t>(h),
                                                      static_cast<std::uint64_t>(size.QuadPart)));
}

FileSource::~FileSource() {
    ::CloseHandle(reinterpret_cast<HANDLE>(file_));
}

// ReadFile with an offset in OVERLAPPED reads at that offset on a handle opened for
// synchronous use, as pread does; the handle's own position is never relied on.
bool FileSource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > size_ || out.size() > size_ - offset) return false;
    constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min(out.size() - done, kMaxChunk));
        if (!::ReadFile(reinterpret_cast<HANDLE>(file_), out.data() + done, chunk, &n, &position) ||
            n == 0)
            return false;
        done += n;
    }
    return true;
}

void FileSource::readBatch(std::span<BatchRead> reads) const {
    for (BatchRead& r : reads)
        r.ok = readExact(r.offset, r.out);
}

bool FileSource::cached(std::uint64_t) const {
    return false;
}

// No read-ahead hint is worth its cost here: the system's own read-ahead follows the pass.
void FileSource::willNeed(std::uint64_t, std::uint64_t) const {}

#else
std::unique_ptr<FileSource> FileSource::open(const std::string& path, std::string* errorText) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errorText) *errorText = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (errorText) *errorText = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        if (errorText) *errorText = "is a directory";
        ::close(fd);
        return nullptr;
    }
    off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) {
        if (errorText) *errorText = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<std::uint64_t>(end)));
}

FileSource::~FileSource() {
    ::close(static_cast<int>(file_));
}

bool FileSource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > size_ || out.size() > size_ - offset) return false;
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(static_cast<int>(file_), out.data() + done, out.size() - done,
                            static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void FileSource::readBatch(std::span<BatchRead> reads) const {
    std::size_t next = 0;  // reads before this are done
#ifdef BREVIK_IO_URING
    io_uring* ring = reads.size() > 1 ? tRing.get() : nullptr;
    while (ring && next < reads.size()) {
        const std::size_t end = std::min<std::size_t>(reads.size(), next + ThreadRing::kEntries);
        unsigned queued = 0;
        for (std::size_t k = next; k < end; ++k) {
            BatchRead& r = reads[k];
            r.ok = false;
            io_uring_sqe* sqe = nullptr;
            // Ranges past the end, empty ones and huge ones take the plain path.
            if (r.offset <= size_ && r.out.size() <= size_ - r.offset && !r.out.empty() &&
                r.out.size() <= INT_MAX)
                sqe = ::io_uring_get_sqe(ring);
            if (!sqe) {
                r.ok = readExact(r.offset, r.out);
                continue;
            }
            ::io_uring_prep_read(sqe, static_cast<int>(file_), r.out.data(),
                                 static_cast<unsigned>(r.out.size()), r.offset);
            ::io_uring_sqe_set_data(sqe, &r);
            ++queued;
        }
        unsigned submitted = 0;
        while (submitted < queued) {
            const int n = ::io_uring_submit(ring);
            if (n == -EINTR || n == -EAGAIN) continue;
            if (n <= 0) break;
            submitted += static_cast<unsigned>(n);
        }
        bool failed = submitted < queued;
        // Every read handed to the kernel is waited out, even after a failed wait: the kernel
        // may finish one into its buffer until its completion has been seen, and the caller
        // frees the buffers once this returns. Closing the ring would not wait for them, as the
        // kernel tears a ring down in the background. Only a wait that keeps failing for about
        // a second is given up.
        unsigned waitFailures = 0;
        for (unsigned done = 0; done < submitted;) {
            io_uring_cqe* cqe = nullptr;
            const int rc = ::io_uring_wait_cqe(ring, &cqe);
            if (rc < 0) {
                if (rc == -EINTR) continue;
                failed = true;
                if (++waitFailures > ThreadRing::kMaxWaitFailures) break;
                ::usleep(1000);
                continue;
            }
            waitFailures = 0;
            auto* r = static_cast<BatchRead*>(::io_uring_cqe_get_data(cqe));
            const int res = cqe->res;
            ::io_uring_cqe_seen(ring, cqe);
            ++done;
            if (res >= 0 && static_cast<std::size_t>(res) == r->out.size())
                r->ok = true;
            else if (res > 0)  // short: the rest as readExact would
                r->ok = readExact(r->offset + static_cast<std::uint64_t>(res),
                                  r->out.subspan(static_cast<std::size_t>(res)));
            else
                r->ok = readExact(r->offset, r->out);
        }
        if (failed) {
            // Dropping the ring drops what it never took. This group is then read plainly, as is
            // everything this thread reads from now on.
            tRing.close();
            ring = nullptr;
            break;
        }
        next = end;
    }
#endif
    for (; next < reads.size(); ++next)
        reads[next].ok = readExact(reads[next].offset, reads[next].out);
}

bool FileSource::cached(std::uint64_t offset) const {
    if (!canAskCache_.load(std::memory_order_relaxed)) return false;
    std::uint8_t byte;
    iovec part{&byte, 1};
    const ssize_t n =
        ::preadv2(static_cast<int>(file_), &part, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    if (n < 0 && (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL))
        canAskCache_.store(false, std::memory_order_relaxed);
    return n == 1;
}

void FileSource::willNeed(std::uint64_t offset, std::uint64_t length) const {
    if (offset >= size_ || length == 0) return;
    length = std::min(length, size_ - offset);
    // A hint walks the page cache over the whole range, which costs more than the reads it
    // helps when the file is in memory already: a range whose first, middle and last bytes are
    // there is taken to be there.
    const std::uint32_t streak = cachedStreak_.load(std::memory_order_relaxed);
    if (streak >= kTrustAfter && streak % kSampleEvery != 0) {
        cachedStreak_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (cached(offset) && cached(offset + length / 2) && cached(offset + length - 1)) {
        cachedStreak_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    cachedStreak_.store(0, std::memory_order_relaxed);
    ::posix_fadvise(static_cast<int>(file_), static_cast<off_t>(offset), static_cast<off_t>(length),
                    POSIX_FADV_WILLNEED);
}

#endif  // _WIN32

bool MemorySource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > image_.size() || out.size() > image_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), image_.data() + offset, out.size());
    return true;
}

FailingSource& FailingSource::failFrom(std::uint64_t offset) {
    failFrom_.store(offset);
    return *this;
}

FailingSource& FailingSource::failAfterReads(std::uint64_t count) {
    readsAllowed_.store(count);
    return *this;
}

FailingSource& FailingSource::failAfterBytes(std::uint64_t count) {
    bytesAllowed_.store(count);
    return *this;
}

FailingSource& FailingSource::failRange(std::uint64_t offset, std::uint64_t length) {
    std::lock_guard lock(mutex_);
    badRanges_.push_back({offset, length});
    return *this;
}

FailingSource& FailingSource::onRead(std::function<void(std::uint64_t)> hook) {
    hook_ = std::move(hook);
    return *this;
}

bool FailingSource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    const std::uint64_t number = reads_.fetch_add(1) + 1;
    if (hook_) hook_(number);
    // How much of the read can be served: it stops at the first byte that fails.
    std::uint64_t served = number > readsAllowed_.load() ? 0 : out.size();
    const std::uint64_t asked = bytesAsked_.fetch_add(out.size());
    const std::uint64_t budget = bytesAllowed_.load();
    served = std::min(served, budget > asked ? budget - asked : 0);
    const std::uint64_t end = failFrom_.load();
    served = std::min(served, end > offset ? end - offset : 0);
    {
        std::lock_guard lock(mutex_);
        for (const Range& bad : badRanges_) {
            // Written without sums, so that offsets near the top of the range cannot wrap.
            if (bad.offset >= offset && bad.offset - offset < served && bad.length > 0)
                served = bad.offset - offset;
            else if (bad.offset < offset && offset - bad.offset < bad.length)
                served = 0;
        }
    }
    const bool ok = inner_->readExact(offset, out.first(static_cast<std::size_t>(served))) &&
                    served == out.size();
    if (!ok) failed_.fetch_add(1);
    return ok;
}

void FailingSource::willNeed(std::uint64_t offset, std::uint64_t length) const {
    {
        std::lock_guard lock(mutex_);
        hints_.push_back({offset, length});
    }
    inner_->willNeed(offset, length);
}

std::vector<FailingSource::Range> FailingSource::hints() const {
    std::lock_guard lock(mutex_);
    return hints_;
}

}  // namespace brevik
