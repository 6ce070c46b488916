// Program entry of the window: data module first, main window only after a connection.
#pragma once

namespace app {

// Runs the tool on an existing application object; returns the process exit code.
int RunApplication();

}  // namespace app
