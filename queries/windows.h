#pragma once

#include "common/windowregistry.h"

// Registers the combined query window "frm_查询".
void registerQueriesWindows(WindowRegistry& registry);
