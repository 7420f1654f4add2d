#include "card/window_thread_relays.h"

#include <memory>

namespace quorvel {

// Steps travel as copyable functions: what they carry, records with owned parts among it,
// is shared with them.

void DisplayOnWindowThread::ResetBegun(ExchangeRecord record) {
  auto carried = std::make_shared<ExchangeRecord>(std::move(record));
  line_.ToWindow([this, carried] { shown_.ResetBegun(std::move(*carried)); });
}

void DisplayOnWindowThread::ResetAnswered(const ResetAnswer& answer) {
  line_.ToWindow([this, answer] { shown_.ResetAnswered(answer); });
}

void DisplayOnWindowThread::SpeedSettled(const SpeedAnswer& answer) {
  line_.ToWindow([this, answer] { shown_.SpeedSettled(answer); });
}

void DisplayOnWindowThread::CommandAnswered(CommandAnswer answer) {
  auto carried = std::make_shared<CommandAnswer>(std::move(answer));
  line_.ToWindow([this, carried] { shown_.CommandAnswered(std::move(*carried)); });
}

void MessagesOnWindowThread::ShowMessage(const std::string& text) {
  line_.ToWindowAndWait([this, &text] { shown_.ShowMessage(text); });
}

}  // namespace quorvel
