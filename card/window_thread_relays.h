#pragma once

#include "card/line_thread.h"
#include "card/session_display.h"
#include "port/message_sink.h"

namespace quorvel {

// A session's display as the line thread sees it: every step is handed to the window's
// thread and shown there, in order.
class DisplayOnWindowThread final : public SessionDisplay {
 public:
  DisplayOnWindowThread(LineThread& line, SessionDisplay& shown) : line_(line), shown_(shown) {}

  void ResetBegun(ExchangeRecord record) override;
  void ResetAnswered(const ResetAnswer& answer) override;
  void SpeedSettled(const SpeedAnswer& answer) override;
  void CommandAnswered(CommandAnswer answer) override;

 private:
  LineThread& line_;
  SessionDisplay& shown_;
};

// Messages the port raises on the line thread show on the window's thread, at the same
// point of the sequence: the line waits until the box is closed.
class MessagesOnWindowThread final : public MessageSink {
 public:
  MessagesOnWindowThread(LineThread& line, MessageSink& shown) : line_(line), shown_(shown) {}

  void ShowMessage(const std::string& text) override;

 private:
  LineThread& line_;
  MessageSink& shown_;
};

}  // namespace quorvel
