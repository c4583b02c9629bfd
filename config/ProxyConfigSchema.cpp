#include "config/ProxyConfigSchema.h"

#include "config/ini_syntax.h"

namespace {

template <typename T>
void addOption(inicpp::schema& schema, const char* name, const std::string& defaultValue)
{
    inicpp::option_schema_params<T> params;
    params.name = name;
    params.requirement = inicpp::option_requirement::optional;
    params.arity = inicpp::option_arity::single;
    params.default_value = defaultValue;
    schema.add_option(kProxyConfigSection, params);
}

} // namespace

inicpp::schema proxyConfigSchema(const std::string& defaultLogsDir)
{
    inicpp::schema schema;
    inicpp::section_schema_params section;
    section.name = kProxyConfigSection;
    section.requirement = inicpp::option_requirement::optional;
    schema.add_section(section);

    addOption<inicpp::boolean_ini_t>(schema, "AutoDetect", "no");
    addOption<inicpp::string_ini_t>(schema, "SerialPortName", "ttyACM0");
    addOption<inicpp::unsigned_ini_t>(schema, "ConfirmationTimeout", "3000");
    addOption<inicpp::unsigned_ini_t>(schema, "ServerPort", "10500");
    addOption<inicpp::unsigned_ini_t>(schema, "FileTransferServerPort", "10115");
    // A directory name may hold "," or ":", which would otherwise read as a list.
    addOption<inicpp::string_ini_t>(schema, "LogsDir", inicpp::syntax::escape_value(defaultLogsDir));
    addOption<inicpp::unsigned_ini_t>(schema, "LogLevel", "2");
    addOption<inicpp::boolean_ini_t>(schema, "HexDump", "no");
    addOption<inicpp::unsigned_ini_t>(schema, "BufferSize", "8192");
    addOption<inicpp::unsigned_ini_t>(schema, "blServerPort", "12500");
    addOption<inicpp::string_ini_t>(schema, "blServerIp2Connect", "127.0.0.1");
    addOption<inicpp::unsigned_ini_t>(schema, "blServerPort2Connect", "12500");
    addOption<inicpp::string_ini_t>(schema, "UdpVpnIp", "0.0.0.0");
    addOption<inicpp::unsigned_ini_t>(schema, "UdpVpnPort", "12556");
    addOption<inicpp::unsigned_ini_t>(schema, "UdpVpnTimeout", "5");
    return schema;
}
