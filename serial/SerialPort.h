#pragma once

#include <termios.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Texts of the fixed exception messages.
extern const std::string ERR_MSG_PORT_NOT_OPEN;
extern const std::string ERR_MSG_PORT_ALREADY_OPEN;
extern const std::string ERR_MSG_UNSUPPORTED_BAUD;
extern const std::string ERR_MSG_INVALID_PARITY;
extern const std::string ERR_MSG_INVALID_STOP_BITS;
extern const std::string ERR_MSG_INVALID_FLOW_CONTROL;

// One serial character device in raw, non-blocking mode. Every wait blocks in
// the kernel (poll on the descriptor); nothing sleeps between attempts.
//
// A reader and a writer may use one instance from two threads. Close wakes a
// thread waiting on the line; its read fails unless the port is opened again
// within a short grace period (a reopen), in which case it goes on reading.
class SerialPort {
public:
    enum BaudRate : unsigned {
        BAUD_50 = B50,
        BAUD_75 = B75,
        BAUD_110 = B110,
        BAUD_134 = B134,
        BAUD_150 = B150,
        BAUD_200 = B200,
        BAUD_300 = B300,
        BAUD_600 = B600,
        BAUD_1200 = B1200,
        BAUD_1800 = B1800,
        BAUD_2400 = B2400,
        BAUD_4800 = B4800,
        BAUD_9600 = B9600,
        BAUD_19200 = B19200,
        BAUD_38400 = B38400,
        BAUD_57600 = B57600,
        BAUD_115200 = B115200,
        BAUD_230400 = B230400,
        BAUD_460800 = B460800,
        BAUD_921600 = B921600,
    };
    enum CharacterSize : unsigned { CHAR_SIZE_5 = CS5, CHAR_SIZE_6 = CS6, CHAR_SIZE_7 = CS7, CHAR_SIZE_8 = CS8 };
    enum Parity : int { PARITY_EVEN = 0, PARITY_ODD = 1, PARITY_NONE = 2 };
    enum StopBits : int { STOP_BITS_1 = 0, STOP_BITS_2 = 1 };
    enum FlowControl : int { FLOW_CONTROL_HARD = 0, FLOW_CONTROL_SOFT = 1, FLOW_CONTROL_NONE = 2 };

    class NotOpen : public std::logic_error {
    public:
        NotOpen() : std::logic_error(ERR_MSG_PORT_NOT_OPEN) {}
    };
    class AlreadyOpen : public std::logic_error {
    public:
        AlreadyOpen() : std::logic_error(ERR_MSG_PORT_ALREADY_OPEN) {}
    };
    class OpenFailed : public std::runtime_error {
    public:
        explicit OpenFailed(const std::string& text) : std::runtime_error(text) {}
    };
    class UnsupportedBaudRate : public std::runtime_error {
    public:
        explicit UnsupportedBaudRate(const std::string& text) : std::runtime_error(text) {}
    };
    class ReadTimeout : public std::runtime_error {
    public:
        ReadTimeout() : std::runtime_error("Read timeout") {}
    };

    explicit SerialPort(const std::string& serialPortName);
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void Open(BaudRate baudRate, CharacterSize charSize, Parity parity, StopBits stopBits, FlowControl flowControl);
    bool IsOpen() const;
    void Close();

    void SetBaudRate(BaudRate baudRate);
    BaudRate GetBaudRate() const;
    void SetCharSize(CharacterSize charSize);
    CharacterSize GetCharSize() const;
    void SetParity(Parity parity);
    Parity GetParity() const;
    void SetNumOfStopBits(StopBits stopBits);
    StopBits GetNumOfStopBits() const;
    void SetFlowControl(FlowControl flowControl);
    FlowControl GetFlowControl() const;

    void DrainWriteBuffer();
    void FlushInputBuffer();
    void FlushOutputBuffer();
    void FlushIOBuffers();
    bool IsDataAvailable() const;

    // Time-outs are in milliseconds; 0 means no limit.
    void ReadByte(unsigned char& byte, unsigned timeoutMs);
    // Count 0 collects everything arriving within the time-out and always ends
    // with ReadTimeout; count and time-out both 0 return at once.
    void Read(std::vector<unsigned char>& data, unsigned numOfBytes, unsigned timeoutMs);
    // The count read (fewer on time-out), or -2 on a read error. `sleepUs` is
    // kept for callers; waiting is done in the kernel.
    int ReadBytes(unsigned char* buffer, unsigned length, unsigned timeoutMs, unsigned sleepUs);
    // A block that begins with `startByte`; bytes before it are discarded.
    int ReadBytes(unsigned char startByte, unsigned char* buffer, size_t length, unsigned timeoutMs,
                  unsigned sleepUs);
    void ReadLine(std::string& line, unsigned timeoutMs, char terminator);
    void ReadLine(std::vector<unsigned char>& line, unsigned timeoutMs, char terminator);
    void ReadLine(std::vector<unsigned char>& line, unsigned timeoutMs, char terminator1, char terminator2);

    void WriteByte(unsigned char byte);
    void Write(const std::vector<unsigned char>& data);
    void Write(const std::string& data);
    void Write(const unsigned char* data, unsigned length);

    void SetDtr(bool on);
    void SetRts(bool on);
    bool GetDtr() const;
    bool GetRts() const;
    bool GetCts() const;
    bool GetDsr() const;

    int GetFileDescriptor() const;
    void SetSerialPortName(const std::string& serialPortName);

    class SerialPortImpl;

private:
    std::unique_ptr<SerialPortImpl> _impl;
};
