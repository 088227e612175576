// Building the results the library returns: a code and one line of text.
#pragma once

#include "velmora/velmora.h"

namespace velmora::detail {

velmora::result succeeded();
velmora::result failed(velmora::status code, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Exhausted memory for the named array.
velmora::result out_of_memory(const char* name, std::size_t bytes);
// The end of work its caller stopped (settings::stop).
velmora::result cancelled();

}  // namespace velmora::detail
