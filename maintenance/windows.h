#pragma once

class WindowRegistry;

// Registers "数据清理".
void registerMaintenanceWindows(WindowRegistry& registry);
