// Kept for the driver until it includes package.h, which now holds the
// replacement (CUpdateResource and its result codes).
#pragma once

#include "resfile/package.h"
