#include "card/reader_channel.h"

namespace quorvel {

ReaderChannel::ReaderChannel(DeviceFactory& devices, Clock& clock, MessageSink& messages,
                             const ReaderSetup& setup)
    : port_(devices, clock, messages), serial_(port_) {
  port_.SetTiming(setup.timing);
  port_.SetAudience(setup.audience);
}

void ReaderChannel::SetInverse(std::int32_t on) {
  inverse_ = on;
  serial_.SetInverse(on);
}

void ReaderChannel::SetOptions(const ChannelOptions& options) {
  serial_.SetOptions(options);
}

}  // namespace quorvel
