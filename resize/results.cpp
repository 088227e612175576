#include "resize/results.h"

#include <cstdarg>
#include <cstdio>

namespace velmora::detail {

velmora::result succeeded()
{
    return velmora::result{};
}

velmora::result failed(velmora::status code, const char* format, ...)
{
    velmora::result r;
    r.code = code;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(r.message, sizeof r.message, format, arguments);
    va_end(arguments);
    return r;
}

velmora::result out_of_memory(const char* name, std::size_t bytes)
{
    velmora::result r = failed(velmora::status::no_memory, "not enough memory for the array %s (%zu bytes)", name,
                               bytes);
    std::snprintf(r.name, sizeof r.name, "%s", name);
    return r;
}

velmora::result cancelled()
{
    return failed(velmora::status::cancelled, "the resize was stopped on request");
}

}  // namespace velmora::detail
