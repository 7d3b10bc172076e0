#pragma once

#include "shell/windowregistry.h"

// Registers the combined query window "frm_查询".
void registerQueriesWindows(WindowRegistry& registry);
