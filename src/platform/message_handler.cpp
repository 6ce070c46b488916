#include "platform/message_handler.h"

namespace xls {

namespace {
TMessageHandler& Handler() {
  static TMessageHandler handler;
  return handler;
}
}  // namespace

void ShowEngineMessage(const std::u16string& text) {
  if (Handler()) Handler()(text);
}

TMessageHandler SetMessageHandler(TMessageHandler handler) {
  TMessageHandler old = std::move(Handler());
  Handler() = std::move(handler);
  return old;
}

}  // namespace xls
