#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <spdlog/spdlog.h>

namespace logger {

// The one application logger of the service: console plus a daily file.
class Log {
public:
    // Public on purpose: call sites log through it directly.
    static std::shared_ptr<spdlog::logger> s_CoreLogger;

    static void setLogDirectoryPath(const std::string& path);
    static const std::string& getLogDirectoryPath() { return _logDirPath; }
    // Throws spdlog::spdlog_ex when the daily file cannot be opened.
    static void Init(bool hexDump, int level);
    static bool isHexDumpEnable() { return _isHexDumpEnable; }

private:
    static std::string _logDirPath;
    static bool _isHexDumpEnable;
};

} // namespace logger

namespace kiv_proxy {

std::string ConvertToHex(const uint8_t* data, int length);
std::string HexDump16ToString(const uint8_t* data, size_t length);

namespace utils {
std::vector<std::string> split_string(const std::string& text, char delimiter);
} // namespace utils

} // namespace kiv_proxy
