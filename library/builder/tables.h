// Former name of settings_tables.h, kept while a unit still includes it by
// that name; include settings_tables.h.
#pragma once

#include "library/builder/settings_tables.h"
