#pragma once

#include <cstdint>

#include "card/card_session.h"
#include "card/output_panel.h"
#include "card/serial_channel.h"
#include "port/card_port.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/fake_controls.h"
#include "support/recording_message_sink.h"

namespace quorvel::testing {

// A card session over `devices`, showing into plain fake controls: what the core's card tests
// drive, as the window drives its own.
struct SessionRig {
  SessionRig(DeviceFactory& devices, Clock& clock)
      : port(devices, clock, messages),
        reader(port, clock),
        session(reader, clock, output, exchange, total) {}

  RecordingMessageSink messages;
  CCardPort port;
  SerialChannel reader;
  FakeListBox rows;
  FakeEditBox counter;
  FakeCheckBox bin;
  OutputPanel output{rows, counter, bin};
  ExchangeState exchange;
  std::uint32_t total = 0;
  CardSession session;
};

// The same over the built-in demo cards (DEMO, DEMF) with a clock that never sleeps.
struct DemoCardRig {
  FakeClock clock;
  SystemDeviceFactory devices{{}, clock};
  SessionRig rig{devices, clock};
};

}  // namespace quorvel::testing
