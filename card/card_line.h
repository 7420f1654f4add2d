#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "card/card_session.h"
#include "card/line_thread.h"
#include "card/reader_channel.h"
#include "card/session_display.h"
#include "card/window_thread_relays.h"
#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

namespace quorvel {

// The card's line as the window has it, with one owner: the line thread, the reader, the
// session on it, and the relays that carry what they show to the window's thread. Its end
// stops a run, waits for the job in progress and only then releases anything, so a job
// never meets something already gone, however the window ends.
//
// Without a wake-up (see LineThread) everything runs at once on the caller's thread.
class CardLine {
 public:
  CardLine(DeviceFactory& devices, Clock& clock, MessageSink& messages, SessionDisplay& shown,
           std::function<void()> wake);
  ~CardLine();
  CardLine(const CardLine&) = delete;
  CardLine& operator=(const CardLine&) = delete;

  // Sets the stop flag and waits until the line thread has ended; jobs not begun are
  // dropped. Afterwards everything runs on the caller's thread.
  void Stop();

  // Runs job on the line, after the jobs before it.
  void Post(std::function<void(CardSession&)> job);
  // Runs operation on the reader where the reader lives now: at once while no job has
  // started the line thread, else after the jobs before it.
  void OnReader(std::function<void(CardSession&)> operation);

  // From a job: the window's thread runs step at its next Deliver.
  void ToWindow(std::function<void()> step) { thread_.ToWindow(std::move(step)); }
  // On the window's thread: what the line has handed over so far.
  void Deliver() { thread_.Deliver(); }
  bool Idle() const { return thread_.Idle(); }

  // Ends a run after the command in progress, or a chain of automatic commands before its
  // next one; cleared when a run starts.
  std::atomic<bool>& stopFlag() { return stop_; }

 private:
  LineThread thread_;
  std::atomic<bool> stop_{false};
  MessagesOnWindowThread messages_;
  DisplayOnWindowThread display_;
  ReaderChannel reader_;
  ExchangeState exchange_;
  CardSession session_;
};

}  // namespace quorvel
