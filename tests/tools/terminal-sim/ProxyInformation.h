#pragma once

// The service's proxy information text as it answers a keep-alive.

#include <cstdio>
#include <string>

inline std::string proxyInformation(int confirmationTimeout)
{
    char text[1024];
    std::snprintf(text, sizeof(text),
                  "{\n"
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
                  "}",
                  "ttyACM0", 8192, "0.0.14", "01.02.2025", "Linux", "#1 SMP|(none)|x86_64|pos|6.1.0",
                  confirmationTimeout, "0.0.1", 0, 0, 40101);
    return text;
}
