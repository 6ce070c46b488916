// The few texts the engine shows as plain message dialogs ("No Fonts", a duplicate sheet name,
// "Can not write Excel 2.1/3.0 files") go to a handler that the application installs. Without a
// handler the message is dropped: the engine never writes to the terminal.
#pragma once

#include <functional>
#include <string>

namespace xls {

using TMessageHandler = std::function<void(const std::u16string& text)>;

void ShowEngineMessage(const std::u16string& text);
// Returns the handler that was installed before.
TMessageHandler SetMessageHandler(TMessageHandler handler);

}  // namespace xls
