// The command line (cli/channel_pass.cpp) still includes this header for
// the sample rule; it goes once it includes velmora/samples.h, where the
// rule and the sample loads and stores live.
#pragma once

#include "velmora/samples.h"
