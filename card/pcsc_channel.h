#pragma once

#include <string>

#include "card/card_channel.h"
#include "pcsc/card_connection.h"
#include "pcsc/pcsc_context.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

namespace quorvel {

// A card in a PC/SC reader (pcscd): `PCS0`...`PCS9` or a `pcsc:` name of [ports]. Opening
// finds the reader; a Reset takes the card exclusively and powers it off and on in the
// protocol the settings' proto= chooses (else T=0 when the card offers it, else T=1), and it
// is held until the reader is closed; a command before any Reset takes the card as it is.
// Commands go whole, as APDUs by their ISO/IEC 7816-4
// case; the rows hold the answer's data, the status row its status word. The line clauses of
// the settings string, Inv, PPS and the reader's clock are the reader's business here.
class PcscChannel final : public CardChannel {
 public:
  // devices names the reader and lists the ports when one cannot be opened.
  PcscChannel(DeviceFactory& devices, MessageSink& messages, MessageAudience audience);

  void Open(const std::string& settings) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  // Kept for proto= and for the note on what the reader ignores.
  void ApplySettings(const std::string& settings) override;
  void SetInverse(std::int32_t on) override { inverse_ = on; }
  std::int32_t inverse() const override { return inverse_; }
  void SetOptions(const ChannelOptions& options) override { options_ = options; }

  std::vector<std::uint8_t> ResetCard(const std::string& resetSettings) override;
  // Nothing to negotiate: the reader settles the protocol and the speed itself.
  std::optional<SpeedNegotiation> Settle(std::span<const std::uint8_t>) override {
    return std::nullopt;
  }
  void Exchange(const CardCommand& command, std::optional<std::uint16_t> le,
                ExchangeState& state) override;
  ChannelInUse InUse() const override;

 private:
  // Tells the user and closes the reader: nothing more goes to it until it is opened again.
  void Lose(const std::string& why);
  // "Could not create handle", the reason and the ports there are.
  void CannotOpen(const std::string& why);

  DeviceFactory& devices_;
  MessageSink& messages_;
  MessageAudience audience_;
  PcscContext context_;
  PcscConnection connection_;
  std::string reader_;         // the reader the settings named, once found
  std::string settings_;       // the Execute settings: their proto= chooses the protocol
  bool line_clauses_ = false;  // and they hold clauses of a serial line, ignored here
  bool open_ = false;
  std::int32_t inverse_ = 0;
  ChannelOptions options_;
};

}  // namespace quorvel
