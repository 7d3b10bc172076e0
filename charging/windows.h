#pragma once

class WindowRegistry;

// Registers the charge item window "frm_项目维护", the bill entry window "frm_缴费录入"
// and the reading sheet "frm_抄表录入".
void registerChargingWindows(WindowRegistry& registry);
