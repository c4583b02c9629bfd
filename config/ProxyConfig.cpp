#include "config/ProxyConfig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/utsname.h>
#include <unistd.h>

#include "config/ProxyConfigSchema.h"
#include "config/parser.h"
#include "logging/Logger.h"

namespace {

// A file that can be neither created nor read fails the same way every time.
constexpr int kLoadAttempts = 2;

constexpr char kProxyInfoTemplate[] = "{\n"
                                    "   \"proxy\": {\n"
                                    "       \"serial_port\": \"%s\",\n"
                                    "       \"buffer_size\" : %d,\n"
                                    "       \"version\": \"%s\",\n"
                                    "       \"build_time\": \"%s\",\n"
                                    "       \"os_type\" : \"%s\",\n"
                                    "       \"os_version\" : \"%s\",\n"
                                    "       \"confirmation_timeout\" : %d,\n"
                                    "       \"supported_NonBtp\" : 1\n"
                                    "   },\n"
                                    "   \"config_version\": \"%s\",\n"
                                    "   \"file_srv_port\": %d,\n"
                                    "   \"gui_srv_port\": %d,\n"
                                    "   \"casher_port\": %d\n"
                                    "}";
const char* const kConfigVersion = "0.0.1";
constexpr int kFileServerPortReported = 0;
constexpr int kGuiServerPortReported = 0;
constexpr int kCashierPortReported = 40101;

// "dd.mm.yyyy" from the compiler's "Mmm dd yyyy".
std::string buildDate()
{
    const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const std::string date = __DATE__;
    const int month = static_cast<int>(months.find(date.substr(0, 3)) / 3 + 1);
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%s", std::atoi(date.substr(4, 2).c_str()), month,
        date.substr(7, 4).c_str());
    return text;
}

template <typename T>
T narrowed(const inicpp::section& proxy, const char* key)
{
    return static_cast<T>(proxy[key].get<inicpp::unsigned_ini_t>());
}

void logLoadError(const std::string& path, const std::string& reason)
{
    if (const auto& log = logger::Log::s_CoreLogger)
        log->error("[Proxy config] Error load '{0}' files: {1}", path, reason);
}

} // namespace

ProxyConfig::ProxyConfig(const std::string& configPath, const std::string& defaultLogsDir)
    : _configPath(configPath)
    , _schema(proxyConfigSchema(defaultLogsDir))
{
    load();
}

ProxyConfig::ProxyConfig(const std::string& configPath) : _configPath(configPath) { load(); }

bool ProxyConfig::load()
{
    if (_schema.size() == 0) {
        try {
            _readFile();
            return true;
        } catch (const std::exception&) {
            // Without a schema a missing key cannot be filled in. With it the
            // file is completed, keeping its values, and whatever still fails
            // is logged below.
            _schema = proxyConfigSchema("");
        }
    }
    std::string reason;
    for (int attempt = 0; attempt < kLoadAttempts; ++attempt) {
        try {
            _readFile();
            return true;
        } catch (const std::exception& e) {
            reason = e.what();
            logLoadError(_configPath, reason);
            unlink(_configPath.c_str());
        }
    }
    throw ProxyConfigError("Cannot load configuration '" + _configPath + "': " + reason);
}

void ProxyConfig::_readFile()
{
    if (!std::ifstream(_configPath))
        inicpp::parser::save(_schema, _configPath);
    _config = inicpp::parser::load_file(_configPath, _schema, inicpp::schema_mode::relaxed);
    _takeValues(_config[kProxyConfigSection]);
    if (!_schema.all_mandatory()) {
        if (const auto& log = logger::Log::s_CoreLogger)
            log->warn("[Proxy config] Config file '{}' is not full. Config overwrite.", _configPath);
        inicpp::parser::save(_config, _schema, _configPath);
    }
}

void ProxyConfig::_takeValues(const inicpp::section& proxy)
{
    _autoDetect = proxy["AutoDetect"].get<inicpp::boolean_ini_t>();
    _serialPortName = proxy["SerialPortName"].get<inicpp::string_ini_t>();
    _confirmationTimeout = narrowed<int32_t>(proxy, "ConfirmationTimeout");
    _serverPort = narrowed<uint16_t>(proxy, "ServerPort");
    _fileTransferServerPort = narrowed<uint16_t>(proxy, "FileTransferServerPort");
    _logsPath = proxy["LogsDir"].get<inicpp::string_ini_t>();
    _logLevel = narrowed<int32_t>(proxy, "LogLevel");
    _hexDump = proxy["HexDump"].get<inicpp::boolean_ini_t>();
    _bufferSize = narrowed<int32_t>(proxy, "BufferSize");
    blServerPort = narrowed<int32_t>(proxy, "blServerPort");
    blServerIp2Connect = proxy["blServerIp2Connect"].get<inicpp::string_ini_t>();
    blServerPort2Connect = proxy["blServerPort2Connect"].get<inicpp::string_ini_t>();
    UdpVpnIp = proxy["UdpVpnIp"].get<inicpp::string_ini_t>();
    UdpVpnPort = narrowed<int32_t>(proxy, "UdpVpnPort");
    UdpVpnTimeout = narrowed<int32_t>(proxy, "UdpVpnTimeout");
}

void ProxyConfig::save()
{
    inicpp::section& proxy = _config[kProxyConfigSection];
    proxy["AutoDetect"] = _autoDetect;
    proxy["SerialPortName"] = _serialPortName;
    proxy["ConfirmationTimeout"] = static_cast<inicpp::unsigned_ini_t>(_confirmationTimeout);
    proxy["ServerPort"] = static_cast<inicpp::unsigned_ini_t>(_serverPort);
    proxy["FileTransferServerPort"] = static_cast<inicpp::unsigned_ini_t>(_fileTransferServerPort);
    proxy["LogsDir"] = _logsPath;
    proxy["LogLevel"] = static_cast<inicpp::unsigned_ini_t>(_logLevel);
    proxy["HexDump"] = _hexDump;
    proxy["BufferSize"] = static_cast<inicpp::unsigned_ini_t>(_bufferSize);
    inicpp::parser::save(_config, _schema, _configPath);
}

std::string ProxyConfig::getProxyInfo(int confirmationTimeout) const
{
    utsname os {};
    uname(&os);
    const std::string osVersion = std::string(os.version) + "|" + os.domainname + "|" + os.machine + "|"
        + os.nodename + "|" + os.release;
    char text[1024];
    std::snprintf(text, sizeof text, kProxyInfoTemplate, _serialPortName.c_str(), _bufferSize, KIV_PROXY_VERSION,
        buildDate().c_str(), os.sysname, osVersion.c_str(), confirmationTimeout, kConfigVersion,
        kFileServerPortReported, kGuiServerPortReported, kCashierPortReported);
    return text;
}
