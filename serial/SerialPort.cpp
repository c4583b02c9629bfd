#include "serial/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>

const std::string ERR_MSG_PORT_NOT_OPEN = "Serial port not open.";
const std::string ERR_MSG_PORT_ALREADY_OPEN = "Serial port already open.";
const std::string ERR_MSG_UNSUPPORTED_BAUD = "Unsupported baud rate.";
const std::string ERR_MSG_INVALID_PARITY = "Invalid parity setting.";
const std::string ERR_MSG_INVALID_STOP_BITS = "Invalid number of stop bits.";
const std::string ERR_MSG_INVALID_FLOW_CONTROL = "Invalid flow control.";

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

// A reader whose port is closed under it waits this long for a reopen
// (the transports reopen the line after a write failure) before failing.
constexpr std::chrono::milliseconds kReopenGrace{1000};

std::string systemText(int error) { return std::strerror(error); }

Deadline deadlineAfter(unsigned timeoutMs)
{
    if (timeoutMs == 0)
        return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

bool passed(const Deadline& deadline) { return deadline && Clock::now() >= *deadline; }

// Poll time-out for the rest of the wait, rounded up so poll never ends early.
int remainingPollMs(const Deadline& deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

} // namespace

class SerialPort::SerialPortImpl {
public:
    enum class Wake { Ready, HangUp, TimedOut, Closed, Failed };

    explicit SerialPortImpl(const std::string& portName) : name(portName)
    {
        wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0)
            throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~SerialPortImpl() { ::close(wakeFd); }

    termios saved{};

    void setName(const std::string& portName)
    {
        std::lock_guard<std::mutex> lock(mutex);
        name = portName;
    }

    void requireOpen() const
    {
        if (!isOpen())
            throw NotOpen();
    }

    // Runs a short operation on the descriptor of the open port.
    template <class Operation>
    auto withFd(Operation operation) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!open)
            throw NotOpen();
        return operation(fd);
    }

    bool isOpen() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return open;
    }

    void openDevice()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (open)
            throw AlreadyOpen();
        const int device = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (device < 0)
            throw OpenFailed(systemText(errno));
        if (::tcgetattr(device, &saved) != 0)
            failOpen(device);
        termios raw{};
        ::cfmakeraw(&raw);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        raw.c_oflag = 0;
        raw.c_lflag = 0;
        raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB);
        raw.c_cflag |= CS8 | CREAD | CLOCAL;
        if (::tcsetattr(device, TCSANOW, &raw) != 0)
            failOpen(device);
        ::tcflush(device, TCIOFLUSH);
        fd = device;
        open = true;
        changed.notify_all();
    }

    void closeDevice()
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!open)
            throw NotOpen();
        open = false;
        // Wake every thread waiting on the line and let it step off the descriptor
        // before it is closed: the number may be reused at once.
        const uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
        changed.wait(lock, [this] { return users == 0; });
        ::tcsetattr(fd, TCSANOW, &saved);
        ::close(fd);
        fd = -1;
        uint64_t count;
        (void)!::read(wakeFd, &count, sizeof count);
        changed.notify_all();
    }

    // Up to `length` bytes, waiting until `deadline` for the first of them.
    // Returns the count, 0 when the deadline passed, -1 with errno on failure
    // (EBADF when the port was closed and not reopened).
    ssize_t readSome(unsigned char* out, size_t length, const Deadline& deadline)
    {
        bool closedUnderUs = false;
        bool hangUpReported = false;
        bool hungUp = false;
        for (;;) {
            const int device = acquire(closedUnderUs ? graceUntil(deadline) : std::nullopt);
            if (device < 0) {
                errno = EBADF;
                return -1;
            }
            if (closedUnderUs) // a reopened line starts afresh
                hungUp = false;
            closedUnderUs = false;
            const ssize_t n = ::read(device, out, length);
            if (n > 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                const int error = errno;
                release();
                errno = error;
                return n;
            }
            // A hung-up line reports itself readable and reads empty for ever:
            // from then on only a close or the deadline ends the wait.
            hungUp = hungUp || hangUpReported;
            if (passed(deadline)) {
                release();
                return 0;
            }
            const Wake wake = waitFor(device, POLLIN, deadline, !hungUp);
            const int error = errno;
            release();
            if (wake == Wake::Failed) {
                errno = error;
                return -1;
            }
            closedUnderUs = wake == Wake::Closed;
            hangUpReported = wake == Wake::HangUp;
        }
    }

    // Writes some of the bytes, waiting without limit for room on the line.
    ssize_t writeSome(const unsigned char* data, size_t length)
    {
        for (;;) {
            const int device = acquire(std::nullopt);
            if (device < 0) {
                errno = EBADF;
                return -1;
            }
            const ssize_t n = ::write(device, data, length);
            if (n > 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                const int error = errno;
                release();
                errno = error;
                return n;
            }
            const Wake wake = waitFor(device, POLLOUT, std::nullopt, true);
            const int error = errno;
            release();
            if (wake == Wake::Closed || wake == Wake::Failed) {
                errno = wake == Wake::Closed ? EBADF : error;
                return -1;
            }
        }
    }

    // Runs a blocking operation (tcdrain) without holding the lock.
    template <class Operation>
    int blocking(Operation operation)
    {
        const int device = acquire(std::nullopt);
        if (device < 0)
            throw NotOpen();
        const int result = operation(device);
        const int error = errno;
        release();
        errno = error;
        return result;
    }

private:
    [[noreturn]] static void failOpen(int device)
    {
        const int error = errno;
        ::close(device);
        throw OpenFailed(systemText(error));
    }

    static Deadline graceUntil(const Deadline& deadline)
    {
        const auto grace = Clock::now() + kReopenGrace;
        return deadline ? std::min(*deadline, grace) : grace;
    }

    // Registers the caller as a user of the open descriptor (waiting until
    // `reopenBy` for a closed port to be opened again); -1 when it is closed.
    int acquire(const Deadline& reopenBy)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (reopenBy)
            changed.wait_until(lock, *reopenBy, [this] { return open; });
        if (!open)
            return -1;
        ++users;
        return fd;
    }

    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (--users == 0)
            changed.notify_all();
    }

    Wake waitFor(int device, short events, const Deadline& deadline, bool watchLine)
    {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {device, events, 0}};
        for (;;) {
            const int ready = ::poll(fds, watchLine ? 2 : 1, remainingPollMs(deadline));
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return Wake::Failed;
            }
            if (fds[0].revents != 0)
                return Wake::Closed;
            if (ready == 0) {
                if (passed(deadline))
                    return Wake::TimedOut;
                continue;
            }
            if (fds[1].revents & POLLNVAL) {
                errno = EBADF;
                return Wake::Failed;
            }
            return (fds[1].revents & (POLLHUP | POLLERR)) ? Wake::HangUp : Wake::Ready;
        }
    }

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::string name;
    bool open = false;
    int fd = -1;
    int users = 0;  // threads between acquire and release
    int wakeFd = -1; // signalled by close to end the users' waits
};

namespace {

termios readSettings(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        throw std::runtime_error(systemText(errno));
    return settings;
}

template <class Error>
void applySettings(int fd, const termios& settings)
{
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        throw Error(systemText(errno));
}

void control(int fd, unsigned long request, int bits)
{
    if (::ioctl(fd, request, &bits) != 0)
        throw std::runtime_error(systemText(errno));
}

bool lineBit(int fd, int bit)
{
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0)
        throw std::runtime_error(systemText(errno));
    return (bits & bit) != 0;
}

void flush(int fd, int queue)
{
    if (::tcflush(fd, queue) != 0)
        throw std::runtime_error(systemText(errno));
}

} // namespace

SerialPort::SerialPort(const std::string& serialPortName) : _impl(std::make_unique<SerialPortImpl>(serialPortName)) {}

SerialPort::~SerialPort()
{
    try {
        if (_impl->isOpen())
            _impl->closeDevice();
    } catch (...) {
        // Closed concurrently: nothing left to release.
    }
}

void SerialPort::Open(BaudRate baudRate, CharacterSize charSize, Parity parity, StopBits stopBits,
                      FlowControl flowControl)
{
    _impl->openDevice();
    SetBaudRate(baudRate);
    SetCharSize(charSize);
    SetParity(parity);
    SetNumOfStopBits(stopBits);
    SetFlowControl(flowControl);
}

bool SerialPort::IsOpen() const { return _impl->isOpen(); }

void SerialPort::Close() { _impl->closeDevice(); }

void SerialPort::SetBaudRate(BaudRate baudRate)
{
    _impl->withFd([baudRate](int fd) {
        termios settings = readSettings(fd);
        if (::cfsetispeed(&settings, baudRate) != 0 || ::cfsetospeed(&settings, baudRate) != 0)
            throw UnsupportedBaudRate(ERR_MSG_UNSUPPORTED_BAUD);
        applySettings<UnsupportedBaudRate>(fd, settings);
    });
}

SerialPort::BaudRate SerialPort::GetBaudRate() const
{
    return _impl->withFd([](int fd) {
        const termios settings = readSettings(fd);
        return static_cast<BaudRate>(::cfgetispeed(&settings));
    });
}

void SerialPort::SetCharSize(CharacterSize charSize)
{
    _impl->withFd([charSize](int fd) {
        termios settings = readSettings(fd);
        settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | (charSize & CSIZE);
        applySettings<std::invalid_argument>(fd, settings);
    });
}

SerialPort::CharacterSize SerialPort::GetCharSize() const
{
    return _impl->withFd([](int fd) { return static_cast<CharacterSize>(readSettings(fd).c_cflag & CSIZE); });
}

void SerialPort::SetParity(Parity parity)
{
    _impl->withFd([parity](int fd) {
        if (parity != PARITY_EVEN && parity != PARITY_ODD && parity != PARITY_NONE)
            throw std::invalid_argument(ERR_MSG_INVALID_PARITY);
        termios settings = readSettings(fd);
        switch (parity) {
        case PARITY_EVEN:
            settings.c_cflag |= PARENB;
            settings.c_cflag &= ~static_cast<tcflag_t>(PARODD);
            settings.c_iflag |= INPCK;
            break;
        case PARITY_ODD:
            settings.c_cflag |= PARENB | PARODD;
            settings.c_iflag |= INPCK;
            break;
        case PARITY_NONE:
            settings.c_cflag &= ~static_cast<tcflag_t>(PARENB);
            settings.c_iflag |= IGNPAR;
            break;
        }
        applySettings<std::invalid_argument>(fd, settings);
    });
}

SerialPort::Parity SerialPort::GetParity() const
{
    return _impl->withFd([](int fd) {
        const tcflag_t flags = readSettings(fd).c_cflag;
        if (!(flags & PARENB))
            return PARITY_NONE;
        return (flags & PARODD) ? PARITY_ODD : PARITY_EVEN;
    });
}

void SerialPort::SetNumOfStopBits(StopBits stopBits)
{
    _impl->withFd([stopBits](int fd) {
        if (stopBits != STOP_BITS_1 && stopBits != STOP_BITS_2)
            throw std::invalid_argument(ERR_MSG_INVALID_STOP_BITS);
        termios settings = readSettings(fd);
        if (stopBits == STOP_BITS_2)
            settings.c_cflag |= CSTOPB;
        else
            settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        applySettings<std::invalid_argument>(fd, settings);
    });
}

SerialPort::StopBits SerialPort::GetNumOfStopBits() const
{
    return _impl->withFd([](int fd) { return (readSettings(fd).c_cflag & CSTOPB) ? STOP_BITS_2 : STOP_BITS_1; });
}

void SerialPort::SetFlowControl(FlowControl flowControl)
{
    _impl->withFd([flowControl](int fd) {
        if (flowControl != FLOW_CONTROL_HARD && flowControl != FLOW_CONTROL_NONE)
            throw std::invalid_argument(ERR_MSG_INVALID_FLOW_CONTROL);
        termios settings = readSettings(fd);
        if (flowControl == FLOW_CONTROL_HARD)
            settings.c_cflag |= CRTSCTS;
        else
            settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        applySettings<std::invalid_argument>(fd, settings);
    });
}

SerialPort::FlowControl SerialPort::GetFlowControl() const
{
    return _impl->withFd([](int fd) { return (readSettings(fd).c_cflag & CRTSCTS) ? FLOW_CONTROL_HARD : FLOW_CONTROL_NONE; });
}

void SerialPort::DrainWriteBuffer()
{
    if (_impl->blocking([](int fd) { return ::tcdrain(fd); }) != 0)
        throw std::runtime_error(systemText(errno));
}

void SerialPort::FlushInputBuffer()
{
    _impl->withFd([](int fd) { flush(fd, TCIFLUSH); });
}

void SerialPort::FlushOutputBuffer()
{
    _impl->withFd([](int fd) { flush(fd, TCOFLUSH); });
}

void SerialPort::FlushIOBuffers()
{
    _impl->withFd([](int fd) { flush(fd, TCIOFLUSH); });
}

bool SerialPort::IsDataAvailable() const
{
    return _impl->withFd([](int fd) {
        int count = 0;
        return ::ioctl(fd, FIONREAD, &count) == 0 && count > 0;
    });
}

void SerialPort::ReadByte(unsigned char& byte, unsigned timeoutMs)
{
    _impl->requireOpen();
    const ssize_t n = _impl->readSome(&byte, 1, deadlineAfter(timeoutMs));
    if (n < 0)
        throw std::runtime_error(systemText(errno));
    if (n == 0)
        throw ReadTimeout();
}

void SerialPort::Read(std::vector<unsigned char>& data, unsigned numOfBytes, unsigned timeoutMs)
{
    _impl->requireOpen();
    if (numOfBytes == 0 && timeoutMs == 0)
        return;
    const Deadline deadline = deadlineAfter(timeoutMs);
    if (numOfBytes == 0) {
        // Everything that arrives until the time-out; the caller takes it from the vector.
        data.clear();
        unsigned char chunk[4096];
        for (;;) {
            const ssize_t n = _impl->readSome(chunk, sizeof chunk, deadline);
            if (n < 0)
                throw std::runtime_error(systemText(errno));
            if (n == 0)
                throw ReadTimeout();
            data.insert(data.end(), chunk, chunk + n);
        }
    }
    data.assign(numOfBytes, 0);
    size_t received = 0;
    while (received < numOfBytes) {
        const ssize_t n = _impl->readSome(data.data() + received, numOfBytes - received, deadline);
        if (n <= 0) {
            const int error = errno;
            data.resize(received);
            if (n < 0)
                throw std::runtime_error(systemText(error));
            throw ReadTimeout();
        }
        received += static_cast<size_t>(n);
    }
}

int SerialPort::ReadBytes(unsigned char* buffer, unsigned length, unsigned timeoutMs, unsigned /*sleepUs*/)
{
    _impl->requireOpen();
    const Deadline deadline = deadlineAfter(timeoutMs);
    unsigned received = 0;
    while (received < length) {
        const ssize_t n = _impl->readSome(buffer + received, length - received, deadline);
        if (n < 0)
            return -2;
        if (n == 0)
            break;
        received += static_cast<unsigned>(n);
    }
    return static_cast<int>(received);
}

int SerialPort::ReadBytes(unsigned char startByte, unsigned char* buffer, size_t length, unsigned timeoutMs,
                          unsigned /*sleepUs*/)
{
    _impl->requireOpen();
    if (buffer == nullptr || length == 0)
        return 0;
    const Deadline deadline = deadlineAfter(timeoutMs);
    size_t stored = 0;
    while (stored < length) {
        unsigned char byte;
        const ssize_t n = _impl->readSome(&byte, 1, deadline);
        if (n < 0)
            return -2;
        if (n == 0)
            break;
        if (stored > 0 || byte == startByte)
            buffer[stored++] = byte;
    }
    return static_cast<int>(stored);
}

namespace {

// Appends bytes until one of the terminators has been appended.
template <class Line>
void readLineInto(SerialPort::SerialPortImpl& impl, Line& line, unsigned timeoutMs, char terminator1,
                  char terminator2)
{
    line.clear();
    if (terminator1 == 0 || terminator2 == 0)
        return;
    const Deadline deadline = deadlineAfter(timeoutMs);
    for (;;) {
        unsigned char byte;
        const ssize_t n = impl.readSome(&byte, 1, deadline);
        if (n < 0)
            throw std::runtime_error(systemText(errno));
        if (n == 0)
            throw SerialPort::ReadTimeout();
        line.push_back(static_cast<typename Line::value_type>(byte));
        if (static_cast<char>(byte) == terminator1 || static_cast<char>(byte) == terminator2)
            return;
    }
}

} // namespace

void SerialPort::ReadLine(std::string& line, unsigned timeoutMs, char terminator)
{
    _impl->requireOpen();
    readLineInto(*_impl, line, timeoutMs, terminator, terminator);
}

void SerialPort::ReadLine(std::vector<unsigned char>& line, unsigned timeoutMs, char terminator)
{
    _impl->requireOpen();
    readLineInto(*_impl, line, timeoutMs, terminator, terminator);
}

void SerialPort::ReadLine(std::vector<unsigned char>& line, unsigned timeoutMs, char terminator1, char terminator2)
{
    _impl->requireOpen();
    readLineInto(*_impl, line, timeoutMs, terminator1, terminator2);
}

void SerialPort::WriteByte(unsigned char byte) { Write(&byte, 1); }

void SerialPort::Write(const std::vector<unsigned char>& data)
{
    Write(data.data(), static_cast<unsigned>(data.size()));
}

void SerialPort::Write(const std::string& data)
{
    Write(reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned>(data.size()));
}

void SerialPort::Write(const unsigned char* data, unsigned length)
{
    _impl->requireOpen();
    unsigned written = 0;
    while (written < length) {
        const ssize_t n = _impl->writeSome(data + written, length - written);
        if (n < 0)
            throw std::runtime_error(systemText(errno));
        written += static_cast<unsigned>(n);
    }
}

void SerialPort::SetDtr(bool on)
{
    _impl->withFd([on](int fd) { control(fd, on ? TIOCMBIS : TIOCMBIC, TIOCM_DTR); });
}

void SerialPort::SetRts(bool on)
{
    _impl->withFd([on](int fd) { control(fd, on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS); });
}

bool SerialPort::GetDtr() const
{
    return _impl->withFd([](int fd) { return lineBit(fd, TIOCM_DTR); });
}

bool SerialPort::GetRts() const
{
    return _impl->withFd([](int fd) { return lineBit(fd, TIOCM_RTS); });
}

bool SerialPort::GetCts() const
{
    return _impl->withFd([](int fd) { return lineBit(fd, TIOCM_CTS); });
}

bool SerialPort::GetDsr() const
{
    return _impl->withFd([](int fd) { return lineBit(fd, TIOCM_DSR); });
}

int SerialPort::GetFileDescriptor() const
{
    return _impl->withFd([](int fd) { return fd; });
}

void SerialPort::SetSerialPortName(const std::string& serialPortName)
{
    _impl->setName(serialPortName);
}
