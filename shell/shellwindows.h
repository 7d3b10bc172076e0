#pragma once

class WindowRegistry;

// The shell's own windows: "FRM_系统设置" and "frmSplash".
void registerShellWindows(WindowRegistry& registry);
