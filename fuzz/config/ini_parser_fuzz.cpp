// Reads arbitrary text as ProxyConfig.ini is read (relaxed validation against
// the service schema) and checks that whatever reads also writes back to a
// text that reads the same.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "config/ProxyConfigSchema.h"
#include "config/parser.h"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

template <typename... Args>
std::string saved(const Args&... args)
{
    std::ostringstream out;
    inicpp::parser::save(args..., out);
    return out.str();
}

void plainRoundTrip(const std::string& text)
{
    inicpp::config doc;
    try {
        doc = inicpp::parser::load(text);
    } catch (const std::exception&) {
        return;
    }
    require(inicpp::parser::load(saved(doc)) == doc);
}

void validatedRoundTrip(const std::string& text)
{
    static inicpp::schema schema = proxyConfigSchema("");
    std::string written;
    try {
        written = saved(inicpp::parser::load(text, schema, inicpp::schema_mode::relaxed), schema);
    } catch (const std::exception&) {
        return;
    }
    // Typed values may be written differently from the input, but the
    // written form is a fixed point.
    const inicpp::config reread = inicpp::parser::load(written, schema, inicpp::schema_mode::relaxed);
    require(schema.all_mandatory());
    require(saved(reread, schema) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    plainRoundTrip(text);
    validatedRoundTrip(text);
    return 0;
}
