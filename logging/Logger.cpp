#include "logging/Logger.h"

#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

namespace logger {

std::shared_ptr<spdlog::logger> Log::s_CoreLogger;
std::string Log::_logDirPath;
bool Log::_isHexDumpEnable = false;

namespace {
constexpr int kRotationHour = 0;
constexpr int kRotationMinute = 1;
constexpr uint16_t kMaxLogFiles = 30;

// Everything up to and including the last "/" of the directory, then the base name.
std::string baseFileName(const std::string& dir)
{
    std::string base;
    if (!dir.empty()) {
        auto pieces = kiv_proxy::utils::split_string(dir, '/');
        pieces.pop_back();
        for (const auto& piece : pieces)
            base += piece + "/";
    }
    return base + "kivproxy.log";
}
} // namespace

void Log::setLogDirectoryPath(const std::string& path) { _logDirPath = path; }

void Log::Init(bool hexDump, int level)
{
    _isHexDumpEnable = hexDump;

    auto console = std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
    auto daily = std::make_shared<spdlog::sinks::daily_file_sink_mt>(
        baseFileName(_logDirPath), kRotationHour, kRotationMinute, false, kMaxLogFiles);
    console->set_pattern("%^[%T.%e] %n: %v%$");
    daily->set_pattern("[%T.%e] [%l] %n: %v");

    auto core = std::make_shared<spdlog::logger>("KivProxy", spdlog::sinks_init_list{console, daily});
    if (s_CoreLogger)
        spdlog::drop(s_CoreLogger->name());
    s_CoreLogger = core;
    spdlog::register_logger(core);
    const auto lvl = static_cast<spdlog::level::level_enum>(level);
    core->set_level(lvl);
    core->flush_on(lvl);
}

} // namespace logger

namespace kiv_proxy {

std::string ConvertToHex(const uint8_t* data, int length)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    if (length <= 0)
        return hex;
    hex.reserve(static_cast<size_t>(length) * 2);
    for (int i = 0; i < length; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 0x0F];
    }
    return hex;
}

std::string HexDump16ToString(const uint8_t* data, size_t length)
{
    const std::string hex = ConvertToHex(data, static_cast<int>(length));
    std::string dump;
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i % 2 == 0) {
            if (i % 32 == 0)
                dump += fmt::format("\n{:06d}: ", i / 2);
            else
                dump += ' ';
        }
        dump += hex[i];
    }
    return dump;
}

namespace utils {
std::vector<std::string> split_string(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t pos; (pos = text.find(delimiter, start)) != std::string::npos; start = pos + 1)
        pieces.push_back(text.substr(start, pos - start));
    pieces.push_back(text.substr(start));
    return pieces;
}
} // namespace utils

} // namespace kiv_proxy
