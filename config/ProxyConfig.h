#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "config/config.h"
#include "config/schema.h"

// The configuration file could be neither created nor read, twice running.
// The caller (main) prints what() on standard error and exits non-zero.
class ProxyConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The service settings in ProxyConfig.ini. The file repairs itself: a missing
// file is created with the defaults, an incomplete one is completed and
// rewritten, an unreadable one is deleted and created anew.
class ProxyConfig {
public:
    // Builds the schema with `defaultLogsDir` as the default of LogsDir, then
    // loads. Throws ProxyConfigError (see load()).
    ProxyConfig(const std::string& configPath, const std::string& defaultLogsDir);
    // Loads without a schema; an incomplete file is then completed with the
    // schema of an empty LogsDir default. Throws ProxyConfigError (see load()).
    explicit ProxyConfig(const std::string& configPath);
    ProxyConfig(const ProxyConfig&) = default;
    ProxyConfig& operator=(const ProxyConfig&) = default;
    virtual ~ProxyConfig() = default;

    // Reads the file into the members, repairing it on the way; returns true.
    // Throws ProxyConfigError when the second attempt fails as well.
    bool load();
    // Writes the members that have getters back to the file, annotated.
    void save();

    bool getAutoDetectEnable() const { return _autoDetect; }
    bool getHexDumpEnable() const { return _hexDump; }
    uint16_t getServerPort() const { return _serverPort; }
    uint16_t getFileTransferServerPort() const { return _fileTransferServerPort; }
    int32_t getConfirmationTimeout() const { return _confirmationTimeout; }
    int32_t getLogLevel() const { return _logLevel; }
    int32_t getBufferSize() const { return _bufferSize; }
    const std::string& getLogsPath() const { return _logsPath; }
    void setLogsPath(const std::string& path) { _logsPath = path; }
    const std::string& getSerialPort() const { return _serialPortName; }

    // The service description the dispatcher sends to the terminal.
    std::string getProxyInfo(int confirmationTimeout) const;

    // Read directly by the supervisor; named after their keys.
    int32_t blServerPort = 12500;
    std::string blServerIp2Connect = "127.0.0.1";
    std::string blServerPort2Connect = "12500";
    std::string UdpVpnIp = "0.0.0.0";
    int32_t UdpVpnPort = 12556;
    int32_t UdpVpnTimeout = 5;

private:
    void _readFile();
    void _takeValues(const inicpp::section& proxy);

    bool _autoDetect = false;
    bool _hexDump = false;
    uint16_t _serverPort = 0;
    uint16_t _fileTransferServerPort = 0;
    int32_t _confirmationTimeout = 0;
    int32_t _logLevel = 0;
    int32_t _bufferSize = 0;
    std::string _logsPath;
    std::string _serialPortName;
    std::string _configPath;
    inicpp::schema _schema;
    inicpp::config _config;
};
