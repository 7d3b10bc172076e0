#pragma once

class WindowRegistry;

// Registers the charge item window "frm_项目维护" and the bill entry window "frm_缴费录入".
void registerChargingWindows(WindowRegistry& registry);
