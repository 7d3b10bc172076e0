#pragma once

class WindowRegistry;

// Registers "frm_收款日报", "frm_对账单" and "frm_账务核对".
void registerAccountsWindows(WindowRegistry& registry);
