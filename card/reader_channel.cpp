#include "card/reader_channel.h"

namespace quorvel {

ReaderChannel::ReaderChannel(DeviceFactory& devices, Clock& clock, MessageSink& messages,
                             const ReaderSetup& setup)
    : devices_(devices),
      port_(devices, clock, messages),
      serial_(port_, clock),
      pcsc_(devices, messages, setup.audience) {
  port_.SetTiming(setup.timing);
  port_.SetAudience(setup.audience);
}

void ReaderChannel::Open(const std::string& settings) {
  const bool pcsc =
      devices_.Target(settings.substr(0, kPortNameLength)).kind == PortTarget::Kind::PcscReader;
  CardChannel& wanted = pcsc ? static_cast<CardChannel&>(pcsc_) : serial_;
  if (&wanted != current_) current_->Close();
  current_ = &wanted;
  current_->Open(settings);
}

void ReaderChannel::SetInverse(std::int32_t on) {
  inverse_ = on;
  serial_.SetInverse(on);
  pcsc_.SetInverse(on);
}

void ReaderChannel::SetOptions(const ChannelOptions& options) {
  serial_.SetOptions(options);
  pcsc_.SetOptions(options);
}

}  // namespace quorvel
