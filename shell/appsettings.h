#pragma once

class DataEnvironment;
struct AppContext;

namespace ShellSettings {
// Reads the receipt name and notice text from the current (at start the first)
// row of rs广告. A missing row or empty values give empty texts.
void read(DataEnvironment& data, AppContext& app);
}  // namespace ShellSettings
