#include "card/card_line.h"

namespace quorvel {

CardLine::CardLine(DeviceFactory& devices, Clock& clock, MessageSink& messages,
                   SessionDisplay& shown, std::function<void()> wake)
    : thread_(std::move(wake)),
      messages_(thread_, messages),
      display_(thread_, shown),
      reader_(devices, clock, messages_),
      session_(reader_, clock, display_, exchange_) {
  session_.SetStopFlag(&stop_);
}

CardLine::~CardLine() {
  Stop();
}

void CardLine::Stop() {
  stop_ = true;
  thread_.Stop();
}

void CardLine::Post(std::function<void(CardSession&)> job) {
  thread_.Post([this, job = std::move(job)] { job(session_); });
}

void CardLine::OnReader(std::function<void(CardSession&)> operation) {
  thread_.RunHereOrPost([this, operation = std::move(operation)] { operation(session_); });
}

}  // namespace quorvel
