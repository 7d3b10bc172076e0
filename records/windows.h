#pragma once

class WindowRegistry;

// Registers "frm_档案录入" and "frm_档案查找".
void registerRecordsWindows(WindowRegistry& registry);
