#pragma once

class WindowRegistry;

// Registers "frm_缴费打印".
void registerCollectionWindows(WindowRegistry& registry);
