#include "service/ProxySvc.h"

void proxySvcStart(const std::string& /*iniPath*/)
{
}
