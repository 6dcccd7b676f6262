// Windows has no iconv: the tests that compare with it get the same shim the engine uses.
#pragma once
#include "message/windows_iconv.h"
