#include "app/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

RegularFile::~RegularFile()
{
    close();
}

#ifdef Q_OS_WIN

namespace {

// The path as CreateFileW takes it: absolute, with backslashes, and in the
// long form beyond MAX_PATH characters.
std::wstring systemPath(const QString &path)
{
    QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (native.size() >= MAX_PATH - 12 && !native.startsWith(QLatin1String("\\\\?\\"))) {
        if (native.startsWith(QLatin1String("\\\\")))
            native = QLatin1String("\\\\?\\UNC\\") + native.mid(2);
        else
            native = QLatin1String("\\\\?\\") + native;
    }
    return native.toStdWString();
}

// FILETIME counts 100 ns ticks from 1601; Qt counts milliseconds from 1970.
constexpr qint64 ticksFrom1601To1970 = 116444736000000000LL;

} // namespace

bool RegularFile::isRegular(const QString &path)
{
    // The device namespace holds pipes, consoles and volumes.
    if (path.isEmpty() || QDir::toNativeSeparators(path).startsWith(QLatin1String("\\\\.\\")))
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    return !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool RegularFile::open(const QString &path)
{
    close();
    if (path.isEmpty())
        return false;
    // Opening never waits here: a pipe's client end fails at once when the
    // pipe is busy, and a console or a port opens without data.
    HANDLE h = CreateFileW(systemPath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS; what is
    // left that is not on a disk is a pipe, a socket or a character device.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return false;
    }
    handle = h;
    return true;
}

void RegularFile::close()
{
    if (handle) {
        CloseHandle(static_cast<HANDLE>(handle));
        handle = nullptr;
    }
}

bool RegularFile::isOpen() const
{
    return handle != nullptr;
}

qint64 RegularFile::read(char *data, qint64 maxSize)
{
    if (!handle || maxSize < 0)
        return -1;
    DWORD got = 0;
    const DWORD want = DWORD(qMin<qint64>(maxSize, 1 << 30));
    if (!ReadFile(static_cast<HANDLE>(handle), data, want, &got, nullptr))
        return -1;
    return qint64(got);
}

bool RegularFile::facts(Facts *out) const
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(static_cast<HANDLE>(handle), &info))
        return false;
    out->size = qint64(quint64(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
    out->stamp = qint64(quint64(info.ftLastWriteTime.dwHighDateTime) << 32 |
                        info.ftLastWriteTime.dwLowDateTime);
    out->modified = QDateTime::fromMSecsSinceEpoch((out->stamp - ticksFrom1601To1970) / 10000);
    return true;
}

#else

namespace {

qint64 stampOf(const struct stat &st)
{
#ifdef Q_OS_DARWIN
    return qint64(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
}

} // namespace

bool RegularFile::isRegular(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

bool RegularFile::open(const QString &path)
{
    close();
    // Asked first without opening: opening some devices has effects of its
    // own (a tape rewinds, a watchdog starts counting).
    if (!isRegular(path))
        return false;
    // O_NONBLOCK keeps the open from waiting, should the path have become a
    // pipe or a device since; the type of what was opened decides.
    const QByteArray name = QFile::encodeName(path);
    int f;
    do {
        f = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (f < 0 && errno == EINTR);
    if (f < 0)
        return false;
    struct stat st;
    const int flags = ::fcntl(f, F_GETFL);
    if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(f, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(f);
        return false;
    }
    fd = f;
    return true;
}

void RegularFile::close()
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool RegularFile::isOpen() const
{
    return fd >= 0;
}

qint64 RegularFile::read(char *data, qint64 maxSize)
{
    if (fd < 0 || maxSize < 0)
        return -1;
    ssize_t got;
    do {
        got = ::read(fd, data, std::size_t(qMin<qint64>(maxSize, 1 << 30)));
    } while (got < 0 && errno == EINTR);
    return qint64(got);
}

bool RegularFile::facts(Facts *out) const
{
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return false;
    out->size = qint64(st.st_size);
    out->stamp = stampOf(st);
    out->modified = QDateTime::fromMSecsSinceEpoch(out->stamp / 1000000);
    return true;
}

#endif
